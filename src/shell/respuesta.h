#pragma once

#include "json/json_reader.h"
#include "json/value.h"

#include <QString>

#include <functional>

namespace kelmora::shell {

// The server puts these many characters before the JSON payload.
inline constexpr qsizetype kPrefijoRespuesta = 5;

// The steps every poll answer goes through, wherever it comes from (the poll cycle, a file given
// to `kelmora render`, a fuzzing input): the leading characters dropped, the JSON read, and the
// payload handed to `despachar`, with its JSON text as sent, only when the reading was clean.
// Returns the reader's error text, empty when the payload was dispatched. A run-time error of the
// dispatch leaves by RuntimeError.
using Despachar = std::function<void(const Value& datos, const QString& json)>;
QString atenderRespuesta(JsonReader& lector, const QString& texto, const Despachar& despachar);

}  // namespace kelmora::shell
