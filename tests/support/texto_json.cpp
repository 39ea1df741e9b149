#include "support/texto_json.h"

namespace kelmora {

namespace {

void escribirTexto(const QString& texto, QString& salida) {
    salida += u'"';
    for (const QChar c : texto) {
        switch (c.unicode()) {
        case u'"': salida += QStringLiteral("\\\""); break;
        case u'\\': salida += QStringLiteral("\\\\"); break;
        case u'\n': salida += QStringLiteral("\\n"); break;
        case u'\r': salida += QStringLiteral("\\r"); break;
        case u'\t': salida += QStringLiteral("\\t"); break;
        default:
            // Surrogates escaped too: a lone one would not survive being stored as UTF-8.
            if (c.unicode() < 0x20 || c.isSurrogate()) {
                salida += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                salida += c;
            }
        }
    }
    salida += u'"';
}

// The reader takes a key's characters as they are, escapes included, and a key it reads never
// holds a quote or a blank: written back as it is, it reads back the same.
void escribirClave(const QString& clave, QString& salida) {
    salida += u'"';
    salida += clave;
    salida += u'"';
}

void escribir(const Value& valor, QString& salida) {
    switch (valor.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null: salida += QStringLiteral("null"); return;
    case Value::Kind::Boolean: salida += *valor.booleanIf() ? QStringLiteral("true") : QStringLiteral("false"); return;
    case Value::Kind::Number: salida += valor.numberIf()->toString(); return;
    case Value::Kind::Text: escribirTexto(*valor.textIf(), salida); return;
    case Value::Kind::Dictionary: {
        salida += u'{';
        bool primero = true;
        for (const auto& [clave, miembro] : valor.toDictionary().members()) {
            if (!primero) salida += u',';
            primero = false;
            escribirClave(clave, salida);
            salida += u':';
            escribir(miembro, salida);
        }
        salida += u'}';
        return;
    }
    case Value::Kind::Collection: {
        salida += u'[';
        bool primero = true;
        for (const Value& elemento : valor.toCollection()) {
            if (!primero) salida += u',';
            primero = false;
            escribir(elemento, salida);
        }
        salida += u']';
        return;
    }
    }
}

}  // namespace

QString escribirJSON(const Value& valor) {
    QString salida;
    escribir(valor, salida);
    return salida;
}

}  // namespace kelmora
