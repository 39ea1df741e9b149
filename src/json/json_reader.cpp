#include "json/json_reader.h"

#include "json/runtime_error.h"

#include <QStringView>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>

namespace kelmora {

namespace {

// Deepest nesting of objects and arrays the reader follows. The reader recurses once per level, so
// this bounds its stack use; real answers nest four or five levels.
constexpr int kMaxNesting = 512;

// Messages quote the text after a fault. Each quoted excerpt is cut at this many characters, and
// once the error text has grown past kMaxErrorText no more messages are added, so that a long,
// badly broken answer cannot make the error text grow with the square of its length.
constexpr qsizetype kMaxExcerpt = 200;
constexpr qsizetype kMaxErrorText = 64 * 1024;  // characters

// Keys and short texts repeat all through an answer (member names, areas, product names): they
// are shared through a small table instead of being allocated again each time.
constexpr qsizetype kMaxSharedText = 40;
constexpr size_t kSharedTextSlots = 1024;

constexpr char16_t kNewLine[] = u"\r\n";
constexpr char16_t kMessagesCut[] = u"Too many faults, the rest are not listed\r\n";

// The state of one leerJSON call. `pos` is the 0-based index of the next character; messages show
// it 1-based, as the reading position counts from the first character.
struct Lector {
    const QChar* t;
    qsizetype n;
    QString& errores;
    qsizetype pos = 0;
    int profundidad = 0;
    bool abandonado = false;       // nesting too deep: every level returns what it holds
    qsizetype atascoEn = -1;       // where an array ended on a malformed literal
    bool mensajesCortados = false;

    std::unique_ptr<std::array<QString, kSharedTextSlots>> compartidos =
        std::make_unique<std::array<QString, kSharedTextSlots>>();

    Lector(const QString& texto, QString& errores_)
        : t(texto.constData()), n(texto.size()), errores(errores_) {}

    // FNV-1a, inline: the texts are short, and a collision only costs an allocation, so the table
    // needs no seeded hash; Qt's cost a tenth of the reading's instructions.
    static size_t ranura(QStringView s) {
        std::uint32_t h = 2166136261u;
        for (const QChar c : s) h = (h ^ c.unicode()) * 16777619u;
        return (h ^ (h >> 16)) % kSharedTextSlots;
    }

    QString compartido(QStringView s) {
        if (s.isEmpty()) return {};
        if (s.size() > kMaxSharedText) return s.toString();
        QString& slot = (*compartidos)[ranura(s)];
        if (slot != s) slot = s.toString();
        return slot;
    }

    bool fin() const { return pos >= n; }
    char16_t actual() const { return t[pos].unicode(); }

    QStringView desde(qsizetype inicio, qsizetype largo) const {
        if (inicio >= n) return {};
        return QStringView(t + inicio, std::min(largo, n - inicio));
    }
    QStringView restoDesde(qsizetype inicio) const { return desde(inicio, kMaxExcerpt); }
    QStringView ultimos20() const {
        const qsizetype inicio = std::max<qsizetype>(0, n - 20);
        return QStringView(t + inicio, n - inicio);
    }
    static QStringView recortado(QStringView s) { return s.left(kMaxExcerpt); }

    template <typename... Partes>
    void anotar(const Partes&... partes) {
        if (errores.size() >= kMaxErrorText) {
            if (!mensajesCortados) errores += QStringView(kMessagesCut);
            mensajesCortados = true;
            return;
        }
        (errores.append(partes), ...);
        errores.append(QStringView(kNewLine));
    }
    void anotarEnPosicion(QStringView que, qsizetype en, QStringView extracto) {
        anotar(que, QString::number(en + 1), QStringView(u" : "), extracto);
    }

    void saltarBlancos();
    Value leerValor();
    Value leerObjeto();
    Value leerArreglo();
    // Before each member or element: the closing mark ends the container and a comma is passed
    // over; the end of the text records the missing mark. False when the container has ended.
    bool haySiguiente(char16_t cierre);
    void anotarFalta(char16_t cierre);
    QString leerClave();
    QString leerTexto();
    Value leerNumero();
    Value leerBooleano();
    Value leerNulo();

    bool entrar();
};

// Leaves a nesting level however the level is left.
struct Nivel {
    int& profundidad;
    ~Nivel() { --profundidad; }
};

// Insignificant characters: blanks, parentheses, and // and /* */ comments, read with three marks.
// The marks follow the answers the server has always sent; a lone "/" or "*" between tokens is
// skipped, and "**/" does not close a block comment.
void Lector::saltarBlancos() {
    if (pos < 0) return;
    bool enComentario = false;
    bool enBloque = false;
    bool pendiente = false;
    for (; pos < n; ++pos) {
        switch (actual()) {
        case u'\r':
        case u'\n':
            if (!enBloque) enComentario = pendiente = false;
            break;
        case u'\t':
        case u' ':
        case u'(':
        case u')':
            break;
        case u'/':
            if (enBloque) {
                if (pendiente) enComentario = enBloque = pendiente = false;
            } else if (pendiente) {
                enComentario = true;
                pendiente = false;
            } else {
                pendiente = true;
                enComentario = enBloque = false;
            }
            break;
        case u'*':
            if (pendiente) {
                enComentario = enBloque = true;
                pendiente = false;
            } else {
                pendiente = true;
            }
            break;
        default:
            if (!enComentario) return;
            break;
        }
    }
}

bool Lector::entrar() {
    if (profundidad >= kMaxNesting) {
        anotar(QStringView(u"Nesting too deep at position "), QString::number(pos + 1));
        abandonado = true;
        return false;
    }
    ++profundidad;
    return true;
}

Value Lector::leerValor() {
    saltarBlancos();
    if (fin()) return leerNumero();
    switch (actual()) {
    case u'{':
        return leerObjeto();
    case u'[':
        return leerArreglo();
    case u'"':
    case u'\'':
        return leerTexto();
    case u't':
    case u'f':
        return leerBooleano();
    case u'n':
        return leerNulo();
    default:
        return leerNumero();
    }
}

Value Lector::leerObjeto() {
    Dictionary objeto;
    saltarBlancos();
    if (fin() || actual() != u'{') {
        anotarEnPosicion(u"Invalid Object at position ", pos, restoDesde(pos));
        return objeto;
    }
    if (!entrar()) return {};
    const Nivel nivel{profundidad};
    ++pos;
    QString clave;
    bool valorLeido = false;
    try {
        while (haySiguiente(u'}')) {
            clave = leerClave();
            valorLeido = true;
            Value valor = leerValor();
            if (abandonado) break;
            objeto.add(clave, std::move(valor));
        }
    } catch (const RuntimeError& e) {
        // The failure's own description: Type mismatch for a number text that is not a number,
        // Overflow for one beyond the decimal's range, or the duplicate-key text.
        if (!valorLeido) throw;
        anotar(e.description(), QStringView(u": "), recortado(clave));
    } catch (const std::bad_alloc&) {
        if (!valorLeido) throw;
        anotar(errors::outOfMemory, QStringView(u": "), recortado(clave));
    }
    return objeto;
}

// Runs once per member and element, so it is kept inline in both loops, and the message of the
// missing mark is built only when needed: a message passed in would be measured on every call.
inline bool Lector::haySiguiente(char16_t cierre) {
    saltarBlancos();
    if (!fin() && actual() == cierre) {
        ++pos;
        return false;
    }
    if (!fin() && actual() == u',') {
        ++pos;
        saltarBlancos();
    } else if (fin()) {
        anotarFalta(cierre);
        return false;
    }
    return true;
}

void Lector::anotarFalta(char16_t cierre) {
    anotar(QStringView(u"Missing '"), QStringView(&cierre, 1), QStringView(u"': "), ultimos20());
}

Value Lector::leerArreglo() {
    Collection arreglo;
    saltarBlancos();
    if (fin() || actual() != u'[') {
        anotarEnPosicion(u"Invalid Array at position ", pos, desde(pos, 20));
        return arreglo;
    }
    if (!entrar()) return {};
    const Nivel nivel{profundidad};
    ++pos;
    bool valorLeido = false;
    try {
        while (haySiguiente(u']')) {
            // A malformed true, false or null leaves the position where it was, so reading on
            // would report it forever. The array ends there, without the literal's value, and so
            // does every enclosing array that comes back to the same spot: one message per fault.
            if (pos == atascoEn) break;
            const qsizetype antes = pos;
            valorLeido = true;
            Value valor = leerValor();
            if (abandonado) break;
            if (pos == antes && !fin()) {
                atascoEn = pos;
                break;
            }
            arreglo.add(std::move(valor));
        }
    } catch (const RuntimeError& e) {
        if (!valorLeido) throw;
        anotar(e.description(), QStringView(u": "), desde(pos, 20));
    } catch (const std::bad_alloc&) {
        if (!valorLeido) throw;
        anotar(errors::outOfMemory, QStringView(u": "), desde(pos, 20));
    }
    return arreglo;
}

// Keys may be in double quotes, in apostrophes or bare. Blanks are never part of a key, and a
// colon inside quotes is.
QString Lector::leerClave() {
    saltarBlancos();
    bool enDobles = false;
    bool enSimples = false;
    // Most keys are one run of the text; only a key broken by dropped characters is copied piece
    // by piece.
    QStringView primerTramo;
    QString armada;
    bool enPiezas = false;
    qsizetype tramo = pos;  // start of the run of key characters not yet taken
    auto tomarTramo = [&] {
        if (pos <= tramo) return;
        const QStringView pieza(t + tramo, pos - tramo);
        if (!enPiezas && primerTramo.isEmpty()) {
            primerTramo = pieza;
            return;
        }
        if (!enPiezas) armada = primerTramo.toString();
        enPiezas = true;
        armada.append(pieza);
    };
    auto clave = [&] { return enPiezas ? armada : compartido(primerTramo); };
    while (pos < n) {
        const char16_t c = actual();
        switch (c) {
        case u'"':
        case u'\'': {
            tomarTramo();
            ++pos;
            bool& marca = c == u'"' ? enDobles : enSimples;
            marca = !marca;
            if (!marca) {
                saltarBlancos();
                if (fin() || actual() != u':') {
                    const QString leida = clave();
                    anotarEnPosicion(u"Invalid Key at position ", pos, recortado(leida));
                    return leida;
                }
            }
            tramo = pos;
            break;
        }
        case u':':
            if (!enDobles && !enSimples) {
                tomarTramo();
                ++pos;
                return clave();
            }
            ++pos;
            break;
        case u'\r':
        case u'\n':
        case u'\t':
        case u' ':
            tomarTramo();
            tramo = ++pos;
            break;
        default:
            ++pos;
            break;
        }
    }
    tomarTramo();
    return clave();
}

int valorHexadecimal(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// A string ends at its own kind of quote; an unterminated one runs to the end of the text.
QString Lector::leerTexto() {
    saltarBlancos();
    if (fin()) return {};
    const char16_t cierre = actual();
    ++pos;
    // Most strings hold no escape: take them in one piece.
    qsizetype i = pos;
    while (i < n && t[i] != cierre && t[i] != u'\\') ++i;
    if (i >= n || t[i] == cierre) {
        QString texto = compartido(QStringView(t + pos, i - pos));
        pos = i < n ? i + 1 : n;
        return texto;
    }
    QString texto;
    texto.reserve(i - pos + 16);
    while (pos < n) {
        qsizetype j = pos;
        while (j < n && t[j] != cierre && t[j] != u'\\') ++j;
        texto.append(QStringView(t + pos, j - pos));
        pos = j;
        if (pos >= n) break;
        if (t[pos] == cierre) {
            ++pos;
            break;
        }
        ++pos;  // the backslash
        if (pos >= n) break;
        switch (actual()) {
        case u'"':
        case u'\\':
        case u'/':
        case u'\'':
            texto.append(t[pos++]);
            break;
        case u'b':
            texto.append(QChar(8));
            ++pos;
            break;
        case u'f':
            texto.append(QChar(12));
            ++pos;
            break;
        case u'n':
            texto.append(QChar(10));
            ++pos;
            break;
        case u'r':
            texto.append(QChar(13));
            ++pos;
            break;
        case u't':
            texto.append(QChar(9));
            ++pos;
            break;
        case u'u': {
            ++pos;
            // Up to four hexadecimal digits, stopping at the first other character; the four
            // characters are passed over whatever they are.
            char16_t unidad = 0;
            for (qsizetype k = pos; k < pos + 4 && k < n; ++k) {
                const int d = valorHexadecimal(t[k].unicode());
                if (d < 0) break;
                unidad = static_cast<char16_t>(unidad * 16 + d);
            }
            texto.append(QChar(unidad));
            pos = std::min(pos + 4, n);
            break;
        }
        default:
            // An unknown escape drops the backslash; the character after it is read as it is.
            break;
        }
    }
    return texto;
}

bool esCaracterDeNumero(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' || c == u'E';
}

// The number in `texto` with all fraction digits beyond `decimales` cut (toward zero, never carried
// into the integer part), or nullopt when `texto` is not a number. The whole text is read exactly,
// exponent included, before the cut: 1.5e3 is 1500, 15e-1 is 1.5 and -0.5 keeps its sign.
// Throws Overflow for a number beyond the decimal's range.
std::optional<Decimal> normalizarNumero(QStringView texto, int decimales) {
    return Decimal::parseTruncated(texto, decimales);
}

bool esDigito(QChar c) { return c >= u'0' && c <= u'9'; }

// The plain amounts of an answer (an optional minus, up to 16 integer digits, an optional
// fraction) read without the general conversion; the result is the same number at the same scale.
// With the two fraction digits kept, 18 digits always fit a 64-bit integer.

std::optional<Decimal> numeroSencillo(QStringView texto) {
    qsizetype i = 0;
    const bool negativo = !texto.isEmpty() && texto[0] == u'-';
    if (negativo) ++i;
    qint64 entero = 0;
    const qsizetype inicioEntero = i;
    for (; i < texto.size() && esDigito(texto[i]); ++i) {
        if (i - inicioEntero >= 16) return std::nullopt;
        entero = entero * 10 + (texto[i].unicode() - u'0');
    }
    if (i == inicioEntero) return std::nullopt;
    int decimales = 0;
    if (i < texto.size()) {
        if (texto[i] != u'.') return std::nullopt;
        const qsizetype inicioFraccion = ++i;
        for (; i < texto.size() && esDigito(texto[i]); ++i) {
            if (decimales < 2) {
                entero = entero * 10 + (texto[i].unicode() - u'0');
                ++decimales;
            }
        }
        if (i == inicioFraccion || i < texto.size()) return std::nullopt;
    }
    const Decimal numero = Decimal::fromUnits(entero, decimales);
    return negativo ? -numero : numero;
}

Value Lector::leerNumero() {
    saltarBlancos();
    const qsizetype inicio = pos;
    while (pos < n && esCaracterDeNumero(actual())) ++pos;
    // A number cut off by the end of the text is not converted.
    if (fin()) return {};
    const QStringView texto(t + inicio, pos - inicio);
    auto numero = numeroSencillo(texto);
    if (!numero) numero = normalizarNumero(texto, 2);
    if (!numero) throw RuntimeError(errors::typeMismatch);
    return *numero;
}

bool siguenLetras(const QChar* t, qsizetype n, qsizetype pos, QStringView palabra) {
    return n - pos >= palabra.size() && QStringView(t + pos, palabra.size()) == palabra;
}

Value Lector::leerBooleano() {
    saltarBlancos();
    if (siguenLetras(t, n, pos, u"true")) {
        pos += 4;
        return true;
    }
    if (siguenLetras(t, n, pos, u"false")) {
        pos += 5;
        return false;
    }
    anotarEnPosicion(u"Invalid Boolean at position ", pos, restoDesde(pos));
    return false;
}

Value Lector::leerNulo() {
    saltarBlancos();
    if (siguenLetras(t, n, pos, u"null")) {
        pos += 4;
        return Value::null();
    }
    anotarEnPosicion(u"Invalid null value at position ", pos, restoDesde(pos));
    return {};
}

}  // namespace

Value JsonReader::leerJSON(const QString& texto) {
    errores_.clear();
    Lector lector(texto, errores_);
    lector.saltarBlancos();
    if (lector.fin() || (lector.actual() != u'{' && lector.actual() != u'[')) {
        errores_ = QStringLiteral("Invalid JSON");
        return {};
    }
    try {
        return lector.actual() == u'{' ? lector.leerObjeto() : lector.leerArreglo();
    } catch (const RuntimeError&) {
        // Only a failure before the first value of the top level gets here; it has no member to
        // be reported against.
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace kelmora
