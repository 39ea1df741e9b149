#pragma once

// What the end-to-end tests share: the application they run in, the kelmora process, reading its
// console, and the documents it printed on virtual or private CUPS printers.

#include "support/core_application.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace kelmora::testing {

// The executable under test, with a runtime folder of its own.
inline std::unique_ptr<QProcess> newKelmora(const QStringList& arguments, const QString& workDir) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), workDir);
    // The machine-wide branch lock of its own: tests poll the same branch side by side.
    environment.insert(QStringLiteral("KELMORA_LOCK_DIR"), workDir);
    p->setProcessEnvironment(environment);
    p->setWorkingDirectory(workDir);
    p->setProgram(QStringLiteral(KELMORA_EXE));
    p->setArguments(arguments);
    return p;
}

// The console lines without their timestamps.
inline QStringList consoleLines(const QByteArray& output) {
    static const QRegularExpression stamp(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"));
    QStringList lines;
    for (const QString& line : QString::fromUtf8(output).split(u'\n')) {
        QString bare = line;
        lines.append(bare.remove(stamp));
    }
    return lines;
}

// The text of a PDF, by pdftotext (set up with the test environment).
inline QString pdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(20000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline const QByteArray kDrawerPulse("\x1b\x70\x00\x3c\xf0", 5);

// Where the printed documents of a run land: the private CUPS queues of the test environment
// when it runs one, else the virtual PDF printers of --print-to.
class PrintedJobs {
public:
    PrintedJobs() {
        cups_ = qEnvironmentVariable("KELMORA_TEST_CUPS_OUT");
        if (!qEnvironmentVariableIsSet("CUPS_SERVER")) cups_.clear();
        if (onCups()) before_ = QDir(cups_).entryList(QDir::Files);
    }
    bool onCups() const { return !cups_.isEmpty(); }
    QString virtualFolder() const { return virtual_.filePath(QStringLiteral("impresiones")); }

    // The printer options for kelmora.
    QStringList options() const {
        if (onCups()) return {};
        return {QStringLiteral("--print-to"), virtualFolder(), QStringLiteral("--printers"),
                QStringLiteral("Cocina,Bar,Facturas"), QStringLiteral("--default-printer"), QStringLiteral("Facturas")};
    }

    struct Job {
        QString printer;
        QByteArray data;
    };
    // The jobs of this run: on CUPS the new files of the queues (other tests may print there too,
    // so callers pick theirs by content), else the virtual printers' files in delivery order.
    std::vector<Job> jobs() const {
        std::vector<Job> list;
        if (onCups()) {
            static const QRegularExpression queueFile(QStringLiteral(R"(^(\w+)\.(\d+)$)"));
            std::map<int, Job> byId;
            for (const QString& name : QDir(cups_).entryList(QDir::Files)) {
                const auto m = queueFile.match(name);
                if (!m.hasMatch() || before_.contains(name)) continue;
                QFile f(QDir(cups_).filePath(name));
                if (f.open(QIODevice::ReadOnly)) byId[m.captured(2).toInt()] = Job{m.captured(1), f.readAll()};
            }
            for (auto& [id, t] : byId) list.push_back(std::move(t));
            return list;
        }
        static const QRegularExpression printedFile(QStringLiteral(R"(^\d{3}-(\w+)\.(pdf|raw)$)"));
        const QDir dir(virtualFolder());
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            const auto m = printedFile.match(name);
            QFile f(dir.filePath(name));
            if (m.hasMatch() && f.open(QIODevice::ReadOnly)) list.push_back(Job{m.captured(1), f.readAll()});
        }
        return list;
    }

    // The marks ("MARK-XX") that the PDF documents of this run carry, each after its printer:
    // "Cocina MARK-A1".
    QStringList documentsWith(const QString& mark) const {
        const QRegularExpression withMark(QRegularExpression::escape(mark) + QStringLiteral(R"(-\w+)"));
        QStringList found;
        int n = 0;
        for (const Job& t : jobs()) {
            if (!t.data.startsWith("%PDF")) continue;
            const QString path = virtual_.filePath(QStringLiteral("doc%1.pdf").arg(++n));
            QFile f(path);
            if (!f.open(QIODevice::WriteOnly)) continue;
            f.write(t.data);
            f.close();
            const auto m = withMark.match(pdfText(path));
            if (m.hasMatch()) found.append(t.printer + u' ' + m.captured(0));
        }
        return found;
    }

    // documentsWith(mark), once at least `count` have landed or 30 s have passed.
    QStringList waitForDocumentsWith(const QString& mark, qsizetype count) const {
        QStringList found;
        (void)QTest::qWaitFor([&] {
            found = documentsWith(mark);
            return found.size() >= count;
        }, 30000);
        return found;
    }

    int drawerPulses() const {
        int n = 0;
        for (const Job& t : jobs()) n += (t.printer == u"Facturas" && t.data == kDrawerPulse) ? 1 : 0;
        return n;
    }

private:
    QString cups_;
    QStringList before_;
    QTemporaryDir virtual_;
};

}  // namespace kelmora::testing
