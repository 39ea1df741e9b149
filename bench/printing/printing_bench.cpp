// Paper timing, against the floor of CUPS accepting the same bytes submitted straight through
// libcups:
//  - an answer of 50 kitchen tickets and 10 invoices printed to PDF in memory and to CUPS queues
//    with a driver, in milliseconds per document;
//  - an answer of 5 kitchen tickets and 1 invoice with its logo on receipt printers (raw queues,
//    ESC/POS), from the payload to the last job accepted.
// Needs a CUPS server with the queues "Cocina", "Bar" and "Facturas" (with a driver that takes
// PDF) and the raw queues "Termica" and "Barra_1" described as "Barra 1" (scripts/bench-printing
// starts a private one).
//
// Usage: printing_bench [ROUNDS]   (default 5; each figure is the median round)
#include "json/json_reader.h"
#include "platform/cups/cups_printer_system.h"
#include "platform/qt/pdf_printer_system.h"
#include "platform/qt/qt_picture_loader.h"
#include "platform/text/text_printer.h"
#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_pictures.h"
#include "printing/contexto_ticket.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"
#include "bench_support.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace kelmora {
namespace {

using bench::CountingTray;
using bench::writeLogo;

constexpr int kKitchenTickets = 50;
constexpr int kInvoices = 10;
constexpr double kTicketTargetMs = 10;  // payload to job accepted, per kitchen ticket
constexpr double kFloorFactor = 2;      // at most this many times the floor
// Receipt printers: a rush's answer, whole, from payload to the last job accepted.
constexpr int kReceiptTickets = 5;
constexpr double kReceiptAnswerTargetMs = 60;
constexpr double kReceiptFloorFactor = 1.5;

const QStringList kQueues{QStringLiteral("Bar"), QStringLiteral("Cocina"), QStringLiteral("Facturas")};

// The answer's settings: a 75 mm roll and a full invoice header.
QString settingsJson() {
    const QList<std::pair<QString, QString>> settings{
        {QStringLiteral("Tamaño de Factura"), QStringLiteral("rollo 75mm")},
        {QStringLiteral("Tamano de Factura"), QStringLiteral("rollo 75mm")},
        {QStringLiteral("Valores En Comanda"), QStringLiteral("1")},
        {QStringLiteral("Nombre Establecimiento"), QStringLiteral("Restaurante El Fogón")},
        {QStringLiteral("Actividad Economica"), QStringLiteral("Expendio de comidas preparadas")},
        {QStringLiteral("Tipo Identificacion"), QStringLiteral("NIT")},
        {QStringLiteral("Numero Identificacion"), QStringLiteral("900.555.111-2")},
        {QStringLiteral("Direccion"), QStringLiteral("Calle 10 # 4-20 Centro")},
        {QStringLiteral("Telefono 1"), QStringLiteral("6015551234")},
        {QStringLiteral("Regimen"), QStringLiteral("Comun")},
        {QStringLiteral("Nombre Regimen"), QStringLiteral("Responsable de IVA")},
        {QStringLiteral("Resolucion Dian Facturacion"), QStringLiteral("18764000001234")},
        {QStringLiteral("Resolucion Dian Fecha"), QStringLiteral("2024-01-15")},
        {QStringLiteral("Factura Prefijo"), QStringLiteral("FE")},
        {QStringLiteral("Factura Inicial"), QStringLiteral("1000")},
        {QStringLiteral("Factura Final"), QStringLiteral("5000")},
        {QStringLiteral("Pie de Factura"), QStringLiteral("Esta factura se asimila a una letra de cambio")},
        {QStringLiteral("Hora Factura"), QStringLiteral("1")},
        {QStringLiteral("Nombre Mesero Factura"), QStringLiteral("1")},
        {QStringLiteral("Propina"), QStringLiteral("Aplica")},
        {QStringLiteral("Servicio"), QStringLiteral("10")},
    };
    QStringList entries;
    for (const auto& [name, value] : settings) {
        entries << QStringLiteral(R"({"Nombre": "%1", "Descripcion": "%2", "Visible": "1"})").arg(name, value);
    }
    return u'[' + entries.join(u',') + u']';
}

QString kitchenTicketJson(int n) {
    return QStringLiteral(R"({"area": "%1", "titulo": null, "nomMesa": "Mesa %2", "responsable": "Andrés",
        "nPedido": %3, "fecha": "2024-03-03 13:15", "clienteNombre": "", "clienteTelefono": "",
        "clienteDireccion": "", "codPlataforma": "",
        "productos": [
          {"nombre": "Cazuela de mariscos", "cantidad": 2, "valor": 84000, "detalle": ["Una sin picante"]},
          {"nombre": "Patacón con hogao", "cantidad": 1, "valor": 9500, "detalle": []},
          {"nombre": "Limonada de coco", "cantidad": 3, "valor": 28500, "detalle": ["Sin azúcar", "Poco hielo"]}
        ]})")
        .arg(n % 2 == 0 ? QStringLiteral("Cocina") : QStringLiteral("Bar"))
        .arg(n % 20 + 1)
        .arg(5000 + n);
}

QString invoiceJson(int n) {
    return QStringLiteral(R"({"idFactura": %1, "mesa": 12, "tipoCuenta": "Factura de venta", "idFacturaCuenta": %2,
        "nomMesa": "Mesa 12", "fechaFactura": "2024-03-03", "horaFactura": "17:05", "vendedor": "Carlos",
        "pedido": [
          {"NombreProducto": "Bandeja paisa especial de la casa", "Cantidad": 2, "Valor": 64000,
           "Detalle": "Sin chicharrón<br/>Huevo aparte"},
          {"NombreProducto": "Limonada de coco", "Cantidad": 1, "Valor": 9500, "Detalle": null},
          {"NombreProducto": "Arroz adicional", "Cantidad": 1, "Valor": 0, "Detalle": "Cortesia"}
        ],
        "descuento": 0, "DescuentoIndividual": 0, "totalPagar": 73500, "cuentaCerrada": true,
        "mediosPago": [{"Producto": "MEDIO DE PAGO Efectivo", "Detalle": "", "Valor": 80850}],
        "totalPagado": 73500, "totalPagadoPropina": 7350, "pagoEfectivo": 100000, "cambioEfectivo": 19150,
        "tipoMesa": "MESA", "cliente": null, "propinaSugerida": 7350, "CntGroupon": 0,
        "impuestos": [{"nombre": "Impoconsumo 8%", "base": 68055.56, "valor": 5444.44}],
        "pieFactura": "Vuelva pronto", "permanencia": 85, "nPersonas": 3, "fechaLimitePago": ""})")
        .arg(9000 + n)
        .arg(1200 + n);
}

Value answer(int kitchenTickets = kKitchenTickets, int invoiceCount = kInvoices, bool receiptPrinters = false) {
    QStringList tickets;
    for (int i = 0; i < kitchenTickets; ++i) {
        QString ticket = kitchenTicketJson(i);
        // On receipt printers: the raw queue and the one known by its description.
        if (receiptPrinters) {
            ticket.replace(QStringLiteral(R"("area": "Cocina")"), QStringLiteral(R"("area": "Termica")"));
            ticket.replace(QStringLiteral(R"("area": "Bar")"), QStringLiteral(R"("area": "Barra 1")"));
        }
        tickets << ticket;
    }
    QStringList invoices;
    for (int i = 0; i < invoiceCount; ++i) invoices << invoiceJson(i);
    JsonReader reader;
    const Value payload = reader.leerJSON(QStringLiteral(R"({"config": %1, "comanda": [%2], "factura": [%3]})")
                                              .arg(settingsJson(), tickets.join(u','), invoices.join(u',')));
    if (!reader.erroresJSON().isEmpty()) {
        std::fprintf(stderr, "bad bench answer: %s\n", qPrintable(reader.erroresJSON()));
        std::exit(2);
    }
    return payload;
}

// Milliseconds per document of the median round.
double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double millisecondsPer(int documents, const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6 / documents;
}

// The kitchen tickets and the invoices of the answer on a printer system, timed apart.
struct Timing {
    std::vector<double> ticket;
    std::vector<double> invoice;
};

// The print foundation the tickets print through, on a printer system, with the answer's settings.
struct Bench {
    Bench(platform::PrinterSystem& printers, CountingTray& tray, const Value& payload, const QString& folder)
        : selection(printers, tray), layout(selection, settings),
          printing{settings, selection, layout, tray, clock, pictures, folder} {
        settings.actualizar(payload[u"config"].toCollection());
    }
    platform::FixedClock clock{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9))};
    platform::QtPictureLoader pictures;
    ConfigImpresion settings{QLocale(QLocale::Spanish, QLocale::Colombia)};
    SeleccionImpresora selection;
    TextoTicket layout;
    const ContextoTicket printing;
};

// The whole answer, as the dispatcher prints it; milliseconds.
double printWhole(platform::PrinterSystem& printers, const Value& payload, CountingTray& tray, const QString& folder) {
    return millisecondsPer(1, [&] {
        const Bench bench(printers, tray, payload, folder);
        imprimirComandas(bench.printing, payload[u"comanda"].toCollection());
        for (const Value& factura : payload[u"factura"].toCollection()) imprimirFactura(bench.printing, factura);
    });
}

void printAnswer(platform::PrinterSystem& printers, const Value& payload, Timing& timing, CountingTray& tray) {
    // No logo: the program folder is the bench's own.
    const Bench bench(printers, tray, payload, QStringLiteral("/nonexistent"));
    timing.ticket.push_back(millisecondsPer(kKitchenTickets, [&] {
        imprimirComandas(bench.printing, payload[u"comanda"].toCollection());
    }));
    timing.invoice.push_back(millisecondsPer(kInvoices, [&] {
        for (const Value& factura : payload[u"factura"].toCollection()) imprimirFactura(bench.printing, factura);
    }));
}

// Waits until the server has printed every job, so that the next round does not share the
// machine with the queues' backends.
void drainQueues() {
    for (int i = 0; i < 500; ++i) {
        cups_job_t* jobs = nullptr;
        const int active = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ACTIVE);
        cupsFreeJobs(active, jobs);
        if (active <= 0) return;
        QThread::msleep(20);
    }
}

// The floor: one job of the given bytes, straight through libcups.
bool submitDirectly(const QString& queue, const QByteArray& pdf, const char* format = CUPS_FORMAT_PDF) {
    const QByteArray name = queue.toUtf8();
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), "floor", 0, nullptr);
    if (job <= 0) return false;
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, "floor", format, 1) != HTTP_STATUS_CONTINUE) {
        return false;
    }
    const bool written = cupsWriteRequestData(CUPS_HTTP_DEFAULT, pdf.constData(), static_cast<size_t>(pdf.size())) ==
                         HTTP_STATUS_CONTINUE;
    return cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData()) == IPP_STATUS_OK && written;
}

// Receipt printers: 5 kitchen tickets on the raw queues and an invoice with its logo on
// "Facturas", which the settings make a receipt printer too; the whole answer, against the same
// ESC/POS bytes submitted straight through libcups.
int runReceipts(int rounds, CountingTray& tray) {
    QTemporaryDir program;
    if (!writeLogo(program.filePath(QStringLiteral("logo.bmp")))) return 2;
    const Value payload = answer(kReceiptTickets, 1, true);
    const auto settings = [](const QStringList& names) {
        platform::PrinterSettings printer;
        if (names.contains(QStringLiteral("Facturas"))) printer.output = platform::PrinterOutput::EscPos;
        return printer;
    };

    // The bytes, encoded as the receipt printers' backend does, for the floor.
    struct Encoded {
        QString queue;
        QByteArray bytes;
    };
    std::vector<Encoded> encoded;
    paper::escpos::DitheringRasterizer rasterizer;
    platform::TextPrinterSystem preview(
        platform::TextPrinterSystem::Options{{QStringLiteral("Termica"), QStringLiteral("Barra 1"), QStringLiteral("Facturas")},
                                             QStringLiteral("Facturas"), {}},
        [&](const QString& device, const paper::Document& document) {
            paper::escpos::EscPosProfile profile;
            profile.followLayout(document.paperWidthMm);
            encoded.push_back({device == u"Barra 1" ? QStringLiteral("Barra_1") : device,
                               paper::escpos::encodeEscPos(document, profile, &rasterizer)});
        });
    printWhole(preview, payload, tray, program.path());

    platform::CupsPrinterSystem system(75, settings);
    std::vector<double> answerMs;
    for (int round = 0; round < rounds; ++round) {
        drainQueues();
        answerMs.push_back(printWhole(system, payload, tray, program.path()));
    }
    std::vector<double> floorMs;
    for (int round = 0; round < rounds; ++round) {
        drainQueues();
        bool accepted = true;
        floorMs.push_back(millisecondsPer(1, [&] {
            for (const Encoded& e : encoded) accepted = submitDirectly(e.queue, e.bytes, CUPS_FORMAT_RAW) && accepted;
        }));
        if (!accepted) {
            std::fprintf(stderr, "CUPS refused a job: %s\n", cupsLastErrorString());
            return 2;
        }
    }
    drainQueues();
    if (tray.failures > 0 || encoded.size() != kReceiptTickets + 1) {
        std::fprintf(stderr, "the receipt answer did not print whole: %zu documents, %d failures\n", encoded.size(),
                     tray.failures);
        return 2;
    }
    size_t bytes = 0;
    for (const Encoded& e : encoded) bytes += static_cast<size_t>(e.bytes.size());
    const double whole = median(answerMs);
    const double factor = whole / median(floorMs);
    std::printf("\nreceipt printers (ESC/POS on raw queues), median of %d rounds: %d kitchen tickets and 1 invoice with "
                "its logo\n", rounds, kReceiptTickets);
    std::printf("%-16s %12s %12s %9s %9s\n", "answer", "CUPS jobs", "floor", "vs floor", "bytes");
    std::printf("%-16s %12.2f %12.2f %8.2fx %9zu\n", "whole answer", whole, median(floorMs), factor, bytes);
    std::printf("target: the answer under %.0f ms from payload to the last job accepted (%s) and within %.1fx the "
                "floor (%s)\n",
                kReceiptAnswerTargetMs, whole < kReceiptAnswerTargetMs ? "met" : "missed", kReceiptFloorFactor,
                factor <= kReceiptFloorFactor ? "met" : "missed");
    return 0;
}

int run(int rounds) {
    const Value payload = answer();
    CountingTray tray;

    // PDF in memory, keeping the bytes of the first round for the floor.
    struct Painted {
        QString queue;
        QByteArray pdf;
    };
    std::vector<Painted> tickets;
    std::vector<Painted> invoices;
    Timing memory;
    for (int round = 0; round < rounds; ++round) {
        platform::PdfPrinterSystem printers(
            platform::PdfPrinterSystem::Options{kQueues, QStringLiteral("Facturas"), {}, 75},
            [&](const QString& device, const paper::Document&, const QByteArray& pdf) {
                if (round != 0) return;
                (device == u"Facturas" ? invoices : tickets).push_back({device, pdf});
            });
        printAnswer(printers, payload, memory, tray);
    }

    platform::CupsPrinterSystem system(75);
    const QStringList needed = kQueues + QStringList{QStringLiteral("Termica"), QStringLiteral("Barra 1")};
    for (const QString& queue : needed) {
        if (!system.printerNames().contains(queue)) {
            std::fprintf(stderr, "needs a CUPS server with the queues %s (found: %s)\n", qPrintable(needed.join(u',')),
                         qPrintable(system.printerNames().join(u',')));
            return 2;
        }
    }
    Timing cups;
    for (int round = 0; round < rounds; ++round) {
        drainQueues();
        printAnswer(system, payload, cups, tray);
    }

    Timing floor;
    for (int round = 0; round < rounds; ++round) {
        drainQueues();
        bool accepted = true;
        floor.ticket.push_back(millisecondsPer(static_cast<int>(tickets.size()), [&] {
            for (const Painted& p : tickets) accepted = submitDirectly(p.queue, p.pdf) && accepted;
        }));
        floor.invoice.push_back(millisecondsPer(static_cast<int>(invoices.size()), [&] {
            for (const Painted& p : invoices) accepted = submitDirectly(p.queue, p.pdf) && accepted;
        }));
        if (!accepted) {
            std::fprintf(stderr, "CUPS refused a job: %s\n", cupsLastErrorString());
            return 2;
        }
    }
    drainQueues();

    if (tray.failures > 0 || tickets.size() != kKitchenTickets || invoices.size() != kInvoices) {
        std::fprintf(stderr, "the answer did not print whole: %zu tickets, %zu invoices, %d failures\n",
                     tickets.size(), invoices.size(), tray.failures);
        return 2;
    }

    const auto line = [](const char* what, const std::vector<double>& pdf, const std::vector<double>& queued,
                         const std::vector<double>& base, size_t bytes) {
        std::printf("%-16s %10.2f %12.2f %12.2f %8.2fx %9zu\n", what, median(pdf), median(queued), median(base),
                    median(queued) / median(base), bytes);
    };
    size_t ticketBytes = 0;
    for (const Painted& p : tickets) ticketBytes += static_cast<size_t>(p.pdf.size());
    size_t invoiceBytes = 0;
    for (const Painted& p : invoices) invoiceBytes += static_cast<size_t>(p.pdf.size());

    std::printf("ms per document, median of %d rounds (%d kitchen tickets, %d invoices per round)\n", rounds,
                kKitchenTickets, kInvoices);
    std::printf("%-16s %10s %12s %12s %9s %9s\n", "document", "PDF", "CUPS job", "floor", "vs floor", "PDF bytes");
    line("kitchen ticket", memory.ticket, cups.ticket, floor.ticket, ticketBytes / tickets.size());
    line("invoice", memory.invoice, cups.invoice, floor.invoice, invoiceBytes / invoices.size());
    const double ticketMs = median(cups.ticket);
    const double factor = ticketMs / median(floor.ticket);
    std::printf("target: a kitchen ticket under %.0f ms from payload to job accepted (%s) and within %.0fx the "
                "floor (%s)\n",
                kTicketTargetMs, ticketMs < kTicketTargetMs ? "met" : "missed", kFloorFactor,
                factor <= kFloorFactor ? "met" : "missed");
    return runReceipts(rounds, tray);
}

}  // namespace
}  // namespace kelmora

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    return kelmora::run(rounds);
}
