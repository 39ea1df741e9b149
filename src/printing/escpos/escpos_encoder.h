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
// it names, scaled to the width the head reaches. The start sets everything the printer might have
// from its switches (character set, Chinese/Kanji mode, motion units, code page). Each word starts
// at the dot its column scales to, or just after the word before, never to its left; big rows
// (14 points and up) print double height; a row too long for the paper breaks between words, a
// rule is cut to the paper's width; pictures go through `pictures` (none printed when it is
// null). The filler at the end (blank rows, a lone ".") is not fed: the paper is cut just below
// the last line, or fed past the tear bar when there is no cutter. Kitchen tickets and
// cancellations sound the buzzer the profile names; cancellations print in red when it says so.
//
// Raw jobs (the cash drawer's pulse) are no documents: they go to the printer as they are.
QByteArray encodeEscPos(const Document& document, const EscPosProfile& profile,
                        PictureRasterizer* pictures = nullptr);

}  // namespace kelmora::paper::escpos
