#pragma once

#include <QString>

namespace kelmora {

// The logo that invoices print and the settings window loads, in the program folder, whatever
// the picture's format.
inline const QString kArchivoLogo = QStringLiteral("logo.bmp");

inline QString rutaLogo(const QString& carpetaPrograma) { return carpetaPrograma + u'/' + kArchivoLogo; }

}  // namespace kelmora
