// What every command says of its command line, in Spanish: Qt's parser writes its help headings
// and its errors in English, and names no program when asked before the application exists.
#include "commands.h"

#include <QRegularExpression>

namespace kelmora::app {

QString spanishHelp(const QCommandLineParser& parser, const QString& command) {
    QString text = parser.helpText();
    static const QRegularExpression usage(QStringLiteral("^Usage: \\S+"));
    text.replace(usage, QStringLiteral("Uso: ") + command);
    text.replace(QStringLiteral("[options]"), QStringLiteral("[opciones]"));
    text.replace(QStringLiteral("\nOptions:\n"), QStringLiteral("\nOpciones:\n"));
    text.replace(QStringLiteral("\nArguments:\n"), QStringLiteral("\nArgumentos:\n"));
    return text;
}

QString spanishError(const QCommandLineParser& parser) {
    const QString english = parser.errorText();
    const struct {
        const char* pattern;
        const char* spanish;
    } known[] = {
        {"^Unknown options?:? '?([^']*?)'?\\.?$", "opción desconocida: %1"},
        {"^Missing value after '([^']*)'\\.$", "falta el valor de %1"},
        {"^Unexpected value after '([^']*)'\\.$", "%1 no lleva valor"},
    };
    for (const auto& [pattern, spanish] : known) {
        const QRegularExpressionMatch match = QRegularExpression(QString::fromLatin1(pattern)).match(english);
        if (match.hasMatch()) return QString::fromUtf8(spanish).arg(match.captured(1));
    }
    return english;
}

}  // namespace kelmora::app
