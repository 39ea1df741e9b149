// Printer selection by device name, the availability probe and the fallback to the default printer.
#include "printing/imprimir.h"

#include "json/runtime_error.h"

namespace kelmora {

bool Imprimir::hayImpresora() const { return !s_.impresoras.printerNames().isEmpty(); }

QString Imprimir::impresoraPredeterminada() const {
    // "device,driver,port": the device name is what comes before the first comma. A value without
    // a comma is taken whole.
    const QString perfil = s_.impresoras.defaultPrinterProfile();
    return perfil.section(u',', 0, 0);
}

std::optional<qint16> Imprimir::buscarImpresora(const QString& nombre) const {
    const QString buscado = mayusculas(recortarBlancos(nombre));
    const QStringList nombres = s_.impresoras.printerNames();
    for (qsizetype i = 0; i < nombres.size() && i <= std::numeric_limits<qint16>::max(); ++i) {
        if (mayusculas(recortarBlancos(nombres.at(i))) == buscado) return static_cast<qint16>(i);
    }
    return std::nullopt;
}

qint16 Imprimir::indiceImpresora(const QString& nombre) const {
    if (const auto indice = buscarImpresora(nombre)) return *indice;
    if (const auto predeterminada = buscarImpresora(impresoraPredeterminada())) return *predeterminada;
    return kSinImpresora;
}

bool Imprimir::seleccionarImpresora(qint16 indice, bool esReintento) {
    QString dispositivo;
    QString falla;
    if (indice == kSinImpresora) {
        // Neither the requested nor the default printer is installed: nothing can take the probe.
        dispositivo = impresoraPredeterminada();
        falla = QStringLiteral("Printer not found");
    } else {
        // Any other index outside the list is the caller's fault, not an unavailable printer.
        platform::Printer& impresora = s_.impresoras.select(indice);
        dispositivo = impresora.deviceName();
        try {
            impresora.probe();
            impresora.closeProbe();
            return true;
        } catch (const RuntimeError& error) {
            falla = error.description();
        }
    }

    if (!esReintento) {
        const bool seleccionada = seleccionarImpresora(indiceImpresora(impresoraPredeterminada()), true);
        if (seleccionada) {
            impresora().printLine(QStringLiteral("Error en Impresora ") + impresora().deviceName());
            impresora().closeProbe();
        }
        return seleccionada;
    }

    s_.avisos.ShowBalloonTip(QStringLiteral("Error al imprimir, La impresora ") + dispositivo +
                                 QStringLiteral(" no esta disponible. \r\n") + falla + u' ' + falla,
                             platform::BalloonIcon::Error, QStringLiteral("Error al imprimir"),
                             platform::kBalloonMilliseconds);
    return false;
}

}  // namespace kelmora
