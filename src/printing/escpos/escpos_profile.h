#pragma once

#include "printing/escpos/code_pages.h"

#include <QStringList>

namespace kelmora::paper::escpos {

// Commands of the start that a printer may print as garbage, which its settings can leave out.
enum class StartCommand : unsigned {
    CharacterSet = 1,  // ESC R 0: the USA character set, whatever the printer's switches chose
    KanjiOff = 2,      // FS .: single-byte characters on printers that start in Chinese/Kanji mode
    MotionUnits = 4,   // GS P: one motion unit is one dot, for positions, spacing and feeds
};

// How a kitchen printer sounds after a ticket.
enum class Buzzer {
    None,
    Builtin,  // ESC B: the buzzer built into the common kitchen printers
    Drawer,   // ESC p on the drawer connector's second pin: a bell or buzzer wired there
};

// The printer a document is encoded for. After GS P its motion unit is its dot (1/203 inch), the
// resolution of usual receipt printers.
struct EscPosProfile {
    int rollMm = 80;      // 58 or 80
    int dotsPerLine = 0;  // what the head reaches; 0 for the roll's usual: 576 on 80 mm, 384 on 58 mm
    CodePage codePage = CodePage::WPC1252;
    bool hasCutter = true;
    unsigned omitted = 0;  // StartCommand bits left out of the start
    Buzzer buzzer = Buzzer::None;
    bool redCancellations = false;  // a two-colour printer prints cancellations in red

    static constexpr double kDotsPerInch = 203;

    int printableDots() const;
    // The roll the server lays out for on this printer: 55 mm on a 58 mm roll, 75 mm on an 80 mm
    // one. A document that names no roll (paperWidthMm 0) is taken as laid out for it.
    double layoutRollMm() const;
    // The other way round: the roll that takes a layout (a 55 mm layout on 58 mm, a 75 mm one on
    // 80 mm); a layout that names no roll (0) leaves the roll as it is.
    void followLayout(double layoutMm);
    bool sends(StartCommand command) const { return (omitted & static_cast<unsigned>(command)) == 0; }
    // The settings as a technician reads them on a test page, a line each: "Rollo: 80 mm, 576
    // puntos", "Códigos: WPC1252", ...
    QStringList describe() const;
};

}  // namespace kelmora::paper::escpos
