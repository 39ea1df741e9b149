#pragma once

#include <QString>

namespace kelmora::platform {

// True when a file or folder of that name exists. A trailing separator is dropped from names
// longer than a drive root.
bool fileExists(const QString& path);

// The former name, until its last callers move to fileExists.
inline bool existeArchivo(const QString& ruta) { return fileExists(ruta); }

}  // namespace kelmora::platform
