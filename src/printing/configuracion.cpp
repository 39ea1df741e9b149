// Settings lookups over the payload's settings list, and the roll width they decide.
#include "printing/config_impresion.h"

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

QString ConfigImpresion::leerConfig(const QString& nombre) const {
    const auto entrada = buscarEntrada(configImpresion_, nombre);
    if (!entrada) return {};
    // A setting the server left without a value reads as empty, rather than failing every invoice.
    const Value descripcion = (*entrada)[u"Descripcion"];
    return descripcion.isNull() ? QString() : descripcion.toText(locale_);
}

bool ConfigImpresion::configVisible(const QString& nombre) const {
    const auto entrada = buscarEntrada(configImpresion_, nombre);
    return entrada && (*entrada)[u"Visible"].equals(u"1", locale_);
}

qint16 ConfigImpresion::anchoTicket() const {
    return leerConfig(QStringLiteral("Tamaño de Factura")) == kRollo55 ? 32 : 40;
}

bool ConfigImpresion::esRollo55() const { return leerConfig(QStringLiteral("Tamano de Factura")) == kRollo55; }

bool ConfigImpresion::esRollo75() const { return leerConfig(QStringLiteral("Tamano de Factura")) == kRollo75; }

}  // namespace kelmora
