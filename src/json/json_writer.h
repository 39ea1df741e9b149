#pragma once

#include "json/value.h"

#include <QString>

namespace kelmora {

// The JSON text of a value, such that reading it back gives the same value: what the journal keeps
// of an answer, to print its documents again. Empty (no value) is written as null inside a
// container, since JSON has no such value; the print logic reads a missing key and a null alike
// only where that makes no difference, so containers written here never hold Empty from a reading.
QString escribirJSON(const Value& valor);

}  // namespace kelmora
