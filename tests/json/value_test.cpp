#include "json/runtime_error.h"
#include "json/value.h"
#include "qt_printers.h"

#include <gtest/gtest.h>

namespace kelmora {
namespace {

QString errorOf(auto&& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.description();
    }
    return {};
}

Decimal d(const char16_t* text) { return *Decimal::parse(QStringView(text)); }

const QLocale us(QStringLiteral("en_US"));
const QLocale co(QStringLiteral("es_CO"));

TEST(ValueConversions, ToBoolean) {
    EXPECT_TRUE(Value(true).toBoolean(us));
    EXPECT_FALSE(Value(false).toBoolean(us));
    EXPECT_TRUE(Value(d(u"0.01")).toBoolean(us));
    EXPECT_TRUE(Value(-2).toBoolean(us));
    EXPECT_FALSE(Value(0).toBoolean(us));
    EXPECT_FALSE(Value().toBoolean(us));
    EXPECT_TRUE(Value(u"true").toBoolean(us));
    EXPECT_FALSE(Value(u"False").toBoolean(us));
    EXPECT_TRUE(Value(u"1").toBoolean(us));
    EXPECT_EQ(errorOf([] { (void)Value::null().toBoolean(us); }), errors::invalidUseOfNull);
    EXPECT_EQ(errorOf([] { (void)Value(u"si").toBoolean(us); }), errors::typeMismatch);
    EXPECT_EQ(errorOf([] { (void)Value(Dictionary()).toBoolean(us); }), errors::typeMismatch);
}

TEST(ValueConversions, ToText) {
    EXPECT_EQ(Value(d(u"1.5")).toText(us), u"1.5");
    EXPECT_EQ(Value(d(u"1.5")).toText(co), u"1,5");
    EXPECT_EQ(Value(-3).toText(us), u"-3");
    EXPECT_EQ(Value(d(u"2.50")).toText(us), u"2.5");
    EXPECT_EQ(Value().toText(us), u"");
    EXPECT_EQ(Value(true).toText(us), u"True");
    EXPECT_EQ(Value(u"Mesa 4").toText(us), u"Mesa 4");
    EXPECT_EQ(errorOf([] { (void)Value::null().toText(us); }), errors::invalidUseOfNull);
    EXPECT_EQ(errorOf([] { (void)Value(Collection()).toText(us); }), errors::typeMismatch);
}

TEST(ValueConversions, ToNumber) {
    EXPECT_EQ(Value().toNumber(us), Decimal(0));
    EXPECT_EQ(Value(true).toNumber(us), Decimal(-1));
    EXPECT_EQ(Value(u"12.5").toNumber(us), d(u"12.5"));
    EXPECT_EQ(Value(u"12,5").toNumber(co), d(u"12.5"));
    EXPECT_TRUE(Value(u"12").isNumeric(us));
    EXPECT_FALSE(Value(u"doce").isNumeric(us));
    EXPECT_FALSE(Value::null().isNumeric(us));
    EXPECT_EQ(errorOf([] { (void)Value(u"doce").toNumber(us); }), errors::typeMismatch);
    EXPECT_EQ(errorOf([] { (void)Value::null().toNumber(us); }), errors::invalidUseOfNull);
}

TEST(ValueConversions, EmptyTextAndComparisons) {
    EXPECT_TRUE(Value().isEmptyText());
    EXPECT_TRUE(Value(QString()).isEmptyText());
    EXPECT_FALSE(Value(u" ").isEmptyText());
    EXPECT_FALSE(Value::null().isEmptyText());
    EXPECT_FALSE(Value(0).isEmptyText());
    EXPECT_EQ(errorOf([] { (void)Value(Dictionary()).isEmptyText(); }), errors::typeMismatch);

    EXPECT_TRUE(Value().equals(u"", us));
    EXPECT_FALSE(Value().equals(u"0", us));
    EXPECT_FALSE(Value::null().equals(u"", us));
    EXPECT_TRUE(Value(5).equals(u"5.0", us));
    EXPECT_TRUE(Value(true).equals(u"-1", us));
    EXPECT_FALSE(Value(u"Si").equals(u"SI", us));
    EXPECT_EQ(errorOf([] { (void)Value(5).equals(u"cinco", us); }), errors::typeMismatch);

    EXPECT_FALSE(Value::null().compare(Decimal(1), us).has_value());
    EXPECT_FALSE(Value::null().greaterThan(Decimal(-1), us));
    EXPECT_TRUE(Value(u"3").greaterThan(Decimal(2), us));
    EXPECT_FALSE(Value().greaterThan(Decimal(0), us));
}

TEST(ValueDictionary, LookupOrderAndUniqueKeys) {
    Dictionary dict;
    dict.add(QStringLiteral("b"), 2);
    dict.add(QStringLiteral("a"), 1);
    dict.add(QStringLiteral("A"), 3);  // keys compare exactly
    EXPECT_EQ(dict.Count(), 3);
    EXPECT_EQ(dict.members().at(0).first, u"b");
    EXPECT_EQ(dict.members().at(1).first, u"a");
    EXPECT_EQ(dict.item(QStringLiteral("A")).toNumber(us), Decimal(3));
    EXPECT_TRUE(dict.item(QStringLiteral("missing")).isEmpty());
    EXPECT_EQ(errorOf([&] { dict.add(QStringLiteral("a"), 9); }), errors::duplicateKey);
    EXPECT_EQ(dict.item(QStringLiteral("a")).toNumber(us), Decimal(1));

    const Value v(dict);
    EXPECT_TRUE(v[u"missing"].isEmpty());
    EXPECT_EQ(v[u"b"].toNumber(us), Decimal(2));
    EXPECT_EQ(errorOf([] { (void)Value(u"x")[u"a"]; }), errors::objectRequired);
    EXPECT_EQ(errorOf([] { (void)Value(1).toDictionary(); }), errors::typeMismatch);
}

TEST(ValueDictionary, LargeObjectsStillFindAndRejectKeys) {
    // From a certain size lookups go through an index: it must agree with the member list.
    Dictionary dict;
    for (int i = 0; i < 40; ++i) dict.add(QStringLiteral("k%1").arg(i), i);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(dict.item(QStringLiteral("k%1").arg(i)).toNumber(us), Decimal(i));
        EXPECT_EQ(errorOf([&] { dict.add(QStringLiteral("k%1").arg(i), 0); }), errors::duplicateKey);
    }
    EXPECT_FALSE(dict.exists(QStringLiteral("k40")));
    EXPECT_EQ(dict.Count(), 40);
}

TEST(ValueCollection, OneBasedAndShared) {
    Collection list;
    list.add(u"primero");
    list.add(2);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.item(1).toText(us), u"primero");
    EXPECT_EQ(list.item(2).toNumber(us), Decimal(2));
    EXPECT_EQ(errorOf([&] { (void)list.item(0); }), errors::subscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { (void)list.item(3); }), errors::subscriptOutOfRange);

    Collection copy = list;
    copy.add(Value::null());
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.sameAs(copy));
    EXPECT_EQ(errorOf([] { (void)Value(1).toCollection(); }), errors::typeMismatch);
}

}  // namespace
}  // namespace kelmora
