#pragma once

#include "json/value.h"

#include <QString>

namespace kelmora {

// The lenient JSON reader of poll answers. It accepts comments, unquoted and single-quoted keys,
// single-quoted strings and missing commas, never stops at the first fault, and collects one
// message per fault in its error text while it builds what it can.
class JsonReader {
public:
    // The top value: a Dictionary for "{", a Collection for "[", Empty otherwise.
    Value leerJSON(const QString& texto);
    // The faults of the last leerJSON call, one message each; empty for a clean parse.
    const QString& erroresJSON() const { return errores_; }

private:
    QString errores_;
};

}  // namespace kelmora
