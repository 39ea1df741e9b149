#pragma once

#include "platform/clock.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace kelmora::platform {

// The service's log file on a desktop, in the program folder.
inline const QString kLogFileName = QStringLiteral("kelmora.log");

// A log line as it is written: the time, then the text with its line breaks folded, so that each
// entry stays one line whatever a server's text brought.
QString logLine(const QDateTime& when, const QString& text);

// A log file that never grows past maxBytes: a line that would take it past is preceded by a
// rotation, NAME to NAME.1, NAME.1 to NAME.2 and so on up to NAME.<keep>, the oldest dropped.
// Each line is written and the file closed again, so nothing is lost when the service is killed.
//
// A file that cannot be written costs its lines, never the printing: `onProblem` is told once,
// and again only after a line has gone in since.
class RotatingLogFile {
public:
    static constexpr qint64 kDefaultMaxBytes = qint64{1024} * 1024;
    static constexpr int kDefaultKeep = 3;

    RotatingLogFile(QString path, const Clock& clock, std::function<void(const QString& problem)> onProblem = {},
                    qint64 maxBytes = kDefaultMaxBytes, int keep = kDefaultKeep);

    void append(const QString& text);

    const QString& path() const { return path_; }

private:
    // Moves the current file to NAME.1 and the older ones up; false if a move failed.
    bool rotate() const;
    void fail(const QString& why);

    QString path_;
    const Clock& clock_;
    std::function<void(const QString&)> onProblem_;
    qint64 maxBytes_;
    int keep_;
    bool failing_ = false;
};

}  // namespace kelmora::platform
