// `kelmora render` on paper, end to end: with --pdf, a PDF beside each text preview; with
// --system, on the private CUPS daemon, where what lands in the queues is the paper of the preview
// that `kelmora render` writes for the same answer.
#include "platform/cups/cups_queues.h"
#include "platform/qt/pdf_reading.h"
#include "printing/escpos/escpos_interpreter.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

// Runs `kelmora render` with the arguments; gives its exit code.
int runRender(const QStringList& arguments, QString* errors = nullptr) {
    QProcess kelmora;
    kelmora.start(QStringLiteral(KELMORA_EXECUTABLE), QStringList{QStringLiteral("render")} + arguments);
    EXPECT_TRUE(kelmora.waitForFinished(60000));
    if (errors != nullptr) *errors = QString::fromUtf8(kelmora.readAllStandardError());
    return kelmora.exitStatus() == QProcess::NormalExit ? kelmora.exitCode() : -1;
}

QString readFile(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

TEST(RenderPdf, WritesEachDocumentOnPaperBesideItsPreview) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    ASSERT_EQ(runRender({QStringLiteral("--pdf"), QStringLiteral("--printers"), QStringLiteral("Facturas,Cocina,Bar"),
                         dataPath(QStringLiteral("answers/turno_completo.txt")), out}),
              0);
    const QStringList previews = QDir(out).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name).filter(
        QRegularExpression(QStringLiteral("^\\d{3}-")));
    ASSERT_EQ(previews.size(), 6) << previews.join(u' ').toStdString();
    for (const QString& preview : previews) {
        SCOPED_TRACE(preview.toStdString());
        const QByteArray pdf = readBytes(QDir(out).filePath(preview.chopped(4) + QStringLiteral(".pdf")));
        EXPECT_EQ(collapsedLines(pdfText(pdf)), collapsedLines(readFile(QDir(out).filePath(preview))));
    }
    // Raw bytes are no document: nothing to paint.
    EXPECT_EQ(QDir(out).entryList({QStringLiteral("*.pdf")}, QDir::Files).size(), previews.size());
}

TEST(RenderPdf, TheMachinesPrintersTakeNoVirtualPrinterOptions) {
    QTemporaryDir dir;
    QString errors;
    EXPECT_EQ(runRender({QStringLiteral("--system"), QStringLiteral("--pdf"),
                         dataPath(QStringLiteral("answers/turno_completo.txt")), dir.path()},
                        &errors),
              1);
    EXPECT_TRUE(errors.contains(QStringLiteral("--system"))) << errors.toStdString();
}

const QStringList kClock{QStringLiteral("--now"), QStringLiteral("2024-03-03T20:50:00"), QStringLiteral("--locale"),
                         QStringLiteral("es_CO")};

class SystemPrinting : public CupsQueues {
protected:
    // Runs `kelmora render` with the options and the answer; gives the output folder.
    QString render(const QString& answer, const QStringList& options, const QString& name) {
        const QString folder = dir.filePath(name);
        QString errors;
        EXPECT_EQ(runRender(kClock + options + QStringList{dataPath(answer), folder}, &errors), 0)
            << errors.toStdString();
        return folder;
    }
    // The text preview of the same answer on virtual printers like the daemon's queues.
    QString preview(const QString& answer, const QStringList& offline = {}) {
        QStringList options{QStringLiteral("--printers"), kQueues.join(u','), QStringLiteral("--default"),
                            QStringLiteral("Facturas")};
        if (!offline.isEmpty()) options << QStringLiteral("--offline") << offline.join(u',');
        return render(answer, options, QStringLiteral("preview"));
    }
    static QString read(const QString& path) { return readFile(path); }
    static QStringList documents(const QString& folder) {
        return QDir(folder).entryList({QStringLiteral("0*")}, QDir::Files, QDir::Name);
    }

    QTemporaryDir dir;
};

TEST_F(SystemPrinting, KitchenCancellationInvoicesAndDrawerLandInTheirQueues) {
    const QString answer = QStringLiteral("answers/turno_completo.txt");
    const QString printed = render(answer, {QStringLiteral("--system")}, QStringLiteral("system"));
    const QString expected = preview(answer);

    // 001-Cocina.txt, 002-Bar.txt, ... 007-Facturas.raw: one job each, in the same order.
    const QStringList files = documents(expected);
    ASSERT_EQ(files.size(), 7) << files.join(u' ').toStdString();
    const QList<CapturedJob> jobs = newJobs(static_cast<int>(files.size()));
    ASSERT_EQ(jobs.size(), files.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        EXPECT_EQ(jobs[i].queue, files[i].section(u'-', 1).section(u'.', 0, 0));
        if (files[i].endsWith(QStringLiteral(".raw"))) {
            EXPECT_EQ(jobs[i].bytes, QByteArray("\x1bp\x00<\xf0", 5));
        } else {
            EXPECT_TRUE(jobs[i].bytes.startsWith("%PDF-"));
            EXPECT_EQ(collapsedLines(pdfText(jobs[i].bytes)), collapsedLines(read(QDir(expected).filePath(files[i]))));
        }
    }
    // Each job named after its document's number, so the printing system can say whether it took it.
    EXPECT_EQ(jobs[0].title, "kelmora-1 Comanda");
    EXPECT_EQ(read(QDir(printed).filePath(QStringLiteral("balloons.txt"))),
              read(QDir(expected).filePath(QStringLiteral("balloons.txt"))));
}

TEST_F(SystemPrinting, AnAreaWithABlankPrintsOnTheQueueItDescribesInTheReceiptPrintersCommands) {
    const QString answer = QStringLiteral("answers/comanda_barra_1.txt");
    render(answer, {QStringLiteral("--system")}, QStringLiteral("system"));
    const QString expected = render(answer,
                                    {QStringLiteral("--printers"), QStringLiteral("Barra 1,Facturas"),
                                     QStringLiteral("--default"), QStringLiteral("Facturas")},
                                    QStringLiteral("preview"));
    const QList<CapturedJob> jobs = newJobs(1);
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].queue, "Barra_1");
    ASSERT_TRUE(jobs[0].bytes.startsWith("\x1b@"));
    // Row for row what the preview shows, accents, ¿ and ¡ through the code page included.
    QStringList printed;
    for (const auto& row : paper::escpos::interpretEscPos(jobs[0].bytes).rows) printed.append(row.text());
    EXPECT_EQ(receiptLines(printed.join(u'\n')), receiptLines(read(QDir(expected).filePath(QStringLiteral("001-Barra 1.txt")))));
    EXPECT_TRUE(read(QDir(dir.filePath(QStringLiteral("system"))).filePath(QStringLiteral("balloons.txt")))
                    .contains(QStringLiteral("Comanda enviada a Barra 1")));
}

TEST_F(SystemPrinting, AStoppedKitchenSendsTheTicketToTheDefaultUnderTheNote) {
    run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")});
    const QString answer = QStringLiteral("answers/comanda_cocina.txt");
    render(answer, {QStringLiteral("--system")}, QStringLiteral("system"));
    const QString expected = preview(answer, {QStringLiteral("Cocina")});

    ASSERT_EQ(documents(expected), QStringList{QStringLiteral("001-Facturas.txt")});
    const QList<CapturedJob> jobs = newJobs(1);
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(jobs[0].queue, "Facturas");
    const QStringList lines = collapsedLines(pdfText(jobs[0].bytes));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "Error en Impresora Facturas");
    EXPECT_EQ(lines, collapsedLines(read(QDir(expected).filePath(QStringLiteral("001-Facturas.txt")))));
}

TEST_F(SystemPrinting, AStoppedDefaultAsWellGivesTheBalloonAndNoJob) {
    run(QStringLiteral("cupsdisable"), {QStringLiteral("Cocina")});
    run(QStringLiteral("cupsdisable"), {QStringLiteral("Facturas")});
    const QString printed =
        render(QStringLiteral("answers/comanda_cocina.txt"), {QStringLiteral("--system")}, QStringLiteral("system"));

    EXPECT_EQ(read(QDir(printed).filePath(QStringLiteral("balloons.txt"))),
              "3|Error al imprimir|Error al imprimir, La impresora Facturas no esta disponible. \\n"
              "La impresora Facturas está detenida (en pausa) La impresora Facturas está detenida (en pausa)\n");
    expectNoJob();
}

}  // namespace
}  // namespace kelmora::testing
