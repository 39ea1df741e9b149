#pragma once

#include <QString>

namespace kelmora::platform {

// True when a file or folder of that name exists. A trailing separator is dropped from names
// longer than a drive root.
bool fileExists(const QString& path);

}  // namespace kelmora::platform
