// Settings lookups over the payload's settings list, and the roll width they decide.
#include "printing/imprimir.h"

namespace kelmora {

namespace {

const QString kRollo55 = QStringLiteral("rollo 55mm");
const QString kRollo75 = QStringLiteral("rollo 75mm");

// The first entry whose Nombre is exactly `nombre`. A name that is not text matches nothing.
std::optional<Value> buscarEntrada(const Collection& config, const QString& nombre) {
    for (const Value& entrada : config) {
        const Value clave = entrada[u"Nombre"];
        if (const QString* texto = clave.textIf(); texto != nullptr && *texto == nombre) return entrada;
    }
    return std::nullopt;
}

}  // namespace

QString Imprimir::leerConfig(const QString& nombre) const {
    const auto entrada = buscarEntrada(configImpresion, nombre);
    return entrada ? (*entrada)[u"Descripcion"].toText(s_.locale) : QString();
}

bool Imprimir::configVisible(const QString& nombre) const {
    const auto entrada = buscarEntrada(configImpresion, nombre);
    return entrada && (*entrada)[u"Visible"].equals(u"1", s_.locale);
}

qint16 Imprimir::anchoTicket() const { return leerConfig(QStringLiteral("Tamaño de Factura")) == kRollo55 ? 32 : 40; }

bool Imprimir::esRollo55() const { return leerConfig(QStringLiteral("Tamano de Factura")) == kRollo55; }

bool Imprimir::esRollo75() const { return leerConfig(QStringLiteral("Tamano de Factura")) == kRollo75; }

}  // namespace kelmora
