#pragma once

#include "platform/printer.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace kelmora {

// The kind the test page's job carries.
inline const QString kClasePaginaPrueba = QStringLiteral("Prueba");

// A short page on exactly this printer, never on another: its name, how it is reached, what it is
// set to, and the accented letters, so that one look tells a technician whether the printer, its
// roll and its code page are right. The reason it could not be sent, or nullopt once the printing
// system took it.
std::optional<QString> imprimirPaginaPrueba(platform::PrinterSystem& impresoras,
                                            const platform::PrinterSystem::PrinterState& impresora,
                                            const QDateTime& ahora);

}  // namespace kelmora
