#pragma once

#include "platform/document.h"
#include "platform/escpos/code_pages.h"
#include "platform/escpos/monochrome_raster.h"

#include <QByteArray>

namespace kelmora::platform::escpos {

// The printer a document is encoded for. Motion units are taken to be the printer's dots
// (1/203 inch), the default of 203 dpi receipt printers.
struct EscPosProfile {
    int rollMm = 80;      // 58 or 80
    int dotsPerLine = 0;  // what the head reaches; 0 for the roll's usual: 576 on 80 mm, 384 on 58 mm
    CodePage codePage = CodePage::WPC1252;
    bool hasCutter = true;

    static constexpr double kDotsPerInch = 203;

    int printableDots() const;
    // The roll the server lays out for on this printer: 55 mm on a 58 mm roll, 75 mm on an 80 mm
    // one. A document that names no roll (paperWidthMm 0) is taken as laid out for it.
    double layoutRollMm() const;
    // The other way round: the roll that takes a layout (a 55 mm layout on 58 mm, a 75 mm one on
    // 80 mm); a layout that names no roll (0) leaves the roll as it is.
    void followLayout(double layoutMm);
};

// Turns a picture file's bytes into dots. Decoding pictures needs Qt's image readers (QtGui), which
// the encoder does without: escpos_pictures.h has the one that dithers.
class PictureRasterizer {
public:
    virtual ~PictureRasterizer() = default;
    // The picture scaled to exactly widthDots × heightDots. Raises RuntimeError when the bytes hold
    // no picture.
    virtual MonochromeRaster rasterize(const Picture& picture, int widthDots, int heightDots) = 0;
};

// The bytes that print the document on the profile's printer: the document's layout, for the roll
// it names, scaled to the width the head reaches. Every column of every row starts at the dot its
// place in the text preview scales to; a row too long for the paper is narrowed, then continued on
// the next line; pictures go through `pictures` (none printed when it is null). Ends with the cut,
// or with paper fed past the tear bar when there is no cutter.
//
// Raw jobs (the cash drawer's pulse) are no documents: they go to the printer as they are.
QByteArray encodeEscPos(const Document& document, const EscPosProfile& profile,
                        PictureRasterizer* pictures = nullptr);

}  // namespace kelmora::platform::escpos
