#pragma once

#include "json/decimal.h"

#include <QList>
#include <QLocale>
#include <QString>

#include <memory>
#include <utility>
#include <variant>

namespace kelmora {

class Value;

// A JSON array: a 1-based list. Copies share one list, as the print logic passes lists around.
class Collection {
public:
    Collection() : items_(std::make_shared<QList<Value>>()) {}

    qsizetype Count() const;
    // 1-based; Subscript out of range outside 1..Count().
    const Value& item(qsizetype index) const;
    void add(Value value);

    QList<Value>::const_iterator begin() const;
    QList<Value>::const_iterator end() const;

    bool sameAs(const Collection& other) const { return items_ == other.items_; }

private:
    std::shared_ptr<QList<Value>> items_;
};

// A JSON object: text keys compared exactly, insertion order kept, unique keys. Copies share one
// object. Looking up a key it lacks yields Empty.
class Dictionary {
public:
    Dictionary();

    qsizetype Count() const;
    bool exists(const QString& key) const;
    Value item(const QString& key) const;
    // Adds a member; a key that is already there raises the duplicate-key error.
    void add(QString key, Value value);

    const QList<std::pair<QString, Value>>& members() const;

    bool sameAs(const Dictionary& other) const { return data_ == other.data_; }

private:
    struct Data;
    const std::pair<QString, Value>* find(const QString& key) const;
    std::shared_ptr<Data> data_;
};

// One JSON value: Empty (no value at all), Null, a Boolean, an exact number, text, a Dictionary or
// a Collection. The conversions below follow the rules of the variants the print logic was written
// for: they raise RuntimeError with a description where a value cannot serve.
class Value {
public:
    enum class Kind { Empty, Null, Boolean, Number, Text, Dictionary, Collection };

    Value() = default;
    static Value null();
    Value(bool b) : data_(b) {}                             // NOLINT(google-explicit-constructor)
    Value(Decimal n) : data_(n) {}                          // NOLINT(google-explicit-constructor)
    Value(int n) : data_(Decimal(n)) {}                     // NOLINT(google-explicit-constructor)
    Value(QString s) : data_(std::move(s)) {}               // NOLINT(google-explicit-constructor)
    Value(const char16_t* s) : data_(QString::fromUtf16(s)) {}  // NOLINT(google-explicit-constructor)
    Value(Dictionary d) : data_(std::move(d)) {}            // NOLINT(google-explicit-constructor)
    Value(Collection c) : data_(std::move(c)) {}            // NOLINT(google-explicit-constructor)

    Kind kind() const { return static_cast<Kind>(data_.index()); }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }
    bool isText() const { return kind() == Kind::Text; }
    bool isNumber() const { return kind() == Kind::Number; }
    bool isDictionary() const { return kind() == Kind::Dictionary; }
    bool isCollection() const { return kind() == Kind::Collection; }

    // The member under `key` of a Dictionary (Empty when it lacks the key); Object required for any
    // other value.
    Value operator[](const QString& key) const;
    Value operator[](const char16_t* key) const { return (*this)[QString::fromUtf16(key)]; }

    // The Dictionary or Collection itself; Type mismatch for any other value.
    Dictionary toDictionary() const;
    Collection toCollection() const;

    // True, or a non-zero number, or a text of either; Empty is false, Null and others fail.
    bool toBoolean(const QLocale& locale = QLocale()) const;
    // Text as it is, a number as its plain decimal text, Empty as empty text, a Boolean as True or
    // False; Null and containers fail.
    QString toText(const QLocale& locale = QLocale()) const;
    // A number, numeric text, Empty as 0, a Boolean as -1 or 0; Null and other text fail.
    Decimal toNumber(const QLocale& locale = QLocale()) const;
    // Numbers, Empty, Booleans and numeric text.
    bool isNumeric(const QLocale& locale = QLocale()) const;

    // Empty, or text with no characters.
    bool isEmptyText() const;
    // The value compared with a text: Null is never equal; Empty equals the empty text; a number
    // or Boolean is compared as a number with numeric text and fails with any other text.
    bool equals(QStringView text, const QLocale& locale = QLocale()) const;
    // The value compared with a number: nullopt when Null takes part (such a comparison is never
    // true); a value that is not numeric fails.
    std::optional<std::strong_ordering> compare(const Decimal& number, const QLocale& locale = QLocale()) const;
    bool greaterThan(const Decimal& number, const QLocale& locale = QLocale()) const;

    // Access to the stored alternatives, for the reader's tests and the tree comparisons.
    const QString* textIf() const { return std::get_if<QString>(&data_); }
    const Decimal* numberIf() const { return std::get_if<Decimal>(&data_); }
    const bool* booleanIf() const { return std::get_if<bool>(&data_); }

private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    std::variant<std::monostate, NullTag, bool, Decimal, QString, Dictionary, Collection> data_;
};

}  // namespace kelmora
