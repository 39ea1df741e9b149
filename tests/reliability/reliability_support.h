#pragma once

// What the reliability tests share: the real `kelmora --headless` on a daemon of the test's own
// (own_cups.h), its output kept in files, the journal as `kelmora trabajos` lists it, and the
// tally of every document the server handed out against what reached paper.
#include "app/e2e_support.h"
#include "own_cups.h"
#include "support/fake_central_server.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <map>
#include <set>

namespace kelmora::testing {

inline const QString kBranchCode = QStringLiteral("A12345678901234");

// n kitchen tickets for `area`, their tables "Mesa MARK-0" to "Mesa MARK-<n-1>".
inline QByteArray ticketsAnswer(const QString& area, const QString& mark, int n) {
    QByteArrayList list;
    list.reserve(n);
    for (int i = 0; i < n; ++i) list.append(kitchenTicket(area, QStringLiteral("%1-%2").arg(mark).arg(i)));
    return answer(list, {}, {}, false);
}

// The text of a receipt printer's bytes, without the commands that space and place characters
// (ESC SP n, ESC $ nL nH) or set the print mode (ESC ! n), which split the words.
inline QByteArray escposText(const QByteArray& bytes) {
    QByteArray text;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\x1b' && i + 1 < bytes.size()) {
            const char command = bytes[i + 1];
            if (command == ' ' || command == '!') {
                i += 2;
                continue;
            }
            if (command == '$') {
                i += 3;
                continue;
            }
        }
        text += bytes[i];
    }
    return text;
}

// The service, headless, printing on `cups`; its standard output and error go to files beside
// the program folder, read whenever a test wants them.
class Service {
public:
    Service(const OwnCups& cups, const QString& programFolder, const QString& server, QStringList extra = {},
            bool verbose = true, const QMap<QString, QString>& variables = {}) {
        static int started = 0;
        const int n = ++started;
        out_ = programFolder + QStringLiteral(".out.%1").arg(n);
        err_ = programFolder + QStringLiteral(".err.%1").arg(n);
        QProcessEnvironment environment = cups.environment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString runtime = programFolder + QStringLiteral(".run");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        // The machine-wide branch lock of its own: tests poll the same branch side by side.
        environment.insert(QStringLiteral("KELMORA_LOCK_DIR"), runtime);
        for (auto it = variables.cbegin(); it != variables.cend(); ++it) environment.insert(it.key(), it.value());
        p_.setProcessEnvironment(environment);
        p_.setWorkingDirectory(programFolder);
        p_.setStandardOutputFile(out_);
        p_.setStandardErrorFile(err_);
        endWithParent(p_);
        QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--server"), server, QStringLiteral("--dir"),
                              programFolder, QStringLiteral("--codigo"), kBranchCode};
        if (verbose) arguments << QStringLiteral("--verbose");
        p_.start(QStringLiteral(KELMORA_EXE), arguments + extra);
        p_.waitForStarted(10000);
    }
    ~Service() {
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished(10000);
        }
    }

    qint64 pid() const { return p_.processId(); }
    bool running() const { return p_.state() != QProcess::NotRunning; }
    void signal(int number) { ::kill(static_cast<pid_t>(p_.processId()), number); }
    // SIGTERM, as a system stop sends it; the exit status, -1 for none (a crash or no end).
    int stop(int ms = 30000) {
        signal(SIGTERM);
        return waitForExit(ms);
    }
    void kill() {
        p_.kill();
        p_.waitForFinished(10000);
    }
    int waitForExit(int ms) {
        if (!QTest::qWaitFor([&] { return p_.state() == QProcess::NotRunning; }, ms)) return -1;
        return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
    }

    // The lines without their timestamps.
    QStringList out() const { return lines(out_); }
    QStringList err() const { return lines(err_); }
    QByteArray rawErr() const { return read(err_); }
    QByteArray rawOut() const { return read(out_); }

private:
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QStringList lines(const QString& path) {
        QStringList all = consoleLines(read(path));
        if (!all.isEmpty() && all.last().isEmpty()) all.removeLast();
        return all;
    }

    QProcess p_;
    QString out_;
    QString err_;
};

// One document as `kelmora trabajos` lists it.
struct Listed {
    QString line;
    QString state;   // pendiente, enviando, enviado, impreso, retenido, fallido, vencido, descartado
    QString reason;
};

// `kelmora trabajos [--pendientes] --dir FOLDER`, by document number.
inline std::map<qint64, Listed> listJournal(const QString& programFolder, bool pendingOnly = false) {
    QProcess p;
    QStringList arguments{QStringLiteral("trabajos"), QStringLiteral("--dir"), programFolder};
    if (pendingOnly) arguments << QStringLiteral("--pendientes");
    p.start(QStringLiteral(KELMORA_EXE), arguments);
    std::map<qint64, Listed> listed;
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return listed;
    static const QRegularExpression row(QStringLiteral(
        R"(^\s*(\d+)\s.*?\s\s(pendiente|enviando|enviado|impreso|retenido|fallido|vencido|descartado)(?:: (.*))?$)"));
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n')) {
        const auto m = row.match(line);
        if (m.hasMatch()) listed[m.captured(1).toLongLong()] = Listed{line, m.captured(2), m.captured(3)};
    }
    return listed;
}

// How many documents of the list are in each state.
inline std::map<std::string, int> statesOf(const std::map<qint64, Listed>& listed) {
    std::map<std::string, int> states;
    for (const auto& [id, doc] : listed) ++states[doc.state.toStdString()];
    return states;
}

// The whole list, for a failure's message.
inline QString journalText(const QString& programFolder) {
    QString text;
    for (const auto& [id, doc] : listJournal(programFolder)) text += doc.line + u'\n';
    return text;
}

// Every document of the journal against the jobs on paper.
struct Tally {
    int handedOut = 0;      // documents in the answers the server wrote
    int journaled = 0;      // documents the journal holds
    int onPaperOnce = 0;
    int duplicated = 0;     // documents on paper more than once
    int listedUnprinted = 0;  // not on paper, listed as held, failed or expired
    int unfinished = 0;     // not on paper and not listed as unprinted: pending, sending, sent
    int stray = 0;          // jobs on paper that name no document of the journal
    std::map<std::string, int> states;  // the journal's final states
    QStringList problems;   // one line per document that is lost or duplicated

    int lost() const { return handedOut - onPaperOnce - listedUnprinted - duplicated; }

    QString summary() const {
        QStringList s;
        for (const auto& [state, n] : states) s << QStringLiteral("%1 %2").arg(n).arg(QString::fromStdString(state));
        return QStringLiteral("handed out %1, journaled %2, on paper once %3, twice or more %4, listed unprinted %5, "
                              "unfinished %6, lost %7, stray jobs %8; journal: %9")
            .arg(handedOut).arg(journaled).arg(onPaperOnce).arg(duplicated).arg(listedUnprinted).arg(unfinished)
            .arg(lost()).arg(stray).arg(s.join(QStringLiteral(", ")));
    }
};

inline Tally tally(const OwnCups& cups, const QString& programFolder, int handedOut) {
    Tally t;
    t.handedOut = handedOut;
    const std::map<qint64, Listed> listed = listJournal(programFolder);
    const std::map<qint64, int> paper = cups.onPaper();
    t.journaled = static_cast<int>(listed.size());
    for (const auto& [id, doc] : listed) {
        ++t.states[doc.state.toStdString()];
        const auto found = paper.find(id);
        const int copies = found == paper.end() ? 0 : found->second;
        if (copies == 1) {
            ++t.onPaperOnce;
        } else if (copies > 1) {
            ++t.duplicated;
            t.problems << QStringLiteral("on paper %1 times: %2").arg(copies).arg(doc.line.simplified());
        } else if (doc.state == u"retenido" || doc.state == u"fallido" || doc.state == u"vencido") {
            ++t.listedUnprinted;
        } else {
            ++t.unfinished;
            t.problems << QStringLiteral("not on paper: %1").arg(doc.line.simplified());
        }
    }
    for (const auto& [id, copies] : paper) {
        if (!listed.count(id)) t.stray += copies;
    }
    return t;
}

// Waits until the journal holds `handedOut` documents, at least `onPaper` of them are on paper,
// and every one is printed as far as the journal knows or listed as unprinted; the tally then
// (or after `ms`, as it stands).
inline Tally settle(const OwnCups& cups, const QString& programFolder, int handedOut, int onPaper, int ms) {
    Tally t;
    (void)QTest::qWaitFor([&] {
        t = tally(cups, programFolder, handedOut);
        return t.journaled >= handedOut && t.unfinished == 0 && t.onPaperOnce + t.duplicated >= onPaper &&
               t.onPaperOnce + t.duplicated + t.listedUnprinted >= handedOut && t.states["enviado"] == 0;
    }, ms);
    return tally(cups, programFolder, handedOut);
}

// A figure for docs/reliability.md, on the test's output.
inline void figure(const QString& name, const QString& value) {
    std::cout << "FIGURE " << name.toStdString() << ": " << value.toStdString() << std::endl;
}

// The journal ids of the jobs on `queue`, in the order CUPS took them.
inline std::vector<qint64> journalIdsInJobOrder(const OwnCups& cups, const QString& queue) {
    std::vector<qint64> ids;
    for (const OwnCups::Job& job : cups.jobs()) {
        if (job.queue == queue) ids.push_back(job.journalId);
    }
    return ids;
}

}  // namespace kelmora::testing
