#include "json/value.h"

#include "json/runtime_error.h"

#include <QHash>

namespace kelmora {

// Collection

qsizetype Collection::Count() const { return items_->size(); }

const Value& Collection::item(qsizetype index) const {
    if (index < 1 || index > items_->size()) throw RuntimeError(errors::subscriptOutOfRange);
    return items_->at(index - 1);
}

void Collection::add(Value value) { items_->append(std::move(value)); }

QList<Value>::const_iterator Collection::begin() const { return items_->cbegin(); }
QList<Value>::const_iterator Collection::end() const { return items_->cend(); }

// Dictionary

struct Dictionary::Data {
    // Objects are small: a linear search is fastest until an index pays for itself.
    static constexpr qsizetype kIndexFrom = 16;

    QList<std::pair<QString, Value>> members;
    QHash<QString, qsizetype> index;
};

Dictionary::Dictionary() : data_(std::make_shared<Data>()) {}

qsizetype Dictionary::Count() const { return data_->members.size(); }

const std::pair<QString, Value>* Dictionary::find(const QString& key) const {
    const Data& d = *data_;
    if (d.members.size() >= Data::kIndexFrom) {
        const auto it = d.index.constFind(key);
        return it == d.index.cend() ? nullptr : &d.members.at(*it);
    }
    for (const auto& member : d.members) {
        if (member.first == key) return &member;
    }
    return nullptr;
}

bool Dictionary::exists(const QString& key) const { return find(key) != nullptr; }

Value Dictionary::item(const QString& key) const {
    const auto* member = find(key);
    return member ? member->second : Value();
}

void Dictionary::add(QString key, Value value) {
    if (exists(key)) throw RuntimeError(errors::duplicateKey);
    Data& d = *data_;
    d.members.emplace_back(std::move(key), std::move(value));
    if (d.members.size() == Data::kIndexFrom) {
        for (qsizetype i = 0; i < d.members.size(); ++i) d.index.insert(d.members.at(i).first, i);
    } else if (d.members.size() > Data::kIndexFrom) {
        d.index.insert(d.members.back().first, d.members.size() - 1);
    }
}

const QList<std::pair<QString, Value>>& Dictionary::members() const { return data_->members; }

// Value

namespace {

QChar decimalMarkOf(const QLocale& locale) {
    const QString mark = locale.decimalPoint();
    return mark.isEmpty() ? QChar(u'.') : mark.at(0);
}

std::optional<Decimal> numericText(const QString& text, const QLocale& locale) {
    return Decimal::parse(text, decimalMarkOf(locale));
}

}  // namespace

Value Value::null() {
    Value v;
    v.data_ = NullTag{};
    return v;
}

Value Value::operator[](const QString& key) const {
    if (const auto* d = std::get_if<Dictionary>(&data_)) return d->item(key);
    throw RuntimeError(errors::objectRequired);
}

Dictionary Value::toDictionary() const {
    if (const auto* d = std::get_if<Dictionary>(&data_)) return *d;
    throw RuntimeError(errors::typeMismatch);
}

Collection Value::toCollection() const {
    if (const auto* c = std::get_if<Collection>(&data_)) return *c;
    throw RuntimeError(errors::typeMismatch);
}

bool Value::toBoolean(const QLocale& locale) const {
    switch (kind()) {
    case Kind::Empty:
        return false;
    case Kind::Null:
        throw RuntimeError(errors::invalidUseOfNull);
    case Kind::Boolean:
        return std::get<bool>(data_);
    case Kind::Number:
        return !std::get<Decimal>(data_).isZero();
    case Kind::Text: {
        const QString& text = std::get<QString>(data_);
        if (text.compare(u"True", Qt::CaseInsensitive) == 0) return true;
        if (text.compare(u"False", Qt::CaseInsensitive) == 0) return false;
        if (const auto n = numericText(text, locale)) return !n->isZero();
        throw RuntimeError(errors::typeMismatch);
    }
    case Kind::Dictionary:
    case Kind::Collection:
        break;
    }
    throw RuntimeError(errors::typeMismatch);
}

QString Value::toText(const QLocale& locale) const {
    switch (kind()) {
    case Kind::Empty:
        return {};
    case Kind::Null:
        throw RuntimeError(errors::invalidUseOfNull);
    case Kind::Boolean:
        return std::get<bool>(data_) ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Number:
        return std::get<Decimal>(data_).toText(locale);
    case Kind::Text:
        return std::get<QString>(data_);
    case Kind::Dictionary:
    case Kind::Collection:
        break;
    }
    throw RuntimeError(errors::typeMismatch);
}

Decimal Value::toNumber(const QLocale& locale) const {
    switch (kind()) {
    case Kind::Empty:
        return {};
    case Kind::Null:
        throw RuntimeError(errors::invalidUseOfNull);
    case Kind::Boolean:
        return std::get<bool>(data_) ? Decimal(-1) : Decimal();
    case Kind::Number:
        return std::get<Decimal>(data_);
    case Kind::Text:
        if (const auto n = numericText(std::get<QString>(data_), locale)) return *n;
        throw RuntimeError(errors::typeMismatch);
    case Kind::Dictionary:
    case Kind::Collection:
        break;
    }
    throw RuntimeError(errors::typeMismatch);
}

bool Value::isNumeric(const QLocale& locale) const {
    switch (kind()) {
    case Kind::Empty:
    case Kind::Boolean:
    case Kind::Number:
        return true;
    case Kind::Text:
        try {
            return numericText(std::get<QString>(data_), locale).has_value();
        } catch (const RuntimeError&) {
            return true;  // a number, only too large for an amount
        }
    case Kind::Null:
    case Kind::Dictionary:
    case Kind::Collection:
        break;
    }
    return false;
}

bool Value::isEmptyText() const {
    switch (kind()) {
    case Kind::Empty:
        return true;
    case Kind::Text:
        return std::get<QString>(data_).isEmpty();
    case Kind::Null:
    case Kind::Boolean:
    case Kind::Number:
        return false;
    case Kind::Dictionary:
    case Kind::Collection:
        break;
    }
    throw RuntimeError(errors::typeMismatch);
}

bool Value::equals(QStringView text, const QLocale& locale) const {
    switch (kind()) {
    case Kind::Empty:
        return text.isEmpty();
    case Kind::Null:
        return false;
    case Kind::Text:
        return std::get<QString>(data_) == text;
    case Kind::Boolean:
    case Kind::Number: {
        const auto n = Decimal::parse(text, decimalMarkOf(locale));
        if (!n) throw RuntimeError(errors::typeMismatch);
        return toNumber(locale) == *n;
    }
    case Kind::Dictionary:
    case Kind::Collection:
        break;
    }
    throw RuntimeError(errors::typeMismatch);
}

std::optional<std::strong_ordering> Value::compare(const Decimal& number, const QLocale& locale) const {
    if (isNull()) return std::nullopt;
    return toNumber(locale) <=> number;
}

bool Value::greaterThan(const Decimal& number, const QLocale& locale) const {
    const auto order = compare(number, locale);
    return order && *order > 0;
}

}  // namespace kelmora
