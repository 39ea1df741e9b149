#pragma once

// Which form a printer's documents take: the receipt printer's own commands (ESC/POS) or a PDF
// for a driver to print. The settings file has the last word; without it, the queue decides.

#include "platform/settings_file.h"

namespace kelmora {

enum class FormatoSalida { Pdf, EscPos };

struct Salida {
    FormatoSalida formato = FormatoSalida::Pdf;
    // The receipt printer the ESC/POS bytes are made for: roll, dots per line, code page, cutter.
    paper::escpos::EscPosProfile perfil;
};

// The output of one printer. `colaEscPos`: its queue takes the receipt printer's commands (no
// driver, or one that takes no PDF); false for a printer whose queue is unknown.
// `anchoDocumentoMm`: the roll the document was laid out for, which a receipt printer whose roll
// the settings do not name prints on; 0 when there is no document yet.
Salida elegirSalida(const platform::PrinterSettings& ajustes, bool colaEscPos, double anchoDocumentoMm = 0);

}  // namespace kelmora
