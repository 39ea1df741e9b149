#include "json/json_reader.h"
#include "json/runtime_error.h"
#include "qt_printers.h"

#include <gtest/gtest.h>

namespace kelmora {
namespace {

using namespace Qt::StringLiterals;

const QString kCrLf = QStringLiteral("\r\n");

struct Reading {
    Value value;
    QString errors;
};

Reading read(const QString& text) {
    JsonReader reader;
    Value value = reader.leerJSON(text);
    return {std::move(value), reader.erroresJSON()};
}
Reading read(const char16_t* text) { return read(QString::fromUtf16(text)); }

Decimal num(const char16_t* text) { return *Decimal::parse(QStringView(text)); }

QStringList keysOf(const Value& v) {
    QStringList keys;
    for (const auto& member : v.toDictionary().members()) keys << member.first;
    return keys;
}

// Values

TEST(JsonReaderValues, NothingToReadIsInvalidJson) {
    for (const char16_t* text : {u"", u"   \r\n\t", u"/* only */ // a comment\n", u"()", u"5", u"\"text\"",
                                 u"true", u"null", u"x{}"}) {
        const auto r = read(text);
        EXPECT_EQ(r.errors, u"Invalid JSON") << QString::fromUtf16(text).toStdString();
        EXPECT_TRUE(r.value.isEmpty());
    }
}

TEST(JsonReaderValues, EmptyContainers) {
    const auto object = read(u"{}");
    EXPECT_EQ(object.errors, u"");
    ASSERT_TRUE(object.value.isDictionary());
    EXPECT_EQ(object.value.toDictionary().Count(), 0);

    const auto array = read(u" [ ] ");
    EXPECT_EQ(array.errors, u"");
    ASSERT_TRUE(array.value.isCollection());
    EXPECT_EQ(array.value.toCollection().Count(), 0);
}

TEST(JsonReaderValues, EveryKindOfValue) {
    const auto r = read(u"[true, false, null, \"x\", 1.5, {}, [], 'y']");
    ASSERT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    ASSERT_EQ(c.Count(), 8);
    EXPECT_EQ(*c.item(1).booleanIf(), true);
    EXPECT_EQ(*c.item(2).booleanIf(), false);
    EXPECT_TRUE(c.item(3).isNull());
    EXPECT_EQ(*c.item(4).textIf(), u"x");
    EXPECT_EQ(*c.item(5).numberIf(), num(u"1.5"));
    EXPECT_TRUE(c.item(6).isDictionary());
    EXPECT_TRUE(c.item(7).isCollection());
    EXPECT_EQ(*c.item(8).textIf(), u"y");
}

TEST(JsonReaderValues, TextAfterTheTopValueIsIgnored) {
    const auto r = read(u"{\"a\": 1} and then some words, ] } \"");
    EXPECT_EQ(r.errors, u"");
    EXPECT_EQ(r.value[u"a"].toNumber(), Decimal(1));
}

TEST(JsonReaderValues, ErrorTextBelongsToTheLastCall) {
    JsonReader reader;
    (void)reader.leerJSON(QStringLiteral("{\"a\": tru, \"b\": 1}"));
    EXPECT_FALSE(reader.erroresJSON().isEmpty());
    (void)reader.leerJSON(QStringLiteral("{\"a\": true}"));
    EXPECT_EQ(reader.erroresJSON(), u"");
    (void)reader.leerJSON(QString());
    EXPECT_EQ(reader.erroresJSON(), u"Invalid JSON");
}

TEST(JsonReaderValues, NestedAnswerIsReadByKey) {
    const auto r = read(u"{\"comanda\": [{\"area\": \"Cocina\", \"productos\": [{\"nombre\": \"Ajiaco\", "
                        u"\"cantidad\": 2, \"detalle\": [\"sin crema\"]}]}], \"abrirCajon\": false}");
    ASSERT_EQ(r.errors, u"");
    const Value orden = r.value[u"comanda"].toCollection().item(1);
    EXPECT_EQ(orden[u"area"].toText(), u"Cocina");
    const Value producto = orden[u"productos"].toCollection().item(1);
    EXPECT_EQ(producto[u"nombre"].toText(), u"Ajiaco");
    EXPECT_EQ(producto[u"cantidad"].toNumber(), Decimal(2));
    EXPECT_EQ(producto[u"detalle"].toCollection().item(1).toText(), u"sin crema");
    EXPECT_FALSE(r.value[u"abrirCajon"].toBoolean());
    EXPECT_TRUE(r.value[u"factura"].isEmpty());
}

// Objects and keys

TEST(JsonReaderObjects, CommasBetweenMembersAreOptional) {
    const auto missing = read(u"{\"a\": 1 \"b\": 2}");
    EXPECT_EQ(missing.errors, u"");
    EXPECT_EQ(keysOf(missing.value), (QStringList{u"a"_s, u"b"_s}));

    const auto leading = read(u"{, \"a\": 1}");
    EXPECT_EQ(leading.errors, u"");
    EXPECT_EQ(keysOf(leading.value), QStringList{u"a"_s});
    EXPECT_EQ(leading.value[u"a"].toNumber(), Decimal(1));
}

TEST(JsonReaderObjects, CommaBeforeTheClosingBraceMakesABraceKey) {
    const QString text = QStringLiteral("{\"alpha\":1,\"beta\":22,}");
    const auto r = read(text);
    EXPECT_EQ(r.errors, u"Missing '}': alpha\":1,\"beta\":22,}"_s + kCrLf);
    EXPECT_EQ(keysOf(r.value), (QStringList{u"alpha"_s, u"beta"_s, u"}"_s}));
    EXPECT_TRUE(r.value[u"}"].isEmpty());
    EXPECT_EQ(r.value[u"beta"].toNumber(), Decimal(22));
}

TEST(JsonReaderObjects, KeyQuotingIsOptionalAndBlanksAreDropped) {
    for (const char16_t* text : {u"{\"nombre\": 1}", u"{nombre: 1}", u"{'nombre': 1}", u"{ \"nom bre\" : 1}",
                                 u"{\"nom\tbre\"\r\n: 1}", u"{nom\nbre: 1}"}) {
        const auto r = read(text);
        EXPECT_EQ(r.errors, u"") << QString::fromUtf16(text).toStdString();
        EXPECT_EQ(keysOf(r.value), QStringList{u"nombre"_s}) << QString::fromUtf16(text).toStdString();
    }
    EXPECT_EQ(keysOf(read(u"{\"first name\": \"Ana\"}").value), QStringList{u"firstname"_s});
    EXPECT_EQ(keysOf(read(u"{\"hora:minuto\": 1}").value), QStringList{u"hora:minuto"_s});
    EXPECT_EQ(keysOf(read(u"{\"Tamaño de Factura\": 1}").value), QStringList{u"TamañodeFactura"_s});
}

TEST(JsonReaderObjects, KeysCompareExactly) {
    const auto r = read(u"{\"a\": 1, \"A\": 2}");
    EXPECT_EQ(r.errors, u"");
    EXPECT_EQ(r.value[u"A"].toNumber(), Decimal(2));
}

TEST(JsonReaderObjects, DuplicateKeyEndsTheObjectWithTheFirstMember) {
    const auto r = read(u"{\"a\": 1, \"a\": 2, \"b\": 3}");
    EXPECT_EQ(r.errors, errors::duplicateKey + u": a"_s + kCrLf);
    EXPECT_EQ(keysOf(r.value), QStringList{u"a"_s});
    EXPECT_EQ(r.value[u"a"].toNumber(), Decimal(1));
}

TEST(JsonReaderObjects, ParentGoesOnFromWhereTheChildStopped) {
    // The inner object stops after reading its second "a", in front of its own closing brace,
    // which the outer object then takes for its own.
    const auto r = read(u"{\"o\": {\"a\": 1, \"a\": 2}, \"b\": 3}");
    EXPECT_EQ(r.errors, errors::duplicateKey + u": a"_s + kCrLf);
    EXPECT_EQ(keysOf(r.value), QStringList{u"o"_s});
    EXPECT_EQ(keysOf(r.value[u"o"]), QStringList{u"a"_s});
}

TEST(JsonReaderObjects, ClosingQuoteOfAKeyNotFollowedByColon) {
    const auto r = read(u"{\"a\" 1}");
    EXPECT_EQ(r.errors, u"Invalid Key at position 6 : a"_s + kCrLf);
    EXPECT_EQ(r.value[u"a"].toNumber(), Decimal(1));
}

TEST(JsonReaderObjects, ApostropheInsideADoubleQuotedKeyRunsIntoTheValue) {
    const auto r = read(u"{\"it's\": 1}");
    EXPECT_EQ(r.errors, u"Missing '}': {\"it's\": 1}"_s + kCrLf);
    EXPECT_EQ(keysOf(r.value), QStringList{u"its:1}"_s});
    EXPECT_TRUE(r.value[u"its:1}"].isEmpty());
}

TEST(JsonReaderObjects, TextEndingInsideAnObject) {
    const auto r = read(u"{\"nombre\": \"Ana\", \"mesa\": \"Terraza 4\"");
    EXPECT_EQ(r.errors, u"Missing '}':  \"mesa\": \"Terraza 4\""_s + kCrLf);
    EXPECT_EQ(r.value[u"mesa"].toText(), u"Terraza 4");
    // Each open level reports the end of the text.
    const auto nested = read(u"{\"a\": {\"b\": \"c\"");
    EXPECT_EQ(nested.errors, u"Missing '}': {\"a\": {\"b\": \"c\""_s + kCrLf + u"Missing '}': {\"a\": {\"b\": \"c\""_s + kCrLf);
}

// Arrays

TEST(JsonReaderArrays, OneBasedAndCommasOptional) {
    const auto r = read(u"[10 20, 30]");
    EXPECT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    ASSERT_EQ(c.Count(), 3);
    EXPECT_EQ(c.item(1).toNumber(), Decimal(10));
    EXPECT_EQ(c.item(3).toNumber(), Decimal(30));
}

TEST(JsonReaderArrays, CommaBeforeTheClosingBracketFailsConversion) {
    const auto r = read(u"{\"l\": [1, 2,], \"b\": 3}");
    EXPECT_EQ(r.errors, errors::typeMismatch + u": ], \"b\": 3}"_s + kCrLf);
    EXPECT_EQ(r.value[u"l"].toCollection().Count(), 2);
    // The object reads on from the bracket where the array stopped.
    EXPECT_EQ(keysOf(r.value), (QStringList{u"l"_s, u"],b"_s}));
}

TEST(JsonReaderArrays, TextEndingAfterANumber) {
    const auto r = read(u"[10, 20, 30, 40, 50, 60");
    EXPECT_EQ(r.errors, u"Missing ']': , 20, 30, 40, 50, 60"_s + kCrLf);
    const Collection c = r.value.toCollection();
    ASSERT_EQ(c.Count(), 6);
    EXPECT_EQ(c.item(5).toNumber(), Decimal(50));
    EXPECT_TRUE(c.item(6).isEmpty());  // it ran into the end of the text
}

TEST(JsonReaderArrays, ConversionFailureQuotesTwentyCharacters) {
    const auto r = read(u"[1, x2345678901234567890123456789]");
    EXPECT_EQ(r.errors, errors::typeMismatch + u": x2345678901234567890"_s + kCrLf);
    EXPECT_EQ(r.value.toCollection().Count(), 1);
}

// Strings and escapes

TEST(JsonReaderStrings, EscapesTable) {
    const auto r = read(uR"(["\"\\\/\'", "\b\f\n\r\t", "\u00f1\u00D1", "\q", "a\u4g12b"])");
    ASSERT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    EXPECT_EQ(*c.item(1).textIf(), u"\"\\/'");
    EXPECT_EQ(*c.item(2).textIf(), u"\b\f\n\r\t");
    EXPECT_EQ(*c.item(3).textIf(), u"ñÑ");
    EXPECT_EQ(*c.item(4).textIf(), u"q");
    // Hex digits stop at the first other character, but four characters are passed over.
    EXPECT_EQ(*c.item(5).textIf(), u"a"_s + QChar(4) + u"b"_s);
}

TEST(JsonReaderStrings, EscapesOfSurrogatesAndZero) {
    const auto r = read(uR"(["\ud83d\ude00", "a\u0000b"])");
    ASSERT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    EXPECT_EQ(*c.item(1).textIf(), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(*c.item(2).textIf(), u"a"_s + QChar(0) + u"b"_s);
}

TEST(JsonReaderStrings, QuotesOfTheOtherKindAndRawCharacters) {
    const auto r = read(u"['dijo \"hola\"', \"l'arbre\", 'it\\'s', \"línea\r\nnueva\", \"\", '', \"Tamaño €\"]");
    ASSERT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    EXPECT_EQ(*c.item(1).textIf(), u"dijo \"hola\"");
    EXPECT_EQ(*c.item(2).textIf(), u"l'arbre");
    EXPECT_EQ(*c.item(3).textIf(), u"it's");
    EXPECT_EQ(*c.item(4).textIf(), u"línea\r\nnueva");
    EXPECT_TRUE(c.item(5).isEmptyText());
    EXPECT_TRUE(c.item(6).isText());
    EXPECT_EQ(*c.item(7).textIf(), u"Tamaño €");
}

TEST(JsonReaderStrings, ManyShortTextsAndKeysStayDistinct) {
    // Far more distinct short texts of one length than any table of shared texts has room for,
    // each one twice.
    QString text = QStringLiteral("{");
    for (int i = 0; i < 3000; ++i) text += QStringLiteral("k%1: ['t%1', 't%1'] ").arg(i, 4, 10, QChar(u'0'));
    text += u'}';
    const auto r = read(text);
    ASSERT_EQ(r.errors, u"");
    const auto& members = r.value.toDictionary().members();
    ASSERT_EQ(members.size(), 3000);
    for (int i = 0; i < 3000; ++i) {
        const QString number = QStringLiteral("%1").arg(i, 4, 10, QChar(u'0'));
        ASSERT_EQ(members.at(i).first, u"k"_s + number);
        const Collection pair = members.at(i).second.toCollection();
        ASSERT_EQ(*pair.item(1).textIf(), u"t"_s + number);
        ASSERT_EQ(*pair.item(2).textIf(), u"t"_s + number);
    }
}

TEST(JsonReaderStrings, UnterminatedStringRunsToTheEnd) {
    const auto r = read(u"[\"abc\\");
    EXPECT_EQ(r.errors, u"Missing ']': [\"abc\\"_s + kCrLf);  // only the array's message
    EXPECT_EQ(*r.value.toCollection().item(1).textIf(), u"abc");
}

// Numbers

TEST(JsonReaderNumbers, AtMostTwoFractionDigitsCutTowardZero) {
    const auto r = read(u"[12.999, -3, 1e3, 1.5e3, 15e-1, -0.5, 12.345, 0.199, -7.5, 0, +5, 2.50, 1E2, -12.999]");
    ASSERT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    const char16_t* expected[] = {u"12.99", u"-3",   u"1000", u"1500", u"1.5", u"-0.5", u"12.34",
                                  u"0.19",  u"-7.5", u"0",    u"5",    u"2.5", u"100",  u"-12.99"};
    ASSERT_EQ(c.Count(), std::ssize(expected));
    for (qsizetype i = 0; i < c.Count(); ++i) {
        ASSERT_TRUE(c.item(i + 1).isNumber());
        EXPECT_EQ(c.item(i + 1).numberIf()->toString(), QString::fromUtf16(expected[i])) << i;
    }
    EXPECT_TRUE(c.item(6).numberIf()->isNegative());
}

TEST(JsonReaderNumbers, LongAndUnusualForms) {
    const auto r = read(u"[-9999999999999999.999, 99999999999999999.999, 123456789012345678901234567.899, "
                        u"5., .5, -0, 0.00, 007, 1.5E+1, -2e-3]");
    ASSERT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    const char16_t* expected[] = {u"-9999999999999999.99", u"99999999999999999.99", u"123456789012345678901234567.89",
                                  u"5", u"0.5", u"0", u"0", u"7", u"15", u"0"};
    ASSERT_EQ(c.Count(), std::ssize(expected));
    for (qsizetype i = 0; i < c.Count(); ++i) {
        EXPECT_EQ(c.item(i + 1).numberIf()->toString(), QString::fromUtf16(expected[i])) << i;
    }
}

TEST(JsonReaderNumbers, GeneralFormsReadLikeTheirPlainEquals) {
    // Exponents, a plus sign and more than 16 integer digits take the general conversion; it must
    // cut, keep the sign and place the decimal mark exactly as the plain reading of the same number.
    const auto r = read(u"[1.2399e1, -1.2399e1, +12.399, 1239.9e-2, -5e-1, 123456789012345678.999, -0.0999e2]");
    ASSERT_EQ(r.errors, u"");
    const Collection c = r.value.toCollection();
    const char16_t* expected[] = {u"12.39", u"-12.39", u"12.39", u"12.39", u"-0.5", u"123456789012345678.99", u"-9.99"};
    ASSERT_EQ(c.Count(), std::ssize(expected));
    for (qsizetype i = 0; i < c.Count(); ++i) {
        EXPECT_EQ(c.item(i + 1).numberIf()->toString(), QString::fromUtf16(expected[i])) << i;
    }
}

TEST(JsonReaderNumbers, PlainAmountsKeepTheScaleOfTheGeneralReading) {
    // Plain amounts skip the general conversion; they must come out as the same number at the
    // same scale, trailing zeros included, and keep the sign.
    for (const char16_t* text : {u"12.50", u"-3", u"0.199", u"-0.5", u"0.01", u"2.5", u"007.10",
                                 u"9999999999999999.999", u"-9999999999999999"}) {
        const std::string shown = QString::fromUtf16(text).toStdString();
        const auto r = read(u"["_s + QString::fromUtf16(text) + u"]"_s);
        ASSERT_EQ(r.errors, u"") << shown;
        const Decimal* plain = r.value.toCollection().item(1).numberIf();
        const auto general = Decimal::parseTruncated(QStringView(text), 2);
        ASSERT_TRUE(plain && general) << shown;
        EXPECT_EQ(*plain, *general) << shown;
        EXPECT_EQ(plain->scale(), general->scale()) << shown;
        EXPECT_EQ(plain->isNegative(), general->isNegative()) << shown;
    }
}

TEST(JsonReaderNumbers, NumberRunningToTheEndIsEmpty) {
    const auto r = read(u"{\"a\": 5");
    EXPECT_TRUE(r.value[u"a"].isEmpty());
    EXPECT_EQ(r.errors, u"Missing '}': {\"a\": 5"_s + kCrLf);
}

TEST(JsonReaderNumbers, TextThatIsNotANumberFailsConversion) {
    for (const char16_t* text : {u"{\"a\": 1-2}", u"{\"a\": .}", u"{\"a\": -}", u"{\"a\": 1.2.3}", u"{\"a\": True}", u"{\"a\": Null}",
                                 u"{\"a\": 1e}", u"{\"a\": }", u"{\"a\": x}"}) {
        const auto r = read(text);
        EXPECT_EQ(r.errors, errors::typeMismatch + u": a"_s + kCrLf) << QString::fromUtf16(text).toStdString();
        EXPECT_EQ(r.value.toDictionary().Count(), 0);
    }
}

TEST(JsonReaderNumbers, BeyondTheDecimalRangeOverflows) {
    const auto inObject = read(u"{\"ok\": 79228162514264337593543950335, \"a\": 1e30}");
    EXPECT_EQ(inObject.errors, errors::overflow + u": a"_s + kCrLf);
    EXPECT_EQ(inObject.value[u"ok"].numberIf()->toString(), u"79228162514264337593543950335");

    const auto inArray = read(u"[79228162514264337593543950336, 1]");
    EXPECT_EQ(inArray.errors, errors::overflow + u": , 1]"_s + kCrLf);
}

// Literals

TEST(JsonReaderLiterals, MalformedTrueInAnObject) {
    const auto r = read(u"{\"a\": tru, \"b\": 1}");
    EXPECT_EQ(r.errors, u"Invalid Boolean at position 7 : tru, \"b\": 1}"_s + kCrLf);
    EXPECT_EQ(*r.value[u"a"].booleanIf(), false);
    // The object reads on from the t, so the rest becomes a key.
    EXPECT_EQ(keysOf(r.value), (QStringList{u"a"_s, u"tru,b"_s}));
}

TEST(JsonReaderLiterals, MalformedNullInAnObject) {
    const auto r = read(u"{\"a\": nul, \"b\": 1}");
    EXPECT_EQ(r.errors, u"Invalid null value at position 7 : nul, \"b\": 1}"_s + kCrLf);
    EXPECT_TRUE(r.value[u"a"].isEmpty());
    EXPECT_TRUE(r.value.toDictionary().exists(u"a"_s));
}

TEST(JsonReaderLiterals, LiteralsAreCaseSensitive) {
    EXPECT_EQ(read(u"{\"a\": TRUE}").errors, errors::typeMismatch + u": a"_s + kCrLf);
    EXPECT_EQ(read(u"[fals]").errors, u"Invalid Boolean at position 2 : fals]"_s + kCrLf);
}

TEST(JsonReaderLiterals, PositionsCountUtf16CodeUnits) {
    const auto r = read(QString::fromUtf8("[\"\xF0\x9F\x98\x80\", tru]"));
    EXPECT_EQ(r.errors, u"Invalid Boolean at position 8 : tru]"_s + kCrLf);
}

TEST(JsonReaderLiterals, MalformedLiteralEndsTheArrayOnce) {
    const auto r = read(u"[1, tru, 2]");
    EXPECT_EQ(r.errors, u"Invalid Boolean at position 5 : tru, 2]"_s + kCrLf);
    ASSERT_TRUE(r.value.isCollection());
    EXPECT_EQ(r.value.toCollection().Count(), 1);
}

TEST(JsonReaderLiterals, EnclosingArraysStopAtTheSameLiteral) {
    const auto r = read(u"[[1, [nul]], 5]");
    EXPECT_EQ(r.errors, u"Invalid null value at position 7 : nul]], 5]"_s + kCrLf);
    const Collection outer = r.value.toCollection();
    ASSERT_EQ(outer.Count(), 1);
    const Collection middle = outer.item(1).toCollection();
    ASSERT_EQ(middle.Count(), 2);
    EXPECT_EQ(middle.item(2).toCollection().Count(), 0);
}

TEST(JsonReaderLiterals, ObjectAroundAStoppedArrayReadsOn) {
    const auto r = read(u"{\"a\": [tru], \"b\": 1}");
    EXPECT_EQ(r.errors, u"Invalid Boolean at position 8 : tru], \"b\": 1}"_s + kCrLf);
    EXPECT_EQ(keysOf(r.value), (QStringList{u"a"_s, u"tru],b"_s}));
}

// Comments and blanks

TEST(JsonReaderComments, CommentsAndParenthesesBetweenTokens) {
    const auto r = read(u"// cabecera\n{/* bloque\r\n de dos lineas */\"a\": (5), // fin de linea\n"
                        u"\"b\": [(1), (2)] /**/ }");
    ASSERT_EQ(r.errors, u"");
    EXPECT_EQ(r.value[u"a"].toNumber(), Decimal(5));
    EXPECT_EQ(r.value[u"b"].toCollection().Count(), 2);
    EXPECT_EQ(r.value[u"b"].toCollection().item(2).toNumber(), Decimal(2));
}

TEST(JsonReaderComments, LoneSlashAndStarAreBlanks) {
    const auto r = read(u"[1 / 2 * 3]");
    ASSERT_EQ(r.errors, u"");
    EXPECT_EQ(r.value.toCollection().Count(), 3);
}

TEST(JsonReaderComments, MarksDecideWhereCommentsEnd) {
    // "**" clears the pending mark, so "**/" does not close the block; the later "*/" does.
    const auto doubled = read(u"[1 /* a **/ 2 */ 3]");
    ASSERT_EQ(doubled.errors, u"");
    ASSERT_EQ(doubled.value.toCollection().Count(), 2);
    EXPECT_EQ(doubled.value.toCollection().item(2).toNumber(), Decimal(3));

    // A slash inside a line comment ends it.
    const auto slash = read(u"[1 // a / 2\n]");
    ASSERT_EQ(slash.errors, u"");
    ASSERT_EQ(slash.value.toCollection().Count(), 2);
    EXPECT_EQ(slash.value.toCollection().item(2).toNumber(), Decimal(2));

    // A line break ends a line comment but not a block comment.
    const auto lines = read(u"[1 // 2\n 3 /* 4 \n 5 */ 6]");
    ASSERT_EQ(lines.errors, u"");
    ASSERT_EQ(lines.value.toCollection().Count(), 3);
    EXPECT_EQ(lines.value.toCollection().item(2).toNumber(), Decimal(3));
    EXPECT_EQ(lines.value.toCollection().item(3).toNumber(), Decimal(6));
}

// Faults: nesting bound and message bounds

QString repeated(QStringView piece, int times) {
    QString s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

TEST(JsonReaderFaults, NestingUpTo512LevelsIsRead) {
    const auto r = read(repeated(u"[", 512) + repeated(u"]", 512));
    EXPECT_EQ(r.errors, u"");
    Value v = r.value;
    int depth = 0;
    while (v.isCollection()) {
        ++depth;
        const Collection c = v.toCollection();
        v = c.Count() > 0 ? c.item(1) : Value();
    }
    EXPECT_EQ(depth, 512);
}

TEST(JsonReaderFaults, DeeperNestingEndsTheParseWithOneMessage) {
    const auto arrays = read(repeated(u"[", 513) + repeated(u"]", 513));
    EXPECT_EQ(arrays.errors, u"Nesting too deep at position 513"_s + kCrLf);
    EXPECT_TRUE(arrays.value.isCollection());

    const auto objects = read(repeated(u"{\"a\":", 600) + u"1"_s + repeated(u"}", 600));
    EXPECT_EQ(objects.errors, u"Nesting too deep at position 2561"_s + kCrLf);
    EXPECT_TRUE(objects.value.isDictionary());

    // Far deeper than any stack would allow without the bound.
    const auto deep = read(repeated(u"[{'k':", 200000));
    EXPECT_EQ(deep.errors, u"Nesting too deep at position 1537"_s + kCrLf);
}

TEST(JsonReaderFaults, QuotedExcerptsAreCutAt200Characters) {
    const QString tail = repeated(u"x", 1000);
    const auto literal = read(u"[tru"_s + tail + u"]"_s);
    EXPECT_EQ(literal.errors, u"Invalid Boolean at position 2 : "_s + (u"tru"_s + tail).left(200) + kCrLf);

    const QString longKey = repeated(u"k", 1000);
    const auto duplicate = read(u"{\""_s + longKey + u"\": 1, \""_s + longKey + u"\": 2}"_s);
    EXPECT_EQ(duplicate.errors, errors::duplicateKey + u": "_s + longKey.left(200) + kCrLf);
}

TEST(JsonReaderFaults, ErrorTextStopsGrowingPastItsBound) {
    // Every "t" is a malformed true whose message would quote the rest of a 600 KB text.
    QString text = QStringLiteral("{");
    for (int i = 0; i < 60000; ++i) text += QStringLiteral("k%1:t ").arg(i);
    const auto r = read(text);
    EXPECT_TRUE(r.errors.startsWith(u"Invalid Boolean at position 5 : "_s + text.mid(4, 200) + kCrLf));
    EXPECT_GE(r.errors.size(), 64 * 1024);
    EXPECT_LE(r.errors.size(), 64 * 1024 + 400);
    EXPECT_TRUE(r.errors.endsWith(u"Too many faults, the rest are not listed"_s + kCrLf));
    EXPECT_EQ(r.value.toDictionary().Count(), 60001);  // the last "t" is a key too
}

}  // namespace
}  // namespace kelmora
