#pragma once

#include "printing/escpos/monochrome_raster.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace kelmora::paper::escpos {

enum class PrinterFont { A, B };

// A character on paper. Positions are in dots: x from the left edge of the printable area.
struct PaperGlyph {
    QChar character;
    int x = 0;
    int advance = 0;  // the whole cell, right-side spacing included
};

// Characters printed on one line in one style.
struct PaperTextRow {
    int y = 0;           // the line's top, from the top of the paper
    int lineHeight = 0;  // the feed that ended the line
    PrinterFont font = PrinterFont::A;
    int widthMagnification = 1;
    int heightMagnification = 1;
    bool bold = false;
    bool red = false;  // the second colour of a two-colour printer
    QList<PaperGlyph> glyphs;

    int glyphWidth() const;   // of the magnified character, without spacing
    int glyphHeight() const;
    // The characters left to right, a gap as the blanks that would fill it.
    QString text() const;
};

struct PaperRaster {
    int x = 0;
    int y = 0;
    MonochromeRaster dots;
};

struct PaperCut {
    int y = 0;
    bool partial = false;
};

struct DrawerPulse {
    int pin = 2;  // connector pin 2 or 5
    int onMs = 0;
    int offMs = 0;
};

// Bytes the interpreter does not know, a command the data ended in the middle of, or one it skips
// as it changes nothing it draws (underline, barcode settings ...).
struct UnknownBytes {
    qsizetype offset = 0;
    QByteArray bytes;
};

// The state a printer starts in, and returns to on ESC @, as its switches chose it.
struct PrinterStart {
    bool kanji = false;     // Chinese/Kanji mode: bytes from 0x80 up go in pairs, as one character
    int characterSet = 0;   // ESC R: 0 is the USA set; another replaces # $ @ [ \ ] ^ ` { | } ~
    int motionUnitsX = 203; // GS P: motion units of 1/x inch across and 1/y inch down, on a
    int motionUnitsY = 203; // 203 dpi head
};

// What a receipt printer makes of a byte stream.
struct EscPosPaper {
    int dotsPerLine = 576;
    int length = 0;  // paper fed, in dots
    QList<PaperTextRow> rows;
    QList<PaperRaster> rasters;
    QList<PaperCut> cuts;
    QList<DrawerPulse> pulses;
    int beeps = 0;          // buzzer commands (ESC B, ESC ( A)
    int backwardMoves = 0;  // positions left of where the line had got to
    QList<UnknownBytes> unknown;
};

// Reads the bytes as a printer whose head reaches `dotsPerLine` dots would print them: the
// commands the encoder writes and the usual ones around them (initialize, character set, Kanji
// mode, code page, motion units, print mode, font, emphasis, colour, spacing, line spacing,
// positions, feeds, justification, size, raster images, cuts, the drawer pulse, the buzzer).
// Anything else is listed in `unknown`; no input makes it fail.
EscPosPaper interpretEscPos(const QByteArray& bytes, int dotsPerLine = 576, const PrinterStart& start = {});

}  // namespace kelmora::paper::escpos
