#pragma once

#include "json/value.h"

#include <QString>

namespace kelmora {

// The JSON text of a value, such that reading it back gives the same value: for tests that build
// an answer from values and hand the queue its text, as the server would send it. Empty (no
// value) is written as null inside a container, since JSON has no such value.
QString jsonText(const Value& value);

}  // namespace kelmora
