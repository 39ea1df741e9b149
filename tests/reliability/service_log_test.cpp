// The headless service's log on standard error during a rush: one line per answer with
// documents and one per document's outcome, nothing else per poll, and never a customer's
// name, phone or address, which only --verbose shows, on standard output.
#include "reliability_support.h"

namespace kelmora::testing {
namespace {

using Kind = FakeCentralServer::Step::Kind;

const QString kName = QStringLiteral("Rosalba Quintero");
const QString kPhone = QStringLiteral("3105550147");
const QString kAddress = QStringLiteral("Calle 45 # 12-30 Apto 502");
const QString kInvoiceName = QStringLiteral("Hernando Villamizar");
const QString kInvoicePhone = QStringLiteral("3157770199");
const QString kInvoiceAddress = QStringLiteral("Carrera 7 # 88-14");
const QString kInvoiceId = QStringLiteral("79845123");

// A delivery order: the kitchen ticket prints the customer's details.
QByteArray deliveryTicket(const QString& area, const QString& table) {
    return QStringLiteral(R"({"area":"%1","titulo":"DOMICILIO","nomMesa":"Mesa %2","responsable":"Ana","nPedido":77,)"
                          R"("fecha":"2024-03-03 12:00","clienteNombre":"%3","clienteTelefono":"%4",)"
                          R"("clienteDireccion":"%5","codPlataforma":"",)"
                          R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"valor":9000,"detalle":[]}]})")
        .arg(area, table, kName, kPhone, kAddress)
        .toUtf8();
}

QByteArray invoiceWithCustomer(const QString& table) {
    QByteArray record = invoice(table, QStringLiteral("Factura de venta"));
    record.replace("\"cliente\":null",
                   QStringLiteral(R"("cliente":{"Nombre":"%1","IdDocumento":"%2","Direccion":"%3","Telefono1":"%4"})")
                       .arg(kInvoiceName, kInvoiceId, kInvoiceAddress, kInvoicePhone)
                       .toUtf8());
    return record;
}

QByteArray cancellation(const QString& table) {
    return QStringLiteral(R"({"area":"Cocina","nomMesa":"Mesa %1",)"
                          R"("productos":[{"nombre":"Sopa del dia","cantidad":1,"detalle":[]}]})")
        .arg(table)
        .toUtf8();
}

// Three answers, 30 documents: 20 delivery tickets; 4 tickets, 2 cancellations and an invoice;
// 2 invoices and the drawer.
struct Rush {
    std::vector<FakeCentralServer::Step> script;
    int documents = 0;
    int answers = 0;
};

Rush rush(const QString& mark) {
    Rush r;
    QByteArrayList tickets;
    for (int i = 0; i < 20; ++i) {
        tickets.append(deliveryTicket(i % 2 ? QStringLiteral("Bar") : QStringLiteral("Cocina"),
                                      QStringLiteral("%1-a%2").arg(mark).arg(i)));
    }
    r.script.push_back({Kind::Answer, answer(tickets, {}, {}, false)});
    tickets.clear();
    for (int i = 0; i < 4; ++i) tickets.append(deliveryTicket(QStringLiteral("Cocina"), QStringLiteral("%1-b%2").arg(mark).arg(i)));
    r.script.push_back({Kind::Answer, answer(tickets, {cancellation(mark + QStringLiteral("-b4")), cancellation(mark + QStringLiteral("-b5"))},
                                             {invoiceWithCustomer(mark + QStringLiteral("-b6"))}, false)});
    r.script.push_back({Kind::Answer, answer({}, {}, {invoiceWithCustomer(mark + QStringLiteral("-c0")),
                                                      invoiceWithCustomer(mark + QStringLiteral("-c1"))}, true)});
    // Empty answers after it: polls that bring nothing write nothing.
    for (int i = 0; i < 6; ++i) r.script.push_back({Kind::Answer, kEmptyAnswer});
    r.documents = 30;
    r.answers = 3;
    return r;
}

class ServiceLog : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OwnCups::available()) GTEST_SKIP() << "needs the machine's cupsd";
        ASSERT_TRUE(cups.start());
        for (const char* queue : {"Cocina", "Bar", "Facturas"}) {
            ASSERT_TRUE(cups.addQueue(QString::fromLatin1(queue), OwnCups::Driver::Pdf)) << queue;
        }
        ASSERT_TRUE(cups.run(QStringLiteral("lpadmin"), {QStringLiteral("-d"), QStringLiteral("Facturas")}));
    }

    // Runs the rush on a fresh program folder until every document is on paper; the service
    // stopped as a system stop does.
    std::unique_ptr<Service> runRush(bool verbose, const QString& mark) {
        cups.clearPaper();
        const QString folder = work.filePath(mark);
        EXPECT_TRUE(QDir().mkpath(folder));
        Rush r = rush(mark);
        FakeCentralServer server(std::move(r.script));
        EXPECT_TRUE(server.listening());
        auto service = std::make_unique<Service>(
            cups, folder, server.url(), QStringList{QStringLiteral("--poll-interval-ms"), QStringLiteral("300")}, verbose);
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.scriptDone(); }, 60000));
        const Tally t = settle(cups, folder, r.documents, r.documents, 60000);
        EXPECT_EQ(t.onPaperOnce, r.documents) << t.summary().toStdString();
        EXPECT_EQ(service->stop(), 0);
        return service;
    }

    OwnCups cups;
    QTemporaryDir work;
};

TEST_F(ServiceLog, ARushWritesOneLinePerDocumentAndPerAnswerAndNoCustomerData) {
    const QString mark = QStringLiteral("L%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    const auto quiet = runRush(false, mark);
    const QStringList log = quiet->err();
    const QByteArray raw = quiet->rawErr();

    // The start, one line per answer, one per document, and the stop: nothing else.
    const QStringList answers = log.filter(QRegularExpression(QStringLiteral("^Respuesta \\d+ con \\d+ documentos")));
    const QStringList documents = log.filter(QRegularExpression(QStringLiteral("^Documento \\d+: ")));
    EXPECT_EQ(answers.size(), 3) << log.join(u'\n').toStdString();
    EXPECT_EQ(documents.size(), 30) << log.join(u'\n').toStdString();
    EXPECT_EQ(log.size(), 3 + 30 + 2) << log.join(u'\n').toStdString();
    EXPECT_TRUE(log.first().startsWith(QStringLiteral("Kelmora "))) << log.first().toStdString();
    EXPECT_EQ(log.last(), QStringLiteral("Kelmora se detiene a pedido del sistema"));
    // Each document once, by its number.
    QSet<QString> numbers;
    for (const QString& line : documents) numbers.insert(line.section(u':', 0, 0));
    EXPECT_EQ(numbers.size(), 30);
    // Every line stamped with the time.
    const QRegularExpression stamped(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"));
    for (const QByteArray& line : raw.split('\n')) {
        if (line.isEmpty()) continue;
        EXPECT_TRUE(stamped.match(QString::fromUtf8(line)).hasMatch()) << line.toStdString();
    }
    for (const QString& secret : {kName, kPhone, kAddress, kInvoiceName, kInvoicePhone, kInvoiceAddress, kInvoiceId}) {
        EXPECT_FALSE(raw.contains(secret.toUtf8())) << secret.toStdString();
    }
    EXPECT_TRUE(quiet->rawOut().isEmpty()) << quiet->rawOut().left(2000).toStdString();

    // With --verbose the whole exchange, customers' details included, is on standard output;
    // standard error stays the same.
    const auto verbose = runRush(true, mark + QStringLiteral("v"));
    const QByteArray out = verbose->rawOut();
    for (const QString& secret : {kName, kPhone, kAddress, kInvoiceName, kInvoicePhone, kInvoiceAddress, kInvoiceId}) {
        EXPECT_TRUE(out.contains(secret.toUtf8())) << secret.toStdString();
        EXPECT_FALSE(verbose->rawErr().contains(secret.toUtf8())) << secret.toStdString();
    }
    EXPECT_EQ(verbose->err().size(), log.size()) << verbose->err().join(u'\n').toStdString();
    figure(QStringLiteral("log/rush"), QStringLiteral("30 documents in 3 answers: %1 lines on standard error (%2 per "
                                                      "answer, %3 per document, start and stop), %4 bytes; with "
                                                      "--verbose %5 bytes on standard output")
                                           .arg(log.size()).arg(answers.size()).arg(documents.size()).arg(raw.size())
                                           .arg(out.size()));
}

}  // namespace
}  // namespace kelmora::testing
