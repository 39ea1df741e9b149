#include "support/json_text.h"

namespace kelmora {

namespace {

void writeText(const QString& text, QString& out) {
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += QStringLiteral("\\\""); break;
        case u'\\': out += QStringLiteral("\\\\"); break;
        case u'\n': out += QStringLiteral("\\n"); break;
        case u'\r': out += QStringLiteral("\\r"); break;
        case u'\t': out += QStringLiteral("\\t"); break;
        default:
            // Surrogates escaped too: a lone one would not survive being stored as UTF-8.
            if (c.unicode() < 0x20 || c.isSurrogate()) {
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                out += c;
            }
        }
    }
    out += u'"';
}

// The reader takes a key's characters as they are, escapes included, and a key it reads never
// holds a quote or a blank: written back as it is, it reads back the same.
void writeKey(const QString& key, QString& out) {
    out += u'"';
    out += key;
    out += u'"';
}

void write(const Value& value, QString& out) {
    switch (value.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null: out += QStringLiteral("null"); return;
    case Value::Kind::Boolean: out += *value.booleanIf() ? QStringLiteral("true") : QStringLiteral("false"); return;
    case Value::Kind::Number: out += value.numberIf()->toString(); return;
    case Value::Kind::Text: writeText(*value.textIf(), out); return;
    case Value::Kind::Dictionary: {
        out += u'{';
        bool first = true;
        for (const auto& [key, member] : value.toDictionary().members()) {
            if (!first) out += u',';
            first = false;
            writeKey(key, out);
            out += u':';
            write(member, out);
        }
        out += u'}';
        return;
    }
    case Value::Kind::Collection: {
        out += u'[';
        bool first = true;
        for (const Value& item : value.toCollection()) {
            if (!first) out += u',';
            first = false;
            write(item, out);
        }
        out += u']';
        return;
    }
    }
}

}  // namespace

QString jsonText(const Value& value) {
    QString out;
    write(value, out);
    return out;
}

}  // namespace kelmora
