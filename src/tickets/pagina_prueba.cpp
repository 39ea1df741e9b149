#include "tickets/pagina_prueba.h"

#include "json/runtime_error.h"

namespace kelmora {

namespace {

constexpr double kTamanoTitulo = 14;
constexpr double kTamanoCuerpo = 10;

void imprimirLineas(platform::Printer& p, const platform::PrinterSystem::PrinterState& impresora,
                    const QDateTime& ahora) {
    p.setFontSize(kTamanoTitulo);
    p.setFontBold(true);
    p.printLine(QStringLiteral("PÁGINA DE PRUEBA"));
    p.setFontSize(kTamanoCuerpo);
    p.setFontBold(false);
    p.printLine(QStringLiteral("Impresora: ") + impresora.name);
    if (impresora.isDefault) {
        p.printLine(QStringLiteral("Predeterminada: recibe las facturas y lo que otra impresora no puede imprimir"));
    }
    if (!impresora.reachedBy.isEmpty()) p.printLine(QStringLiteral("Conexión: ") + impresora.reachedBy);
    if (!impresora.output.isEmpty()) p.printLine(QStringLiteral("Recibe: ") + impresora.output);
    for (const QString& ajuste : impresora.settings) p.printLine(ajuste);
    p.printLine(QStringLiteral("--------------------------------"));
    p.printLine(QStringLiteral("á é í ó ú ü ñ  Á É Í Ó Ú Ü Ñ"));
    p.printLine(QStringLiteral("¿Cuánto? ¡Listo!"));
    p.printLine(QStringLiteral("Euro: €"));
    p.printLine(QStringLiteral("Si las letras con acento salen bien, los códigos son los correctos "
                               "(PC850 no tiene el euro)."));
    p.printLine(QStringLiteral("--------------------------------"));
    p.printLine(QStringLiteral("Fecha: ") + ahora.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

}  // namespace

std::optional<QString> imprimirPaginaPrueba(platform::PrinterSystem& impresoras,
                                            const platform::PrinterSystem::PrinterState& impresora,
                                            const QDateTime& ahora) {
    try {
        // Exactly the printer the person chose, by the name the system selects it by.
        const qsizetype indice = impresoras.printerNames().indexOf(impresora.device());
        if (indice < 0) {
            return impresoras.reachable()
                       ? QStringLiteral("La impresora %1 no está instalada").arg(impresora.name)
                       : QStringLiteral("No se puede contactar con el sistema de impresión");
        }
        platform::Printer& p = impresoras.select(static_cast<int>(indice));
        try {
            p.probe();
            p.closeProbe();
            p.setDocumentKind(kClasePaginaPrueba);
            imprimirLineas(p, impresora, ahora);
            p.endDoc();
        } catch (...) {
            p.killDoc();
            throw;
        }
    } catch (const platform::PrinterError& error) {
        return error.description();
    } catch (const RuntimeError& error) {
        return error.description();
    }
    return std::nullopt;
}

}  // namespace kelmora
