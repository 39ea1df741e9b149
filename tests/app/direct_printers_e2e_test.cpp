// The service against receipt printers it reaches directly (stand-ins on loopback ports): the
// paper running out in the middle of a rush.
#include "e2e_support.h"

#include "support/fake_central_server.h"
#include "support/receipt_printer_standin.h"

#include <QRandomGenerator>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

using namespace kelmora::testing;

namespace {

const QString kCode = QStringLiteral("A12345678901234");

// Serves `body` to the next poll only; the empty answer after it.
void serveOnce(FakeCentralServer& server, const QByteArray& body) {
    server.setFinalAnswer(body);
    server.onAnswer = [&server](std::size_t) {
        server.setFinalAnswer(kEmptyAnswer);
        server.onAnswer = nullptr;
    };
}

// The service with the settings file given, polling the server every 300 ms.
std::unique_ptr<QProcess> startKelmora(const QTemporaryDir& folder, const FakeCentralServer& server,
                                       const QString& settings) {
    QFile ini(QDir(folder.path()).filePath(QStringLiteral("kelmora.ini")));
    if (!ini.open(QIODevice::WriteOnly)) return nullptr;
    ini.write(settings.toUtf8());
    ini.close();
    auto kelmora = newKelmora({QStringLiteral("--headless"), QStringLiteral("--verbose"), QStringLiteral("--server"),
                               server.url(), QStringLiteral("--dir"), folder.path(), QStringLiteral("--codigo"), kCode,
                               QStringLiteral("--poll-interval-ms"), QStringLiteral("300")},
                              folder.path());
    kelmora->start();
    return kelmora->waitForStarted() ? std::move(kelmora) : nullptr;
}

// The label of ticket `n`: the prefix and two digits, so that no label is the start of another.
QString label(const QString& prefix, int n) { return prefix + QStringLiteral("%1").arg(n, 2, 10, QChar(u'0')); }

// Kitchen tickets for the area, labelled from `first` to `last`.
QByteArray ticketsFor(const QString& area, const QString& prefix, int first, int last) {
    QList<QByteArray> list;
    for (int i = first; i <= last; ++i) list.append(kitchenTicket(area, label(prefix, i)));
    return answer(list, {}, {}, false);
}

// How many documents on the printer carry the mark, counted once per document.
int documentsWith(const ReceiptPrinterStandIn& printer, const QString& text) {
    const QStringList documents = printer.documents();
    return static_cast<int>(std::count_if(documents.cbegin(), documents.cend(), [&text](const QString& d) {
        return d.contains(text, Qt::CaseInsensitive);
    }));
}


// The ticket numbers found in a printer's documents, each with whether it came out whole (as many
// rows as a whole ticket has) and whether it is marked as a copy.
struct OnPaper {
    int ticket;
    bool whole;
    bool copy;
    bool noted;  // under the "Error en Impresora" line
};
std::vector<OnPaper> onPaper(const QStringList& documents, const QString& prefix, int wholeRows) {
    const QRegularExpression ticket(QRegularExpression::escape(prefix) + QStringLiteral("(\\d\\d)"),
                                    QRegularExpression::CaseInsensitiveOption);
    std::vector<OnPaper> found;
    for (const QString& document : documents) {
        const auto m = ticket.match(document);
        if (!m.hasMatch()) continue;
        const bool copy = document.contains(QStringLiteral("REIMPRESIÓN"));
        const bool noted = document.contains(QStringLiteral("Error en Impresora"));
        const int extra = (copy ? 1 : 0) + (noted ? 1 : 0);
        found.push_back({m.captured(1).toInt(), document.count(u'\n') + 1 - extra >= wholeRows, copy, noted});
    }
    return found;
}

int wholeCopies(const std::vector<OnPaper>& paper, int ticket) {
    return static_cast<int>(std::count_if(paper.begin(), paper.end(),
                                          [ticket](const OnPaper& p) { return p.ticket == ticket && p.whole; }));
}

}  // namespace

TEST(DirectPrinters, ThePaperRunsOutInTheMiddleOfARushAndEveryTicketComesOutWholeOnce) {
    ReceiptPrinterStandIn cocina;
    ReceiptPrinterStandIn caja;
    FakeCentralServer server({});
    ASSERT_TRUE(server.listening());
    QTemporaryDir folder;
    const QString prefix = QStringLiteral("P%1-K").arg(QRandomGenerator::global()->bounded(100000, 999999));
    auto kelmora = startKelmora(folder, server,
                                QStringLiteral("[General]\npredeterminada=Caja\n[Cocina]\nconexion=%1\n"
                                               "[Caja]\nconexion=%2\n")
                                    .arg(cocina.address(), caja.address()));
    ASSERT_TRUE(kelmora);
    QStringList console;
    const auto readConsole = [&] { console += consoleLines(kelmora->readAllStandardOutput()); };

    // One ticket first: how long a whole one is, in bytes and rows.
    serveOnce(server, ticketsFor(QStringLiteral("Cocina"), prefix, 0, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return cocina.documents().size() == 1; }, 20000));
    const qint64 ticketBytes = cocina.printed().size();
    const int wholeRows = static_cast<int>(cocina.documents().first().count(u'\n')) + 1;

    // The roll ends in the middle of the fourth of ten.
    cocina.runOutOfPaperAfter(3 * ticketBytes + ticketBytes / 2);
    serveOnce(server, ticketsFor(QStringLiteral("Cocina"), prefix, 1, 10));
    const auto allOut = [&] {
        std::vector<OnPaper> paper = onPaper(cocina.documents(), prefix, wholeRows);
        const std::vector<OnPaper> onCaja = onPaper(caja.documents(), prefix, wholeRows);
        paper.insert(paper.end(), onCaja.begin(), onCaja.end());
        for (int i = 1; i <= 10; ++i) {
            if (wholeCopies(paper, i) == 0) return false;
        }
        return true;
    };
    const bool done = QTest::qWaitFor(allOut, 30000);
    readConsole();
    ASSERT_TRUE(done) << console.join(u'\n').right(3000).toStdString();

    const std::vector<OnPaper> onCocina = onPaper(cocina.documents(), prefix, wholeRows);
    const std::vector<OnPaper> onCaja = onPaper(caja.documents(), prefix, wholeRows);
    std::vector<OnPaper> paper = onCocina;
    paper.insert(paper.end(), onCaja.begin(), onCaja.end());
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(wholeCopies(paper, i), 1) << "ticket " << i;
    // The first three on Cocina; the fourth cut short there, whole again on Caja as a copy; the
    // rest on Caja under the note line, since Cocina said it had no paper.
    std::vector<int> wholeOnCocina;
    for (const OnPaper& p : onCocina) {
        if (p.whole && p.ticket > 0) wholeOnCocina.push_back(p.ticket);
    }
    EXPECT_EQ(wholeOnCocina, (std::vector<int>{1, 2, 3}));
    for (const OnPaper& p : onCaja) {
        EXPECT_TRUE(p.whole && p.noted) << "ticket " << p.ticket;
        EXPECT_EQ(p.copy, p.ticket == 4) << "ticket " << p.ticket;
    }
    // Nothing went to Cocina while it was empty but the rest of the ticket it ran out in.
    EXPECT_LT(cocina.bytesWhileUnable(), ticketBytes);
    EXPECT_EQ(console.filter(QStringLiteral("Globo [advertencia] Impresora: Cocina: sin papel")).size(), 1)
        << console.join(u'\n').right(3000).toStdString();

    // A new roll: the next tickets are Cocina's again.
    cocina.setPaperOut(false);
    const bool back = QTest::qWaitFor([&] {
        readConsole();
        return !console.filter(QStringLiteral("Cocina: lista de nuevo")).isEmpty();
    }, 10000);
    EXPECT_TRUE(back) << console.join(u'\n').right(3000).toStdString();
    serveOnce(server, ticketsFor(QStringLiteral("Cocina"), prefix, 11, 12));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const std::vector<OnPaper> now = onPaper(cocina.documents(), prefix, wholeRows);
        return wholeCopies(now, 11) == 1 && wholeCopies(now, 12) == 1;
    }, 20000));
    EXPECT_EQ(onPaper(caja.documents(), prefix, wholeRows).size(), onCaja.size());

    kelmora->terminate();
    kelmora->waitForFinished(10000);
}

// Cocina's cover open, the bar's printer without a return channel, the default printer behind a
// USB printer device (a pseudo-terminal): the kitchen's tickets come out on the default printer
// under the note line and Cocina's trouble is told once; the bar's print once, and its lack of
// a status is said once in the log; Cocina takes its tickets again once the cover is closed.
TEST(DirectPrinters, ACoverOpenAndAPrinterThatCannotTalkBack) {
    ReceiptPrinterStandIn cocina;
    ReceiptPrinterStandIn barra;
    ReceiptPrinterStandIn caja(ReceiptPrinterStandIn::Port::PseudoTerminal);
    cocina.setCoverOpen(true);
    barra.setReturnChannel(false);
    FakeCentralServer server({});
    QTemporaryDir folder;
    const QString mark = QStringLiteral("T%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    auto kelmora = startKelmora(folder, server,
                                QStringLiteral("[General]\npredeterminada=Caja\n[Cocina]\nconexion=%1\n"
                                               "[Barra 1]\nconexion=%2\n[Caja]\nconexion=%3\n")
                                    .arg(cocina.address(), barra.address(), caja.address()));
    ASSERT_TRUE(kelmora);
    QStringList console;
    QStringList log;
    const auto read = [&] {
        console += consoleLines(kelmora->readAllStandardOutput());
        log += consoleLines(kelmora->readAllStandardError());
    };

    serveOnce(server, answer({kitchenTicket(QStringLiteral("Cocina"), mark + QStringLiteral("-C1")),
                              kitchenTicket(QStringLiteral("Barra 1"), mark + QStringLiteral("-B1")),
                              kitchenTicket(QStringLiteral("Cocina"), mark + QStringLiteral("-C2")),
                              kitchenTicket(QStringLiteral("Barra 1"), mark + QStringLiteral("-B2"))},
                             {}, {}, false));
    const bool out = QTest::qWaitFor([&] {
        return documentsWith(caja, mark + QStringLiteral("-C1")) + documentsWith(caja, mark + QStringLiteral("-C2")) == 2 &&
               documentsWith(barra, mark + QStringLiteral("-B2")) == 1;
    }, 20000);
    read();
    ASSERT_TRUE(out) << console.join(u'\n').right(3000).toStdString();
    EXPECT_EQ(documentsWith(barra, mark + QStringLiteral("-B1")), 1);
    EXPECT_EQ(documentsWith(caja, QStringLiteral("Error en Impresora")), 2);
    EXPECT_EQ(cocina.bytesWhileUnable(), 0);
    EXPECT_EQ(console.filter(QStringLiteral("Globo [advertencia] Impresora: Cocina: tapa abierta")).size(), 1);
    EXPECT_EQ(log.filter(QStringLiteral("Barra 1: sin estado: se da por impreso lo enviado")).size(), 1)
        << log.join(u'\n').toStdString();

    cocina.setCoverOpen(false);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        read();
        return !console.filter(QStringLiteral("Cocina: lista de nuevo")).isEmpty();
    }, 10000));
    serveOnce(server, ticketsFor(QStringLiteral("Cocina"), mark + QStringLiteral("-D"), 1, 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return documentsWith(cocina, label(mark + QStringLiteral("-D"), 1)) == 1; }, 20000));
    read();
    EXPECT_EQ(log.filter(QStringLiteral("sin estado")).size(), 1);
    kelmora->terminate();
    kelmora->waitForFinished(10000);
}

// Cocina refuses every connection for 30 s while tickets keep coming: each comes out once on
// the default printer under the note line, "no responde" is told once, and nothing is lost or
// doubled when it takes connections again.
TEST(DirectPrinters, RefusedConnectionsForHalfAMinute) {
    ReceiptPrinterStandIn cocina;
    ReceiptPrinterStandIn caja;
    cocina.setRefuseConnections(true);
    FakeCentralServer server({});
    QTemporaryDir folder;
    const QString prefix = QStringLiteral("R%1-").arg(QRandomGenerator::global()->bounded(100000, 999999));
    auto kelmora = startKelmora(folder, server,
                                QStringLiteral("[General]\npredeterminada=Caja\n[Cocina]\nconexion=%1\n"
                                               "[Caja]\nconexion=%2\n")
                                    .arg(cocina.address(), caja.address()));
    ASSERT_TRUE(kelmora);
    QElapsedTimer clock;
    clock.start();
    int sent = 0;
    while (clock.elapsed() < 30000) {
        ++sent;
        serveOnce(server, ticketsFor(QStringLiteral("Cocina"), prefix, sent, sent));
        QTest::qWait(5000);
    }
    cocina.setRefuseConnections(false);
    QStringList console;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        console += consoleLines(kelmora->readAllStandardOutput());
        return !console.filter(QStringLiteral("Cocina: lista de nuevo")).isEmpty();
    }, 10000));
    ++sent;
    serveOnce(server, ticketsFor(QStringLiteral("Cocina"), prefix, sent, sent));
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return documentsWith(cocina, label(prefix, sent)) == 1;
    }, 20000));
    console += consoleLines(kelmora->readAllStandardOutput());
    for (int i = 1; i < sent; ++i) {
        EXPECT_EQ(documentsWith(caja, label(prefix, i)), 1) << i;
        EXPECT_EQ(documentsWith(cocina, label(prefix, i)), 0) << i;
    }
    EXPECT_EQ(console.filter(QStringLiteral("Globo [advertencia] Impresora: Cocina: no responde")).size(), 1);
    kelmora->terminate();
    kelmora->waitForFinished(10000);
}
