// Printer selection by device name, the availability probe and the fallback to the default printer.
#include "printing/seleccion_impresora.h"

#include "json/runtime_error.h"
#include "printing/texto.h"

#include <limits>

namespace kelmora {

bool SeleccionImpresora::hayImpresora() const { return !impresoras_.printerNames().isEmpty(); }

QString SeleccionImpresora::impresoraPredeterminada() const { return impresoras_.defaultPrinterName(); }

QString claveImpresora(const QString& nombre) { return mayusculas(recortarBlancos(nombre)); }

qsizetype impresoraLlamada(const QList<platform::PrinterSystem::PrinterState>& impresoras, const QString& nombre) {
    const QString clave = claveImpresora(nombre);
    for (qsizetype i = 0; i < impresoras.size(); ++i) {
        if (claveImpresora(impresoras.at(i).device()) == clave) return i;
    }
    for (qsizetype i = 0; i < impresoras.size(); ++i) {
        if (claveImpresora(impresoras.at(i).name) == clave) return i;
    }
    return -1;
}

std::optional<qint16> SeleccionImpresora::buscarImpresora(const QString& nombre) const {
    const QString buscado = claveImpresora(nombre);
    const QStringList nombres = impresoras_.printerNames();
    for (qsizetype i = 0; i < nombres.size() && i <= std::numeric_limits<qint16>::max(); ++i) {
        if (claveImpresora(nombres.at(i)) == buscado) return static_cast<qint16>(i);
    }
    return std::nullopt;
}

qint16 SeleccionImpresora::indiceImpresora(const QString& nombre) const {
    if (const auto indice = buscarImpresora(nombre)) return *indice;
    if (const auto predeterminada = buscarImpresora(impresoraPredeterminada())) return *predeterminada;
    return kSinImpresora;
}

bool SeleccionImpresora::seleccionarPara(const QString& nombre) {
    desvio_.reset();
    fallaPedida_.clear();
    const bool instalada = buscarImpresora(nombre).has_value();
    if (!seleccionarImpresora(indiceImpresora(nombre), false)) return false;
    // A name that is no printer (empty, "NN") asks for the default one: nothing was diverted.
    const QString pedida = nombre.trimmed();
    if (pedida.isEmpty() || pedida.toUpper() == u"NN") return true;
    if (!instalada) {
        desvio_ = Desvio{pedida, QStringLiteral("no está instalada")};
    } else if (!fallaPedida_.isEmpty()) {
        desvio_ = Desvio{pedida, fallaPedida_};
    }
    return true;
}

bool SeleccionImpresora::seleccionarImpresora(qint16 indice, bool esReintento) {
    if (!esReintento) fallaSeleccion_.clear();
    QString dispositivo;
    QString falla;
    if (indice == kSinImpresora) {
        // Neither the requested nor the default printer is installed: nothing can take the probe.
        dispositivo = impresoraPredeterminada();
        falla = QStringLiteral("No se encontró la impresora");
    } else {
        // Any other index outside the list is the caller's fault, not an unavailable printer.
        platform::Printer& impresora = impresoras_.select(indice);
        dispositivo = impresora.deviceName();
        try {
            impresora.probe();
            impresora.closeProbe();
            return true;
        } catch (const platform::PrinterError& error) {
            // The printing system itself did not answer: no printer failed, so there is nothing to
            // fall back from. Whoever prints holds the document until the system answers again.
            if (error.scope() == platform::PrinterError::Scope::System) throw;
            falla = error.description();
        } catch (const RuntimeError& error) {
            falla = error.description();
        }
    }

    if (!esReintento) {
        fallaPedida_ = falla;
        const bool seleccionada = seleccionarImpresora(indiceImpresora(impresoraPredeterminada()), true);
        if (seleccionada) {
            impresora().printLine(QStringLiteral("Error en Impresora ") + impresora().deviceName());
        }
        return seleccionada;
    }

    fallaSeleccion_ = falla;
    if (silenciarFallas_) return false;
    // With no printer at all there is no printer to name.
    const QString texto = !hayImpresora() && dispositivo.isEmpty()
                              ? QStringLiteral("Error al imprimir, no hay ninguna impresora instalada.")
                              : QStringLiteral("Error al imprimir, La impresora ") + dispositivo +
                                    QStringLiteral(" no esta disponible. \r\n") + falla + u' ' + falla;
    avisos_.ShowBalloonTip(texto, platform::BalloonIcon::Error, QStringLiteral("Error al imprimir"),
                           platform::kBalloonMilliseconds);
    return false;
}

}  // namespace kelmora
