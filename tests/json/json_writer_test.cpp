// The JSON text the journal keeps of an answer must read back into the very tree it was written
// from, after being stored as UTF-8: the documents printed again after a restart depend on it.

#include "json/json_reader.h"
#include "json/json_writer.h"
#include "qt_printers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <string>

namespace kelmora {
namespace {

std::string show(const QString& text) { return text.toStdString(); }

::testing::AssertionResult sameTree(const Value& a, const Value& b, const std::string& where = "$") {
    if (a.kind() != b.kind()) {
        return ::testing::AssertionFailure() << where << ": kind " << static_cast<int>(a.kind()) << " vs "
                                             << static_cast<int>(b.kind());
    }
    switch (a.kind()) {
    case Value::Kind::Empty:
    case Value::Kind::Null:
        return ::testing::AssertionSuccess();
    case Value::Kind::Boolean:
        if (*a.booleanIf() == *b.booleanIf()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << where << ": boolean differs";
    case Value::Kind::Number:
        if (*a.numberIf() == *b.numberIf()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << where << ": " << show(a.numberIf()->toString()) << " vs "
                                             << show(b.numberIf()->toString());
    case Value::Kind::Text:
        if (*a.textIf() == *b.textIf()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << where << ": text " << show(*a.textIf()) << " vs " << show(*b.textIf());
    case Value::Kind::Dictionary: {
        const auto& x = a.toDictionary().members();
        const auto& y = b.toDictionary().members();
        if (x.size() != y.size()) {
            return ::testing::AssertionFailure() << where << ": " << x.size() << " members vs " << y.size();
        }
        for (qsizetype i = 0; i < x.size(); ++i) {
            if (x[i].first != y[i].first) {
                return ::testing::AssertionFailure() << where << ": key " << show(x[i].first) << " vs "
                                                     << show(y[i].first);
            }
            auto r = sameTree(x[i].second, y[i].second, where + "." + show(x[i].first));
            if (!r) return r;
        }
        return ::testing::AssertionSuccess();
    }
    case Value::Kind::Collection: {
        const Collection x = a.toCollection();
        const Collection y = b.toCollection();
        if (x.Count() != y.Count()) {
            return ::testing::AssertionFailure() << where << ": " << x.Count() << " items vs " << y.Count();
        }
        for (qsizetype i = 1; i <= x.Count(); ++i) {
            auto r = sameTree(x.item(i), y.item(i), where + "[" + std::to_string(i) + "]");
            if (!r) return r;
        }
        return ::testing::AssertionSuccess();
    }
    }
    return ::testing::AssertionFailure() << where << ": unknown kind";
}

// Written, stored as UTF-8 (as the journal stores it) and read again.
::testing::AssertionResult readsBackTheSame(const Value& value) {
    const QString written = escribirJSON(value);
    const QString stored = QString::fromUtf8(written.toUtf8());
    if (stored != written) return ::testing::AssertionFailure() << "not valid as UTF-8: " << show(written);
    JsonReader reader;
    const Value again = reader.leerJSON(stored);
    if (!reader.erroresJSON().isEmpty()) {
        return ::testing::AssertionFailure() << "errors reading back " << show(written.left(300)) << ": "
                                             << show(reader.erroresJSON().left(300));
    }
    return sameTree(value, again) << " in " << show(written.left(300));
}

// Every corpus file and every sample answer that reads cleanly.
TEST(JsonWriter, EveryCleanlyReadFileReadsBackAsTheSameTree) {
    struct Source {
        QString folder;
        QString pattern;
        int skip;  // characters before the JSON text: the answers' length prefix
    };
    const Source sources[] = {
        {QStringLiteral(KELMORA_JSON_CORPUS_DIR), QStringLiteral("*.json"), 0},
        {QStringLiteral(KELMORA_TEST_DATA_DIR "/answers"), QStringLiteral("*.txt"), 5},
        {QStringLiteral(KELMORA_TEST_DATA_DIR "/invoices"), QStringLiteral("*.json"), 0},
    };
    int corpus = 0;
    int answers = 0;
    JsonReader reader;
    for (const Source& source : sources) {
        const QDir dir(source.folder);
        for (const QString& name : dir.entryList({source.pattern}, QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << show(name);
            const Value value = reader.leerJSON(QString::fromUtf8(file.readAll()).mid(source.skip));
            if (!reader.erroresJSON().isEmpty()) continue;
            EXPECT_TRUE(readsBackTheSame(value)) << show(name);
            ++(source.skip == 0 && source.folder.endsWith(u"test_parsing") ? corpus : answers);
        }
    }
    // The corpus's valid files and the answers, with room for the dialect's few differences.
    EXPECT_GE(corpus, 90);
    EXPECT_GE(answers, 9);
}

Value text(const char16_t* units, qsizetype size) { return QString(reinterpret_cast<const QChar*>(units), size); }

// The characters JSON must escape, those UTF-8 cannot carry alone, and the numbers of an answer.
TEST(JsonWriter, HardTextsAndAmountsReadBackTheSame) {
    QString controls;
    for (char16_t c = 0; c < 0x20; ++c) controls.append(QChar(c));
    controls.append(QChar(0x7f));
    const char16_t loneHigh[] = {u'a', 0xD83C, u'b'};
    const char16_t loneLow[] = {0xDF72, u'z'};
    const char16_t reversed[] = {0xDF72, 0xD83C};
    const char16_t endsHigh[] = {u'x', 0xDBFF};

    Collection texts;
    texts.add(controls);
    texts.add(QStringLiteral("comillas \" y ' y barra \\ y / y \\u0041 y \\n escritos"));
    texts.add(text(loneHigh, 3));
    texts.add(text(loneLow, 2));
    texts.add(text(reversed, 2));
    texts.add(text(endsHigh, 2));
    texts.add(QStringLiteral(u"Sopa \U0001F372, \U0010FFFF, ñandú, 中文, \u00a0\u2028\u2029\uFEFF"));
    texts.add(QString());
    texts.add(QStringLiteral("\"\"\\\\\""));

    Collection amounts;
    for (const char16_t* n : {u"0", u"-0.01", u"0.07", u"12.5", u"-1234.56", u"38000", u"-38000", u"999999999999999.99",
                              u"-9999999999999999", u"79228162514264337593543950335",
                              u"-792281625142643375935439503.35"}) {
        amounts.add(*Decimal::parse(QStringView(n)));
    }

    Dictionary keys;
    keys.add(QStringLiteral("nomMesa"), QStringLiteral("Mesa 4"));
    keys.add(QStringLiteral("Tamaño_de_Factura"), QStringLiteral("rollo 75mm"));
    keys.add(QStringLiteral("hora:minuto"), 1);
    keys.add(QStringLiteral("C:\\ruta\\logo"), true);
    keys.add(QStringLiteral(u"clave\U0001F372\u00a0\\u0041\x01"), false);
    keys.add(QString(), Value::null());
    keys.add(QStringLiteral("{[,]}"), Dictionary());
    keys.add(QStringLiteral("lista"), Collection());

    Collection deep;
    Value inner = Collection();
    for (int i = 0; i < 200; ++i) {
        Collection wrap;
        wrap.add(inner);
        wrap.add(i);
        inner = wrap;
    }
    deep.add(inner);

    Dictionary all;
    all.add(QStringLiteral("textos"), texts);
    all.add(QStringLiteral("montos"), amounts);
    all.add(QStringLiteral("claves"), keys);
    all.add(QStringLiteral("hondo"), deep);
    EXPECT_TRUE(readsBackTheSame(all));
    EXPECT_TRUE(readsBackTheSame(texts));

    // The numbers are written the same whatever the machine's language.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(readsBackTheSame(amounts));
    QLocale::setDefault(before);

    // No value at all has no JSON text: inside a list it comes back as null.
    Collection withEmpty;
    withEmpty.add(Value());
    JsonReader reader;
    const Value again = reader.leerJSON(escribirJSON(withEmpty));
    EXPECT_EQ(reader.erroresJSON(), QString());
    ASSERT_EQ(again.toCollection().Count(), 1);
    EXPECT_TRUE(again.toCollection().item(1).isNull());
}

}  // namespace
}  // namespace kelmora
