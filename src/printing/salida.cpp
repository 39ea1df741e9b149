// The choice between the receipt printer's commands and PDF, one printer at a time.

#include "printing/salida.h"

namespace kelmora {

Salida elegirSalida(const platform::PrinterSettings& ajustes, bool colaEscPos, double anchoDocumentoMm) {
    using platform::PrinterOutput;
    const bool escpos =
        ajustes.output == PrinterOutput::EscPos || (ajustes.output == PrinterOutput::Automatic && colaEscPos);
    Salida salida;
    salida.formato = escpos ? FormatoSalida::EscPos : FormatoSalida::Pdf;
    salida.perfil = ajustes.escpos;
    if (!ajustes.rollSet) salida.perfil.followLayout(anchoDocumentoMm);
    return salida;
}

}  // namespace kelmora
