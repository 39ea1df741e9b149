#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace kelmora {

// The one exception type of the print logic. It carries a description, which is what the places
// that catch it show to the user (a balloon, a console line, a JSON reader message).
class RuntimeError : public std::exception {
public:
    explicit RuntimeError(QString description)
        : description_(std::move(description)), what_(description_.toUtf8()) {}

    const QString& description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.constData(); }

private:
    QString description_;
    QByteArray what_;
};

// The descriptions of the run-time errors raised by value conversions and arithmetic, worded as
// the errors of the platform the print logic was first written for, so support staff recognise them.
namespace errors {
inline const QString typeMismatch = QStringLiteral("Type mismatch");
inline const QString invalidUseOfNull = QStringLiteral("Invalid use of Null");
inline const QString overflow = QStringLiteral("Overflow");
inline const QString divisionByZero = QStringLiteral("Division by zero");
inline const QString subscriptOutOfRange = QStringLiteral("Subscript out of range");
inline const QString objectRequired = QStringLiteral("Object required");
inline const QString duplicateKey =
    QStringLiteral("This key is already associated with an element of this collection");
inline const QString outOfMemory = QStringLiteral("Out of memory");
}  // namespace errors

}  // namespace kelmora
