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
// the cashier's own system words them, in Spanish, so staff and support recognise them.
namespace errors {
inline const QString typeMismatch = QStringLiteral("No coinciden los tipos");
inline const QString invalidUseOfNull = QStringLiteral("Uso no válido de Null");
inline const QString overflow = QStringLiteral("Desbordamiento");
inline const QString divisionByZero = QStringLiteral("División por cero");
inline const QString subscriptOutOfRange = QStringLiteral("El subíndice está fuera del intervalo");
inline const QString objectRequired = QStringLiteral("Se requiere un objeto");
inline const QString duplicateKey =
    QStringLiteral("Esta clave ya está asociada a un elemento de esta colección");
inline const QString outOfMemory = QStringLiteral("Memoria insuficiente");
}  // namespace errors

}  // namespace kelmora
