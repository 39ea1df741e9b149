#pragma once

#include "printing/escpos/code_pages.h"

namespace kelmora::paper::escpos {

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

}  // namespace kelmora::paper::escpos
