#include "json/decimal.h"

#include "json/runtime_error.h"

#include <QLocale>

#include <array>
#include <cmath>
#include <limits>

namespace kelmora {

namespace {

using Magnitude = Decimal::Magnitude;

constexpr Magnitude kMagnitudeLimit = Magnitude{1} << 96;

// A fixed-width unsigned integer wide enough for every intermediate result: the product of two
// 96-bit magnitudes, or a 96-bit magnitude times 10^56 for a division.
class Wide {
public:
    static constexpr int kLimbs = 12;

    Wide() = default;
    explicit Wide(Magnitude m) {
        for (int i = 0; i < 4; ++i) {
            limbs_[static_cast<size_t>(i)] = static_cast<std::uint32_t>(m >> (32 * i));
        }
    }

    bool isZero() const {
        for (auto limb : limbs_) {
            if (limb != 0) return false;
        }
        return true;
    }
    bool fitsMagnitude() const {
        for (size_t i = 3; i < limbs_.size(); ++i) {
            if (limbs_[i] != 0) return false;
        }
        return true;
    }
    Magnitude toMagnitude() const {
        Magnitude m = 0;
        for (int i = 3; i >= 0; --i) m = (m << 32) | limbs_[static_cast<size_t>(i)];
        return m;
    }
    bool isOdd() const { return (limbs_[0] & 1U) != 0; }

    void mulSmall(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (auto& limb : limbs_) {
            const std::uint64_t v = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
        if (carry != 0) throw RuntimeError(errors::overflow);
    }
    void mulPow10(int exponent) {
        for (; exponent >= 9; exponent -= 9) mulSmall(1000000000U);
        for (; exponent > 0; --exponent) mulSmall(10U);
    }
    void addSmall(std::uint32_t value) {
        std::uint64_t carry = value;
        for (auto& limb : limbs_) {
            if (carry == 0) return;
            const std::uint64_t v = std::uint64_t{limb} + carry;
            limb = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
        if (carry != 0) throw RuntimeError(errors::overflow);
    }
    // Divides in place and returns the remainder.
    std::uint32_t divSmall(std::uint32_t divisor) {
        std::uint64_t rest = 0;
        for (size_t i = limbs_.size(); i-- > 0;) {
            const std::uint64_t v = (rest << 32) | limbs_[i];
            limbs_[i] = static_cast<std::uint32_t>(v / divisor);
            rest = v % divisor;
        }
        return static_cast<std::uint32_t>(rest);
    }

    static Wide multiply(const Wide& a, const Wide& b) {
        Wide r;
        for (size_t i = 0; i < a.limbs_.size(); ++i) {
            if (a.limbs_[i] == 0) continue;
            std::uint64_t carry = 0;
            for (size_t j = 0; j < b.limbs_.size(); ++j) {
                const size_t k = i + j;
                const std::uint64_t v = std::uint64_t{a.limbs_[i]} * b.limbs_[j] + r.limbs_[std::min(k, r.limbs_.size() - 1)] + carry;
                if (k >= r.limbs_.size()) {
                    if (v != 0) throw RuntimeError(errors::overflow);
                    continue;
                }
                r.limbs_[k] = static_cast<std::uint32_t>(v);
                carry = v >> 32;
            }
            if (carry != 0) {
                if (i + b.limbs_.size() < r.limbs_.size()) {
                    r.limbs_[i + b.limbs_.size()] += static_cast<std::uint32_t>(carry);
                } else {
                    throw RuntimeError(errors::overflow);
                }
            }
        }
        return r;
    }

    friend std::strong_ordering operator<=>(const Wide& a, const Wide& b) {
        for (size_t i = a.limbs_.size(); i-- > 0;) {
            if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] <=> b.limbs_[i];
        }
        return std::strong_ordering::equal;
    }

    Wide& operator+=(const Wide& b) {
        std::uint64_t carry = 0;
        for (size_t i = 0; i < limbs_.size(); ++i) {
            const std::uint64_t v = std::uint64_t{limbs_[i]} + b.limbs_[i] + carry;
            limbs_[i] = static_cast<std::uint32_t>(v);
            carry = v >> 32;
        }
        if (carry != 0) throw RuntimeError(errors::overflow);
        return *this;
    }
    // Requires *this >= b.
    Wide& operator-=(const Wide& b) {
        std::int64_t borrow = 0;
        for (size_t i = 0; i < limbs_.size(); ++i) {
            std::int64_t v = std::int64_t{limbs_[i]} - b.limbs_[i] - borrow;
            borrow = v < 0 ? 1 : 0;
            if (v < 0) v += std::int64_t{1} << 32;
            limbs_[i] = static_cast<std::uint32_t>(v);
        }
        return *this;
    }

    // Long division by shift and subtract; slow but only divisions of amounts use it.
    static Wide divide(const Wide& numerator, const Wide& divisor, Wide& remainder) {
        Wide quotient;
        remainder = Wide();
        for (int bit = kLimbs * 32 - 1; bit >= 0; --bit) {
            remainder.shiftLeftOne();
            if (numerator.bitAt(bit)) remainder.limbs_[0] |= 1U;
            if (remainder >= divisor) {
                remainder -= divisor;
                quotient.limbs_[static_cast<size_t>(bit / 32)] |= 1U << (bit % 32);
            }
        }
        return quotient;
    }

private:
    bool bitAt(int bit) const { return ((limbs_[static_cast<size_t>(bit / 32)] >> (bit % 32)) & 1U) != 0; }
    void shiftLeftOne() {
        for (size_t i = limbs_.size(); i-- > 1;) limbs_[i] = (limbs_[i] << 1) | (limbs_[i - 1] >> 31);
        limbs_[0] <<= 1;
    }

    std::array<std::uint32_t, kLimbs> limbs_{};
};

enum class Rest { Zero, BelowHalf, Half, AboveHalf };

bool roundsUp(Rest rest, bool odd, bool negative, Decimal::Rounding rounding) {
    (void)negative;
    switch (rounding) {
    case Decimal::Rounding::TowardZero:
        return false;
    case Decimal::Rounding::HalfAwayFromZero:
        return rest == Rest::Half || rest == Rest::AboveHalf;
    case Decimal::Rounding::HalfEven:
        return rest == Rest::AboveHalf || (rest == Rest::Half && odd);
    }
    return false;
}

// Drops `digits` decimal digits from `value`, returning the kind of rest (combined with the
// already discarded `sticky` part) so that the caller can round once, without double rounding.
Rest dropDigits(Wide& value, int digits, bool sticky) {
    if (digits <= 0) return sticky ? Rest::BelowHalf : Rest::Zero;
    bool lowerNonZero = sticky;
    for (int i = 1; i < digits; ++i) {
        if (value.divSmall(10) != 0) lowerNonZero = true;
    }
    const std::uint32_t last = value.divSmall(10);
    if (last > 5) return Rest::AboveHalf;
    if (last == 5) return lowerNonZero ? Rest::AboveHalf : Rest::Half;
    if (last == 0 && !lowerNonZero) return Rest::Zero;
    return Rest::BelowHalf;
}

}  // namespace

struct DecimalOps {
    // Brings a wide magnitude at some scale into range (magnitude below 2^96, scale at most 28),
    // rounding half to even. `sticky` tells that a non-zero part below the last digit was already
    // discarded; `exactHalfRest` lets a division round its last digit by its remainder.
    static Decimal normalize(Wide magnitude, int scale, bool negative, Rest pendingRest = Rest::Zero,
                             Decimal::Rounding rounding = Decimal::Rounding::HalfEven) {
        int drop = std::max(0, scale - Decimal::kMaxScale);
        {
            Wide probe = magnitude;
            for (int i = 0; i < drop; ++i) probe.divSmall(10);
            while (!probe.fitsMagnitude() || probe.toMagnitude() >= kMagnitudeLimit) {
                probe.divSmall(10);
                ++drop;
            }
        }
        if (drop > scale) throw RuntimeError(errors::overflow);
        Rest rest = pendingRest;
        if (drop > 0) rest = dropDigits(magnitude, drop, pendingRest != Rest::Zero);
        if (roundsUp(rest, magnitude.isOdd(), negative, rounding)) magnitude.addSmall(1);
        scale -= drop;
        if (magnitude.toMagnitude() >= kMagnitudeLimit || !magnitude.fitsMagnitude()) {
            // Rounding carried into a new digit.
            if (scale == 0) throw RuntimeError(errors::overflow);
            magnitude.divSmall(10);
            --scale;
        }
        return Decimal(magnitude.toMagnitude(), scale, negative && !magnitude.isZero());
    }

    static Wide scaledTo(const Decimal& d, int scale) {
        Wide w(d.magnitude_);
        w.mulPow10(scale - d.scale_);
        return w;
    }

    static Decimal add(const Decimal& a, const Decimal& b, bool subtract) {
        const bool bNegative = subtract ? !b.negative_ : b.negative_;
        const int scale = std::max(a.scale_, b.scale_);
        Wide x = scaledTo(a, scale);
        Wide y = scaledTo(b, scale);
        if (a.negative_ == bNegative) {
            x += y;
            return normalize(x, scale, a.negative_);
        }
        if (x >= y) {
            x -= y;
            return normalize(x, scale, a.negative_);
        }
        y -= x;
        return normalize(y, scale, bNegative);
    }

    static std::optional<Decimal> read(QStringView text, QChar decimalMark, int maxScale, Decimal::Rounding rounding);
};

Decimal::Decimal(int value) : Decimal(static_cast<qint64>(value)) {}

Decimal::Decimal(qint64 value)
    : magnitude_(value < 0 ? Magnitude(-(value + 1)) + 1 : Magnitude(value)), negative_(value < 0) {}

Decimal Decimal::fromUnits(qint64 units, int scale) {
    Decimal d(units);
    d.scale_ = static_cast<std::uint8_t>(std::clamp(scale, 0, kMaxScale));
    return d;
}

Decimal Decimal::operator-() const { return Decimal(magnitude_, scale_, !negative_ && magnitude_ != 0); }

Decimal operator+(const Decimal& a, const Decimal& b) { return DecimalOps::add(a, b, false); }
Decimal operator-(const Decimal& a, const Decimal& b) { return DecimalOps::add(a, b, true); }

Decimal operator*(const Decimal& a, const Decimal& b) {
    const Wide product = Wide::multiply(Wide(a.magnitude_), Wide(b.magnitude_));
    return DecimalOps::normalize(product, a.scale_ + b.scale_, a.negative_ != b.negative_);
}

Decimal operator/(const Decimal& a, const Decimal& b) {
    if (b.isZero()) throw RuntimeError(errors::divisionByZero);
    // a / b = (ma * 10^e / mb) * 10^-28 with e = 28 - sa + sb, which is never negative.
    const int exponent = Decimal::kMaxScale - a.scale_ + b.scale_;
    Wide numerator(a.magnitude_);
    numerator.mulPow10(exponent);
    const Wide divisor(b.magnitude_);
    Wide remainder;
    const Wide quotient = Wide::divide(numerator, divisor, remainder);
    Rest rest = Rest::Zero;
    if (!remainder.isZero()) {
        Wide twice = remainder;
        twice += remainder;
        const auto order = twice <=> divisor;
        rest = order < 0 ? Rest::BelowHalf : (order == 0 ? Rest::Half : Rest::AboveHalf);
    }
    Decimal result = DecimalOps::normalize(quotient, Decimal::kMaxScale, a.negative_ != b.negative_, rest);
    // Keep the scale no larger than needed, so results print and compare plainly.
    while (result.scale_ > 0 && result.magnitude_ % 10 == 0) {
        result.magnitude_ /= 10;
        --result.scale_;
    }
    return result;
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
    const bool aNegative = a.isNegative();
    const bool bNegative = b.isNegative();
    if (aNegative != bNegative) return aNegative ? std::strong_ordering::less : std::strong_ordering::greater;
    const int scale = std::max(a.scale_, b.scale_);
    const auto order = DecimalOps::scaledTo(a, scale) <=> DecimalOps::scaledTo(b, scale);
    if (order == 0) return std::strong_ordering::equal;
    return aNegative ? (0 <=> order) : order;
}

Decimal Decimal::abs() const { return Decimal(magnitude_, scale_, false); }

bool Decimal::isInteger() const {
    Magnitude m = magnitude_;
    for (int i = 0; i < scale_; ++i) {
        if (m % 10 != 0) return false;
        m /= 10;
    }
    return true;
}

Decimal Decimal::rounded(int decimals, Rounding rounding) const {
    if (decimals >= scale_) return *this;
    Wide m(magnitude_);
    const Rest rest = dropDigits(m, scale_ - std::max(decimals, 0), false);
    if (roundsUp(rest, m.isOdd(), negative_, rounding)) m.addSmall(1);
    return Decimal(m.toMagnitude(), std::max(decimals, 0), negative_ && !m.isZero());
}

qint16 Decimal::toInt16() const {
    const qint32 v = toInt32();
    if (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max()) {
        throw RuntimeError(errors::overflow);
    }
    return static_cast<qint16>(v);
}

qint32 Decimal::toInt32() const {
    const Decimal whole = rounded(0, Rounding::HalfEven);
    const Magnitude limit = whole.negative_ ? Magnitude{1} << 31 : (Magnitude{1} << 31) - 1;
    if (whole.magnitude_ > limit) throw RuntimeError(errors::overflow);
    const auto m = static_cast<qint64>(whole.magnitude_);
    return static_cast<qint32>(whole.negative_ ? -m : m);
}

double Decimal::toDouble() const { return toString().toDouble(); }

QString Decimal::toString(QChar decimalMark) const {
    QString digits;
    Magnitude m = magnitude_;
    do {
        digits.prepend(QChar(u'0' + static_cast<char16_t>(m % 10)));
        m /= 10;
    } while (m != 0);
    int scale = scale_;
    while (digits.size() <= scale) digits.prepend(u'0');
    // Trailing zeros of the fraction carry no information.
    while (scale > 0 && digits.endsWith(u'0')) {
        digits.chop(1);
        --scale;
    }
    if (scale > 0) digits.insert(digits.size() - scale, decimalMark);
    if (isNegative()) digits.prepend(u'-');
    return digits;
}

QString Decimal::toText(const QLocale& locale) const {
    QString text = toString(locale.decimalPoint().isEmpty() ? QChar(u'.') : locale.decimalPoint().at(0));
    if (isNegative()) text.replace(0, 1, locale.negativeSign());
    return text;
}

QString Decimal::toAmountText(const QLocale& locale) const {
    const Decimal whole = rounded(0, Rounding::HalfAwayFromZero);
    if (whole.magnitude_ <= Magnitude(std::numeric_limits<qint64>::max())) {
        const auto m = static_cast<qint64>(whole.magnitude_);
        return locale.toString(whole.isNegative() ? -m : m);
    }
    // Beyond 64 bits: group by threes by hand.
    QString digits = whole.abs().toString();
    if (!locale.numberOptions().testFlag(QLocale::OmitGroupSeparator)) {
        for (qsizetype i = digits.size() - 3; i > 0; i -= 3) digits.insert(i, locale.groupSeparator());
    }
    return whole.isNegative() ? locale.negativeSign() + digits : digits;
}

std::optional<Decimal> DecimalOps::read(QStringView text, QChar decimalMark, int maxScale,
                                        Decimal::Rounding rounding) {
    text = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    QString digits;  // significant digits, value = digits x 10^exponent
    long long exponent = 0;
    bool sawDigit = false;
    bool sawMark = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= u'0' && c <= u'9') {
            sawDigit = true;
            if (!digits.isEmpty() || c != u'0') digits.append(c);
            if (sawMark) --exponent;
        } else if (c == decimalMark && !sawMark) {
            sawMark = true;
        } else {
            break;
        }
    }
    if (!sawDigit) return std::nullopt;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) expNegative = text[i++] == u'-';
        bool sawExpDigit = false;
        long long e = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            sawExpDigit = true;
            if (e < 1000000) e = e * 10 + (text[i].unicode() - u'0');
        }
        if (!sawExpDigit) return std::nullopt;
        exponent += expNegative ? -e : e;
    }
    if (i != text.size()) return std::nullopt;
    if (digits.isEmpty()) return Decimal();

    // Integer digits beyond 29 can never fit 96 bits.
    if (static_cast<long long>(digits.size()) + exponent > 29) throw RuntimeError(errors::overflow);
    // Digits below the kept scale are cut or rounded here, once.
    Rest rest = Rest::Zero;
    if (-exponent > maxScale) {
        const long long cut = -exponent - maxScale;
        // The dropped digits are only looked at, never built: with a large negative exponent
        // they are mostly implied leading zeros.
        QChar first(u'0');
        bool lowerNonZero = false;
        if (cut > digits.size()) {
            lowerNonZero = true;  // digits never start with 0, so some dropped digit is not 0
            digits.clear();
        } else {
            const QStringView dropped = QStringView(digits).right(static_cast<qsizetype>(cut));
            first = dropped.at(0);
            for (qsizetype k = 1; k < dropped.size(); ++k) lowerNonZero = lowerNonZero || dropped.at(k) != u'0';
            digits.chop(static_cast<qsizetype>(cut));
        }
        exponent = -maxScale;
        if (first > u'5' || (first == u'5' && lowerNonZero)) rest = Rest::AboveHalf;
        else if (first == u'5') rest = Rest::Half;
        else if (first != u'0' || lowerNonZero) rest = Rest::BelowHalf;
    }
    Wide m;
    for (const QChar c : std::as_const(digits)) {
        m.mulSmall(10);
        m.addSmall(c.unicode() - u'0');
    }
    if (exponent > 0) m.mulPow10(static_cast<int>(exponent));
    // The rounding reaches normalize too: a truncating read must not round up the digits that a
    // full 96-bit magnitude cannot hold.
    return normalize(m, static_cast<int>(std::max<long long>(0, -exponent)), negative, rest, rounding);
}

std::optional<Decimal> Decimal::parse(QStringView text, QChar decimalMark) {
    return DecimalOps::read(text, decimalMark, kMaxScale, Rounding::HalfEven);
}

std::optional<Decimal> Decimal::parseTruncated(QStringView text, int decimals, QChar decimalMark) {
    return DecimalOps::read(text, decimalMark, std::clamp(decimals, 0, kMaxScale), Rounding::TowardZero);
}

}  // namespace kelmora
