#pragma once

// A CUPS daemon of one test's own, for the end-to-end tests that stop it, freeze it, fill it or
// break its queues: they cannot do that to the daemon the other tests share. Its queues print
// through a capture backend that keeps every job's data and title in a folder, so a test counts
// what reached paper by the journal id in each job's name ("kelmora-<id> <Kind>").
//
// The daemon is the machine's own cupsd with a configuration, spool and socket in a temporary
// folder; the machine's printers and settings are never touched. It follows the test process if
// that dies.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <map>
#include <memory>
#include <optional>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace kelmora::testing {

// A child that ends with the test process, however that ends.
inline void endWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

class OwnCups {
public:

    // One job that reached a capture file.
    struct Job {
        QString queue;
        int cupsId = 0;
        QString title;
        qint64 journalId = 0;  // from the title, 0 when it names none
        QByteArray bytes;
    };

    static bool available() { return !QStandardPaths::findExecutable(QStringLiteral("cupsd")).isEmpty() &&
                                     QDir(QStringLiteral("/usr/lib/cups/backend")).exists(); }

    // By default as the scheduler is set up out of the box: at most 500 jobs, and finished jobs
    // kept, so that they stay known by id and name.
    explicit OwnCups(int maxJobs = 500, bool preserveHistory = true)
        : maxJobs_(maxJobs), preserveHistory_(preserveHistory), dir_(QDir::tempPath() + QStringLiteral("/kelmora-own-cups.XXXXXX")) {
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                               QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        for (const char* sub : {"spool/tmp", "cache", "state", "log", "out", "bin/backend", "bin/filter"}) {
            QDir(dir_.path()).mkpath(QString::fromLatin1(sub));
        }
        writeFiles();
    }
    ~OwnCups() { stop(); }
    OwnCups(const OwnCups&) = delete;
    OwnCups& operator=(const OwnCups&) = delete;

    QString socket() const { return dir_.filePath(QStringLiteral("cups.sock")); }
    QString outFolder() const { return dir_.filePath(QStringLiteral("out")); }
    QString folder() const { return dir_.path(); }
    qint64 pid() const { return daemon_ ? daemon_->processId() : 0; }

    // Starts the daemon (again, on the same queues after a stop); true once it answers.
    bool start() {
        if (daemon_) return true;
        daemon_ = std::make_unique<QProcess>();
        daemon_->setProgram(QStringLiteral("cupsd"));
        daemon_->setArguments({QStringLiteral("-f"), QStringLiteral("-c"), dir_.filePath(QStringLiteral("cupsd.conf")),
                               QStringLiteral("-s"), dir_.filePath(QStringLiteral("cups-files.conf"))});
        daemon_->setStandardInputFile(QProcess::nullDevice());
        daemon_->setStandardOutputFile(dir_.filePath(QStringLiteral("log/cupsd")), QIODevice::Append);
        daemon_->setStandardErrorFile(dir_.filePath(QStringLiteral("log/cupsd")), QIODevice::Append);
        endWithParent(*daemon_);
        daemon_->start();
        if (!daemon_->waitForStarted(10000)) return false;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 20000) {
            if (daemon_->state() == QProcess::NotRunning) return false;
            if (tool(QStringLiteral("lpstat"), {QStringLiteral("-r")}).contains("scheduler is running")) return true;
            QThread::msleep(50);
        }
        return false;
    }

    // Stops the daemon as a system stop would (SIGTERM), waiting until it is gone.
    void stop() {
        if (!daemon_) return;
        ::kill(static_cast<pid_t>(daemon_->processId()), SIGCONT);
        daemon_->terminate();
        if (!daemon_->waitForFinished(15000)) {
            daemon_->kill();
            daemon_->waitForFinished(5000);
        }
        daemon_.reset();
    }

    // A scheduler killed as in a power cut: whatever it had not written down yet is gone.
    void kill() {
        if (!daemon_) return;
        daemon_->kill();
        daemon_->waitForFinished(5000);
        daemon_.reset();
    }

    // A scheduler that hangs: no request gets an answer until resume().
    void freeze() { ::kill(static_cast<pid_t>(pid()), SIGSTOP); }
    void resume() { ::kill(static_cast<pid_t>(pid()), SIGCONT); }

    // A queue whose driver takes PDF, a raw one (a receipt printer), one whose driver takes only
    // plain text, or one whose driver takes PDF and fails every document, its jobs aborted.
    enum class Driver { Pdf, Raw, TextOnly, Failing };
    // The device of a printer that takes `seconds` over each job, as a receipt printer in a rush.
    QString slowDevice(const QString& name, double seconds) const {
        return QStringLiteral("slowcapture:%1:").arg(seconds) + QDir(outFolder()).filePath(name);
    }
    bool addQueue(const QString& name, Driver driver, const QString& device = {}) {
        QStringList arguments{QStringLiteral("-p"), name, QStringLiteral("-E"), QStringLiteral("-v"),
                              device.isEmpty() ? QStringLiteral("capture:") + QDir(outFolder()).filePath(name) : device};
        if (driver == Driver::Pdf) arguments << QStringLiteral("-P") << dir_.filePath(QStringLiteral("pdf.ppd"));
        if (driver == Driver::TextOnly) arguments << QStringLiteral("-P") << dir_.filePath(QStringLiteral("text.ppd"));
        if (driver == Driver::Failing) {
            arguments << QStringLiteral("-P") << dir_.filePath(QStringLiteral("refuse.ppd")) << QStringLiteral("-o")
                      << QStringLiteral("printer-error-policy=abort-job");
        }
        return run(QStringLiteral("lpadmin"), arguments);
    }

    // A CUPS command line tool run against this daemon; whether it succeeded.
    bool run(const QString& program, const QStringList& arguments) const {
        int status = -1;
        tool(program, arguments, &status);
        return status == 0;
    }
    // Its standard output (and error, after it).
    QByteArray tool(const QString& program, const QStringList& arguments, int* status = nullptr) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, arguments);
        if (!p.waitForFinished(30000)) {
            p.kill();
            p.waitForFinished();
        }
        if (status != nullptr) *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return p.readAll();
    }

    // The environment of a process that prints here.
    QProcessEnvironment environment() const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("CUPS_SERVER"), socket());
        e.remove(QStringLiteral("PRINTER"));
        e.remove(QStringLiteral("LPDEST"));
        return e;
    }

    // Every job in the capture files, by CUPS job id.
    std::vector<Job> jobs(bool withBytes = false) const {
        // QUEUE.JOBID, or QUEUE.JOBID-N for the Nth job that a scheduler started again gave the same id.
        static const QRegularExpression file(QStringLiteral(R"(^(\w+)\.(\d+)(?:-(\d+))?$)"));
        static const QRegularExpression named(QStringLiteral(R"(^kelmora-(\d+)(?: |$))"));
        std::map<std::pair<int, int>, Job> byId;
        const QDir out(outFolder());
        for (const QString& name : out.entryList(QDir::Files)) {
            const auto m = file.match(name);
            // A job whose driver failed leaves an empty file: nothing came out.
            if (!m.hasMatch() || QFileInfo(out.filePath(name)).size() == 0) continue;
            Job job;
            job.queue = m.captured(1);
            job.cupsId = m.captured(2).toInt();
            QFile title(out.filePath(name + QStringLiteral(".title")));
            if (title.open(QIODevice::ReadOnly)) job.title = QString::fromUtf8(title.readAll());
            if (const auto t = named.match(job.title); t.hasMatch()) job.journalId = t.captured(1).toLongLong();
            if (withBytes) {
                QFile data(out.filePath(name));
                if (data.open(QIODevice::ReadOnly)) job.bytes = data.readAll();
            }
            byId[{job.cupsId, m.captured(3).toInt()}] = std::move(job);
        }
        std::vector<Job> list;
        for (auto& [id, job] : byId) list.push_back(std::move(job));
        return list;
    }

    // How often each journal id is on paper.
    std::map<qint64, int> onPaper() const {
        std::map<qint64, int> count;
        for (const Job& job : jobs()) {
            if (job.journalId > 0) ++count[job.journalId];
        }
        return count;
    }

    // Forgets what came out so far, for a run of the service on a new journal.
    void clearPaper() const {
        QDir out(outFolder());
        for (const QString& name : out.entryList(QDir::Files)) out.remove(name);
    }

    // What the daemon says of its queues and jobs, for a failure's message.
    QString describe() const {
        return QString::fromUtf8(tool(QStringLiteral("lpstat"), {QStringLiteral("-t")}).right(3000) +
                                 tool(QStringLiteral("lpstat"), {QStringLiteral("-l"), QStringLiteral("-o")}).right(3000));
    }

private:
    void writeFiles() {
        const QString d = dir_.path();
        write(QStringLiteral("cupsd.conf"),
              QStringLiteral("Listen %1\nBrowsing No\nBrowseLocalProtocols none\nWebInterface No\n"
                             "DefaultAuthType None\nLogLevel warn\nMaxJobs %2\nPreserveJobHistory %3\n"
                             "PreserveJobFiles No\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                             "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                  .arg(socket())
                  .arg(maxJobs_)
                  .arg(preserveHistory_ ? QStringLiteral("Yes") : QStringLiteral("No")));
        write(QStringLiteral("cups-files.conf"),
              QStringLiteral("ServerRoot %1\nServerBin %1/bin\nRequestRoot %1/spool\nTempDir %1/spool/tmp\n"
                             "CacheDir %1/cache\nStateDir %1/state\nAccessLog %1/log/access_log\n"
                             "ErrorLog %1/log/error_log\nPageLog %1/log/page_log\nPrintcap %1/printcap\n"
                             "SystemGroup root\nFileDevice Yes\n")
                  .arg(d));
        // The daemon's programs are the system's, plus the capture backend.
        const QDir system(QStringLiteral("/usr/lib/cups"));
        for (const QString& entry : system.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            if (entry != u"backend" && entry != u"filter") QFile::link(system.filePath(entry), d + QStringLiteral("/bin/") + entry);
        }
        const QDir backends(QStringLiteral("/usr/lib/cups/backend"));
        for (const QString& entry : backends.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            QFile::link(backends.filePath(entry), d + QStringLiteral("/bin/backend/") + entry);
        }
        const QDir filters(QStringLiteral("/usr/lib/cups/filter"));
        for (const QString& entry : filters.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            QFile::link(filters.filePath(entry), d + QStringLiteral("/bin/filter/") + entry);
        }
        // A driver that fails every document, as one that cannot read what it is given.
        write(QStringLiteral("bin/filter/kelmora-refuse"),
              QStringLiteral("#!/bin/sh\ncat >/dev/null\necho 'ERROR: the driver cannot read this document' >&2\nexit 1\n"));
        QFile::setPermissions(d + QStringLiteral("/bin/filter/kelmora-refuse"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                  QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        // Writes QUEUE.JOBID whole (a temporary name, then renamed) and the job's title beside it;
        // QUEUE.JOBID-N when a scheduler started again gives a job id a second time.
        write(QStringLiteral("bin/backend/capture"),
              QStringLiteral("#!/bin/sh\n"
                             "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Capture to file (tests)\"'; exit 0; fi\n"
                             "out=\"${DEVICE_URI#capture:}\"\n"
                             "umask 022\n"
                             "f=\"$out.$1\"; n=1\n"
                             "while [ -e \"$f.title\" ]; do f=\"$out.$1-$n\"; n=$((n+1)); done\n"
                             "printf '%s' \"$3\" >\"$f.title\" || exit 1\n"
                             "if [ $# -ge 6 ]; then cat \"$6\" >\"$f.part\" || exit 1; else cat >\"$f.part\" || exit 1; fi\n"
                             "mv \"$f.part\" \"$f\" || exit 1\n"
                             "exit 0\n"));
        // The same after a pause: slowcapture:SECONDS:PATH.
        write(QStringLiteral("bin/backend/slowcapture"),
              QStringLiteral("#!/bin/sh\n"
                             "if [ $# -eq 0 ]; then echo 'direct slowcapture \"Unknown\" \"Slow capture (tests)\"'; exit 0; fi\n"
                             "rest=\"${DEVICE_URI#slowcapture:}\"\n"
                             "sleep \"${rest%%:*}\"\n"
                             "DEVICE_URI=\"capture:${rest#*:}\" exec \"$(dirname \"$0\")/capture\" \"$@\"\n"));
        // Run as root, the daemon runs a backend as root only when no one else may touch it.
        for (const char* backend : {"/bin/backend/capture", "/bin/backend/slowcapture"}) {
            QFile::setPermissions(d + QLatin1String(backend),
                                  ::getuid() == 0 ? (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
                                                  : (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                     QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                     QFile::ExeOther));
        }
        write(QStringLiteral("pdf.ppd"), ppd(QStringLiteral("application/pdf application/pdf 0 -")));
        write(QStringLiteral("text.ppd"), ppd(QStringLiteral("text/plain text/plain 0 -")));
        write(QStringLiteral("refuse.ppd"), ppd(QStringLiteral("application/pdf application/vnd.cups-raw 0 kelmora-refuse")));
    }

    static QString ppd(const QString& filter) {
        return QStringLiteral(
                   "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n*LanguageVersion: English\n"
                   "*LanguageEncoding: ISOLatin1\n*PCFileName: \"KELMORA.PPD\"\n*Manufacturer: \"Kelmora\"\n"
                   "*Product: \"(Kelmora test printer)\"\n*ModelName: \"Kelmora test printer\"\n"
                   "*ShortNickName: \"Kelmora test\"\n*NickName: \"Kelmora test printer\"\n*PSVersion: \"(3010.000) 0\"\n"
                   "*cupsFilter2: \"%1\"\n*OpenUI *PageSize/Page Size: PickOne\n*DefaultPageSize: Roll80\n"
                   "*PageSize Roll80/80 mm roll: \"<</PageSize[227 842]>>setpagedevice\"\n*CloseUI: *PageSize\n"
                   "*DefaultImageableArea: Roll80\n*ImageableArea Roll80: \"0 0 227 842\"\n"
                   "*DefaultPaperDimension: Roll80\n*PaperDimension Roll80: \"227 842\"\n")
            .arg(filter);
    }

    void write(const QString& name, const QString& text) {
        QFile f(dir_.filePath(name));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text.toUtf8());
    }

    int maxJobs_;
    bool preserveHistory_;
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> daemon_;
};

}  // namespace kelmora::testing
