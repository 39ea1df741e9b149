#include "json/decimal.h"
#include "json/runtime_error.h"
#include "qt_printers.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <limits>

namespace kelmora {
namespace {

Decimal d(const char16_t* text) {
    const auto value = Decimal::parse(QStringView(text));
    if (!value) throw std::invalid_argument("not a number in the test");
    return *value;
}

QString errorOf(auto&& action) {
    try {
        action();
    } catch (const RuntimeError& e) {
        return e.description();
    }
    return {};
}

TEST(DecimalArithmetic, SumsAndDifferencesAreExact) {
    EXPECT_EQ(d(u"0.1") + d(u"0.2"), d(u"0.3"));
    EXPECT_EQ((d(u"1.25") - d(u"3.5")).toString(), u"-2.25");
    EXPECT_EQ((d(u"100") - d(u"0.01")).toString(), u"99.99");
    EXPECT_EQ((d(u"-5") + Decimal(5)).toString(), u"0");
    EXPECT_FALSE((d(u"-5") + Decimal(5)).isNegative());
}

TEST(DecimalArithmetic, ProductsAndQuotients) {
    EXPECT_EQ((d(u"12.5") * d(u"0.08")).toString(), u"1");
    EXPECT_EQ((d(u"-1.5") * d(u"1.5")).toString(), u"-2.25");
    EXPECT_EQ((Decimal(10) / Decimal(4)).toString(), u"2.5");
    EXPECT_EQ((Decimal(1) / Decimal(3)).toString(), u"0.3333333333333333333333333333");
    // The 28th digit is rounded, not cut.
    EXPECT_EQ((Decimal(2) / Decimal(3)).toString(), u"0.6666666666666666666666666667");
    EXPECT_EQ((Decimal(-7) / d(u"0.5")).toString(), u"-14");
    EXPECT_EQ(errorOf([] { (void)(Decimal(1) / Decimal(0)); }), errors::divisionByZero);
}

TEST(DecimalArithmetic, ComparisonIgnoresScaleAndSignOfZero) {
    EXPECT_EQ(d(u"1.50"), d(u"1.5"));
    EXPECT_EQ(d(u"-0"), Decimal(0));
    EXPECT_LT(d(u"-1"), d(u"0.5"));
    EXPECT_LT(d(u"-2.5"), d(u"-2.25"));
    EXPECT_GT(d(u"10"), d(u"9.99"));
    EXPECT_TRUE(d(u"3.00").isInteger());
    EXPECT_FALSE(d(u"3.01").isInteger());
    EXPECT_DOUBLE_EQ(d(u"-1.25").toDouble(), -1.25);
}

TEST(DecimalRounding, HalfEvenHalfAwayAndTowardZero) {
    using R = Decimal::Rounding;
    EXPECT_EQ(d(u"2.5").rounded(0, R::HalfEven), Decimal(2));
    EXPECT_EQ(d(u"3.5").rounded(0, R::HalfEven), Decimal(4));
    EXPECT_EQ(d(u"-2.5").rounded(0, R::HalfEven), Decimal(-2));
    EXPECT_EQ(d(u"2.5").rounded(0, R::HalfAwayFromZero), Decimal(3));
    EXPECT_EQ(d(u"-2.5").rounded(0, R::HalfAwayFromZero), Decimal(-3));
    EXPECT_EQ(d(u"2.99").rounded(0, R::TowardZero), Decimal(2));
    EXPECT_EQ(d(u"-2.99").rounded(0, R::TowardZero), Decimal(-2));
    EXPECT_EQ(d(u"1.005").rounded(2, R::HalfEven), d(u"1"));
    EXPECT_EQ(d(u"1.015").rounded(2, R::HalfEven), d(u"1.02"));
    EXPECT_EQ(d(u"1.0051").rounded(2, R::HalfEven), d(u"1.01"));
    EXPECT_EQ(d(u"1.25").rounded(4, R::HalfEven), d(u"1.25"));
}

TEST(DecimalRounding, IntegerConversionsRoundHalfEvenAndCheckRange) {
    EXPECT_EQ(d(u"2.5").toInt16(), 2);
    EXPECT_EQ(d(u"32767.4").toInt16(), 32767);
    EXPECT_EQ(d(u"-32768.5").toInt16(), -32768);
    EXPECT_EQ(errorOf([] { (void)d(u"32767.5").toInt16(); }), errors::overflow);
    EXPECT_EQ(errorOf([] { (void)d(u"-32769").toInt16(); }), errors::overflow);
    EXPECT_EQ(d(u"-2147483648").toInt32(), -2147483647 - 1);
    EXPECT_EQ(errorOf([] { (void)d(u"2147483648").toInt32(); }), errors::overflow);
}

TEST(DecimalRange, ResultsBeyondNinetySixBitsOverflow) {
    const Decimal max = d(u"79228162514264337593543950335");
    EXPECT_EQ(max.toString(), u"79228162514264337593543950335");
    EXPECT_EQ(errorOf([&] { (void)(max + Decimal(1)); }), errors::overflow);
    EXPECT_EQ(errorOf([&] { (void)(-max - Decimal(1)); }), errors::overflow);
    EXPECT_EQ(errorOf([&] { (void)(max * Decimal(2)); }), errors::overflow);
    EXPECT_EQ(errorOf([] { (void)Decimal::parse(u"79228162514264337593543950336"); }), errors::overflow);
    EXPECT_EQ(errorOf([] { (void)Decimal::parse(u"1e29"); }), errors::overflow);
    EXPECT_EQ(errorOf([] { (void)Decimal::parse(u"1e999999999"); }), errors::overflow);
}

TEST(DecimalRange, WideResultsLoseFractionDigitsNotIntegerDigits) {
    const Decimal max = d(u"79228162514264337593543950335");
    // 39614081257132168796771975167.5 needs 30 digits: the half goes to the even neighbour.
    EXPECT_EQ((max * d(u"0.5")).toString(), u"39614081257132168796771975168");
    // ...166.5: a discarded five after an even digit goes down, as half-even rounding wants.
    EXPECT_EQ(((max - Decimal(2)) * d(u"0.5")).toString(), u"39614081257132168796771975166");
    EXPECT_EQ(((Decimal(2) - max) * d(u"0.5")).toString(), u"-39614081257132168796771975166");
    EXPECT_EQ((d(u"0.1") * d(u"0.0000000000000000000000000001")).toString(), u"0");
    EXPECT_EQ(d(u"1.00000000000000000000000000009").toString(), u"1.0000000000000000000000000001");
}

TEST(DecimalParsing, AcceptedForms) {
    EXPECT_EQ(d(u" -12.50 ").toString(), u"-12.5");
    EXPECT_EQ(d(u"+3"), Decimal(3));
    EXPECT_EQ(d(u"1.5e3"), Decimal(1500));
    EXPECT_EQ(d(u"15e-1"), d(u"1.5"));
    EXPECT_EQ(d(u"1E+2"), Decimal(100));
    EXPECT_EQ(d(u".5").toString(), u"0.5");
    EXPECT_EQ(d(u"5."), Decimal(5));
    EXPECT_EQ(d(u"0e999999999"), Decimal(0));
    EXPECT_EQ(Decimal::parse(u"1,5", u','), d(u"1.5"));
}

TEST(DecimalParsing, RejectedForms) {
    for (const char16_t* text : {u"", u" ", u".", u"-", u"+-1", u"1-2", u"1e", u"1e+", u"1.2.3", u"abc",
                                 u"1 000", u"0x10", u"1,5", u"True", u"12a"}) {
        EXPECT_FALSE(Decimal::parse(QStringView(text)).has_value()) << QString::fromUtf16(text).toStdString();
    }
    EXPECT_FALSE(Decimal::parse(u"1.5", u',').has_value());
}

TEST(DecimalParsing, DigitsBeyondTheScaleRoundHalfEven) {
    EXPECT_EQ(d(u"0.00000000000000000000000000005"), Decimal(0));
    EXPECT_EQ(d(u"0.00000000000000000000000000015").toString(), u"0.0000000000000000000000000002");
    EXPECT_EQ(d(u"0.000000000000000000000000000051").toString(), u"0.0000000000000000000000000001");
    EXPECT_EQ(d(u"5e-30"), Decimal(0));
    EXPECT_EQ(d(u"9e-29").toString(), u"0.0000000000000000000000000001");
    EXPECT_EQ(d(u"1e-999999999"), Decimal(0));
}

TEST(DecimalParsing, TruncatedReadingCutsTowardZero) {
    const auto cut = [](const char16_t* text) { return Decimal::parseTruncated(QStringView(text), 2); };
    EXPECT_EQ(cut(u"12.999"), d(u"12.99"));
    EXPECT_EQ(cut(u"-12.999"), d(u"-12.99"));
    EXPECT_EQ(cut(u"0.199"), d(u"0.19"));
    EXPECT_EQ(cut(u"1.5e3"), Decimal(1500));
    EXPECT_EQ(cut(u"15e-1"), d(u"1.5"));
    EXPECT_EQ(cut(u"1.2345e2"), d(u"123.45"));
    EXPECT_TRUE(cut(u"-0.5")->isNegative());
    EXPECT_EQ(cut(u"0.009"), Decimal(0));
    EXPECT_EQ(Decimal::parseTruncated(u"7.999", 0), Decimal(7));
    // A truncating read never rounds up, not even where the 96-bit magnitude forces a cut.
    EXPECT_EQ(cut(u"7922816251426433759354395033.59"), d(u"7922816251426433759354395033.5"));
    EXPECT_FALSE(cut(u"1-2").has_value());
}

TEST(DecimalParsing, UnitsAtAScale) {
    EXPECT_EQ(Decimal::fromUnits(1250, 2), d(u"12.5"));
    EXPECT_EQ(Decimal::fromUnits(1250, 2).scale(), 2);
    EXPECT_EQ(Decimal::fromUnits(-5, 1).toString(), u"-0.5");
    EXPECT_FALSE(Decimal::fromUnits(0, 2).isNegative());
    EXPECT_EQ(Decimal::fromUnits(std::numeric_limits<qint64>::min(), 0).toString(), u"-9223372036854775808");
}

TEST(DecimalText, PlainTextAndLocaleText) {
    EXPECT_EQ(d(u"-0.50").toString(), u"-0.5");
    EXPECT_EQ(d(u"100").toString(), u"100");
    EXPECT_EQ(d(u"0.001").toString(), u"0.001");
    EXPECT_EQ(d(u"1.5").toString(u','), u"1,5");
    EXPECT_EQ(d(u"-1234.5").toText(QLocale(QStringLiteral("es_CO"))), u"-1234,5");
    EXPECT_EQ(d(u"-1234.5").toText(QLocale(QStringLiteral("en_US"))), u"-1234.5");
}

TEST(DecimalText, AmountTextHasNoDecimalsAndLocaleGrouping) {
    const QLocale us(QStringLiteral("en_US"));
    const QLocale co(QStringLiteral("es_CO"));
    EXPECT_EQ(Decimal(-3000).toAmountText(us), u"-3,000");
    EXPECT_EQ(Decimal(1234567).toAmountText(co), u"1.234.567");
    EXPECT_EQ(Decimal(999).toAmountText(co), u"999");
    EXPECT_EQ(d(u"2.5").toAmountText(us), u"3");
    EXPECT_EQ(d(u"-2.5").toAmountText(us), u"-3");
    EXPECT_EQ(d(u"999.5").toAmountText(us), u"1,000");
    EXPECT_EQ(d(u"12345678901234567890123").toAmountText(us), u"12,345,678,901,234,567,890,123");
    EXPECT_EQ(d(u"-12345678901234567890123").toAmountText(co), u"-12.345.678.901.234.567.890.123");
}

}  // namespace
}  // namespace kelmora
