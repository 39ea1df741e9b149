#pragma once

#include <QString>

namespace kelmora::platform {

// The printer the cash drawer is wired to, and the virtual printers' default.
inline const QString kDrawerPrinter = QStringLiteral("Facturas");

}  // namespace kelmora::platform
