#pragma once

#include "json/value.h"

#include <QLocale>
#include <QString>

namespace kelmora {

// The settings list of the latest answer and what the tickets read from it. Only the dispatcher
// replaces the list; everyone else reads it through the lookups.
class ConfigImpresion {
public:
    // `locale` is the one the values are read in, and the one amounts are written in.
    explicit ConfigImpresion(QLocale locale) : locale_(std::move(locale)) {}

    // The settings of a new answer, in place of the previous ones.
    void actualizar(Collection config) { configImpresion_ = std::move(config); }

    // Settings lookups: the first entry with that exact `Nombre` counts.
    QString leerConfig(const QString& nombre) const;
    bool configVisible(const QString& nombre) const;

    // Roll width in characters, from "Tamaño de Factura".
    qint16 anchoTicket() const;
    // Roll flags, from "Tamano de Factura" (a setting of its own).
    bool esRollo55() const;
    bool esRollo75() const;
    // The paper the document goes on: a 55 mm roll when either paper-size setting names one.
    double anchoRolloMm() const { return esRollo55() || anchoTicket() == 32 ? 55 : 75; }
    // 7 points on a 55 mm roll, else 10: the size of rules and small text.
    double tamanoPequeno() const { return esRollo55() ? 7 : 10; }

    const QLocale& locale() const { return locale_; }

private:
    Collection configImpresion_;
    QLocale locale_;
};

}  // namespace kelmora
