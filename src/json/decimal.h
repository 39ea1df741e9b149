#pragma once

#include <QString>

#include <compare>
#include <cstdint>
#include <optional>

class QLocale;

namespace kelmora {

// An exact decimal number: a 96-bit magnitude, a power-of-ten scale from 0 to 28 and a sign.
// Amounts are computed with it, never with binary floating point. Results that need more than 96
// bits of magnitude lose fraction digits (rounded half to even); results whose integer part does
// not fit raise RuntimeError "Overflow".
class Decimal {
public:
    __extension__ using Magnitude = unsigned __int128;

    static constexpr int kMaxScale = 28;

    constexpr Decimal() = default;
    Decimal(int value);     // NOLINT(google-explicit-constructor): amounts mix freely with ints
    Decimal(qint64 value);  // NOLINT(google-explicit-constructor)

    // Numeric text: blanks around it, a sign, digits with at most one decimal mark, and an
    // optional exponent (e or E, a sign, digits). Nothing else, no group separators.
    // Returns nullopt when the text is not a number; throws Overflow when it is one too large.
    // Fraction digits beyond 28 are rounded half to even.
    static std::optional<Decimal> parse(QStringView text, QChar decimalMark = u'.');
    // The same reading, but fraction digits beyond `decimals` are cut (towards zero), never rounded.
    static std::optional<Decimal> parseTruncated(QStringView text, int decimals, QChar decimalMark = u'.');
    // `units` of 10^-scale, at that scale: fromUnits(1250, 2) is 12.50. The scale is held to 0..28.
    static Decimal fromUnits(qint64 units, int scale);

    Decimal operator-() const;
    friend Decimal operator+(const Decimal& a, const Decimal& b);
    friend Decimal operator-(const Decimal& a, const Decimal& b);
    friend Decimal operator*(const Decimal& a, const Decimal& b);
    friend Decimal operator/(const Decimal& a, const Decimal& b);  // Division by zero on 0
    Decimal& operator+=(const Decimal& b) { return *this = *this + b; }
    Decimal& operator-=(const Decimal& b) { return *this = *this - b; }

    friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b);
    friend bool operator==(const Decimal& a, const Decimal& b) { return (a <=> b) == 0; }

    Decimal abs() const;
    bool isZero() const { return magnitude_ == 0; }
    bool isNegative() const { return negative_ && magnitude_ != 0; }
    bool isInteger() const;
    int scale() const { return scale_; }

    enum class Rounding { HalfEven, HalfAwayFromZero, TowardZero };
    Decimal rounded(int decimals, Rounding rounding) const;

    // The value as a 16-bit integer, rounded half to even; Overflow outside -32768..32767.
    qint16 toInt16() const;
    // The value as a 32-bit integer, rounded half to even; Overflow outside its range.
    qint32 toInt32() const;
    double toDouble() const;

    // Plain text: a minus sign when negative, the digits, and the fraction without trailing zeros
    // after `decimalMark`. No grouping.
    QString toString(QChar decimalMark = u'.') const;
    // Plain text in the locale's decimal mark and minus sign, no grouping.
    QString toText(const QLocale& locale) const;
    // An amount text: no decimal places (halves away from zero), the locale's digit grouping and
    // negative style.
    QString toAmountText(const QLocale& locale) const;

private:
    Decimal(Magnitude magnitude, int scale, bool negative)
        : magnitude_(magnitude), scale_(static_cast<std::uint8_t>(scale)), negative_(negative) {}
    friend struct DecimalOps;

    Magnitude magnitude_ = 0;  // always below 2^96
    std::uint8_t scale_ = 0;
    bool negative_ = false;
};

}  // namespace kelmora
