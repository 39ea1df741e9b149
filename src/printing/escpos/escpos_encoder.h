#pragma once

#include "printing/document/document.h"
#include "printing/escpos/escpos_profile.h"
#include "printing/escpos/monochrome_raster.h"

#include <QByteArray>

namespace kelmora::paper::escpos {

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

}  // namespace kelmora::paper::escpos
