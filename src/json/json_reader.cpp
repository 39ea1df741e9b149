#include "json/json_reader.h"

namespace kelmora {
Value JsonReader::leerJSON(const QString&) { errores_ = QStringLiteral("Invalid JSON"); return {}; }
}  // namespace kelmora
