// The kitchen order ticket ("comanda"): what a preparation area has to prepare for a table.
#include "tickets/comanda.h"

#include "json/runtime_error.h"
#include "printing/contexto_ticket.h"
#include "tickets/comanda_productos.h"

namespace kelmora {

namespace {

constexpr double kTamanoMesa = 16;
constexpr double kTamanoCuerpo = 12;

// The product line when the branch prints values: quantity, the name's leading words that fit,
// and the value ending in the last column; the rest of the name wraps below at column 5.
void imprimirLineaConValor(const ContextoTicket& impresion, const Value& producto) {
    TextoTicket& texto = impresion.texto;
    const ConfigImpresion& config = impresion.config;
    const QLocale& locale = impresion.locale();
    const QString nombre = producto[u"nombre"].toText(locale);
    const qint16 corte = texto.calcularCorte(nombre, texto.escalarColumna(18));
    const QString valor = texto.textoMonto(producto[u"valor"].toNumber(locale));
    impresion.impresora().printLine(paper::PrinterLine()
                                        .number(cantidadProducto(producto, locale), locale)
                                        .column(texto.escalarColumna(7))
                                        .text(nombre.left(corte))
                                        .column(texto.espacioLibre(valor, config.anchoTicket()))
                                        .text(valor));
    if (nombre.size() > corte) texto.imprimirTexto(nombre.mid(corte), config.anchoTicket(), Alineacion::Izquierda, 5);
}

void imprimirTicketComanda(const ContextoTicket& impresion, const Value& comanda, const QString& area) {
    TextoTicket& texto = impresion.texto;
    const ConfigImpresion& config = impresion.config;
    const QLocale& locale = impresion.locale();
    platform::Printer& impresora = impresion.impresora();
    Documento documento(impresion.seleccion, impresion.config, nombreClase(ClaseDocumento::Comanda));
    Decimal total;

    const Value titulo = comanda[u"titulo"];
    if (!titulo.isNull()) {
        impresora.setFontSize(config.tamanoPequeno());
        texto.imprimirTextoMedido(titulo.toText(locale), config.anchoTicket(), Alineacion::Centro, 0);
        texto.imprimirSeparador(QStringLiteral("="));
    }
    // Heading and area come out in the printer's own font: no font name is set before them.
    impresora.setFontSize(config.tamanoPequeno());
    texto.imprimirTextoMedido(area, config.anchoTicket(), Alineacion::Centro, 0);

    fuenteComanda(impresion);
    texto.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoMesa);
    impresora.printLine(lineaValor(comanda[u"nomMesa"], locale));
    texto.imprimirSeparador(QStringLiteral("="));
    impresora.setFontSize(kTamanoCuerpo);

    const QString conValores = QStringLiteral("Valores En Comanda");
    imprimirProductos(impresion, comanda[u"productos"], [&](const Value& producto) {
        if (config.leerConfig(conValores) == u"1") {
            imprimirLineaConValor(impresion, producto);
            total += producto[u"valor"].toNumber(locale);
        } else {
            imprimirLineaProducto(impresion, producto);
        }
    });
    if (config.leerConfig(conValores) == u"1") {
        texto.imprimirTexto(QStringLiteral("TOTAL   ") + total.toText(locale), config.anchoTicket(), Alineacion::Derecha, 0);
    }

    impresora.setFontSize(kTamanoCuerpo);
    texto.imprimirSeparador(QStringLiteral("="));
    texto.imprimirTextoMedido(QStringLiteral("Atiende: ") + comanda[u"responsable"].toText(locale),
                              config.anchoTicket(), Alineacion::Izquierda, 0);
    impresora.printLine(QStringLiteral("Pedido ") + comanda[u"nPedido"].toText(locale));
    impresora.printLine(QStringLiteral("Fecha\\Hora: "));
    impresora.printLine(lineaValor(comanda[u"fecha"], locale));
    impresora.setFontSize(config.tamanoPequeno());

    if (!comanda[u"clienteNombre"].isEmptyText()) {
        texto.imprimirSeparador(QStringLiteral("="));
        texto.imprimirTexto(QStringLiteral("DATOS CLIENTE"), config.anchoTicket(), Alineacion::Izquierda, 0);
        texto.imprimirTexto(QStringLiteral("Nombre: ") + comanda[u"clienteNombre"].toText(locale), config.anchoTicket(),
                            Alineacion::Izquierda, 0);
        texto.imprimirTexto(QStringLiteral("Telefono: ") + comanda[u"clienteTelefono"].toText(locale),
                            config.anchoTicket(), Alineacion::Izquierda, 0);
        texto.imprimirTextoMedido(QStringLiteral("Direccion: ") + comanda[u"clienteDireccion"].toText(locale),
                                  config.anchoTicket(), Alineacion::Izquierda, 0);
    }

    impresora.setFontSize(kTamanoCuerpo);
    const Value plataforma = comanda[u"codPlataforma"];
    if (!plataforma.isEmptyText()) {
        texto.imprimirSeparador(QStringLiteral("="));
        texto.imprimirTexto(plataforma.toText(locale), config.anchoTicket(), Alineacion::Izquierda, 0);
    }

    terminarComanda(impresion, documento);
}

}  // namespace

bool comandaImprimible(const Value& comanda, const QLocale& locale) {
    const Value area = comanda[u"area"];
    return !(area.equals(u"NN", locale) || area.isEmptyText());
}

std::optional<QString> imprimirComanda(const ContextoTicket& impresion, const Value& comanda) {
    SeleccionImpresora& seleccion = impresion.seleccion;
    try {
        if (!seleccion.hayImpresora() || !comandaImprimible(comanda, impresion.locale())) return std::nullopt;
        const QString nombreArea = comanda[u"area"].toText(impresion.locale());
        if (!seleccion.seleccionarPara(nombreArea)) return std::nullopt;
        imprimirTicketComanda(impresion, comanda, nombreArea);
    } catch (const RuntimeError& error) {
        impresion.avisos.ShowBalloonTip(error.description(), platform::BalloonIcon::Warning, QStringLiteral("Comanda"),
                                        platform::kBalloonMilliseconds);
        return error.description();
    }
    return std::nullopt;
}

std::optional<QString> imprimirComandas(const ContextoTicket& impresion, const Collection& comandas) {
    for (const Value& comanda : comandas) {
        if (std::optional<QString> error = imprimirComanda(impresion, comanda)) return error;
    }
    return std::nullopt;
}

}  // namespace kelmora
