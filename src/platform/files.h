#pragma once

#include <QString>

namespace kelmora::platform {

// True when a file or folder of that name exists. A trailing separator is dropped from names
// longer than a drive root.
bool fileExists(const QString& path);

// Why the service cannot use a file it needs, for the technician: empty when this user can read it
// (and write it, when `write`), else its owner and mode and the command that hands it to this user
// ("es de root, modo rw-------: sudo chown kelmora: /var/lib/kelmora/trabajos.db").
QString accessProblem(const QString& path, bool write);

}  // namespace kelmora::platform
