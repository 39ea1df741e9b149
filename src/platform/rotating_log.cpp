#include "platform/rotating_log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace kelmora::platform {

QString logLine(const QDateTime& when, const QString& text) {
    // Every kind of line break a terminal or a viewer would honour, with the blanks around it.
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n\\x{0B}\\x{0C}\\x{85}\\x{2028}\\x{2029}]+\\s*"));
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")) +
           text.trimmed().replace(lineBreaks, QStringLiteral(" | "));
}

RotatingLogFile::RotatingLogFile(QString path, const Clock& clock, std::function<void(const QString&)> onProblem,
                                 qint64 maxBytes, int keep)
    : path_(std::move(path)), clock_(clock), onProblem_(std::move(onProblem)), maxBytes_(maxBytes),
      keep_(std::max(1, keep)) {}

void RotatingLogFile::append(const QString& text) {
    const QByteArray bytes = (logLine(clock_.now(), text) + u'\n').toUtf8();
    const qint64 size = QFileInfo(path_).size();
    // A file that stayed as it was could only grow past its bound: the line is dropped instead.
    if (size > 0 && size + bytes.size() > maxBytes_ && !rotate()) {
        fail(QStringLiteral("no se pudo renombrar a ") + QFileInfo(path_).fileName() + QStringLiteral(".1"));
        return;
    }
    QFile file(path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(bytes) != bytes.size() || !file.flush()) {
        fail(file.errorString());
        return;
    }
    failing_ = false;
}

bool RotatingLogFile::rotate() const {
    const auto numbered = [this](int n) { return path_ + u'.' + QString::number(n); };
    QFile::remove(numbered(keep_));
    for (int n = keep_ - 1; n >= 1; --n) {
        if (QFile::exists(numbered(n)) && !QFile::rename(numbered(n), numbered(n + 1))) return false;
    }
    return QFile::rename(path_, numbered(1));
}

void RotatingLogFile::fail(const QString& why) {
    if (failing_) return;
    failing_ = true;
    if (onProblem_) {
        onProblem_(QStringLiteral("No se puede escribir el registro %1 (%2); el servicio sigue sin él.")
                       .arg(QDir::toNativeSeparators(path_), why));
    }
}

}  // namespace kelmora::platform
