#include "platform/direct/direct_printer_system.h"
#include "platform/virtual_printers.h"

#include "support/core_application.h"
#include "support/receipt_printer_standin.h"

#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace kelmora::platform {
namespace {

using Change = DirectPrinterSystem::StateChange;

struct Told {
    QString printer;
    Change change;
    QString problem;
};

TEST(DirectPrinterSystem, TheSettingsPrintersComeFirstAreProbedByTheirStatusAndToldOncePerChange) {
    testing::ReceiptPrinterStandIn cocina;
    testing::ReceiptPrinterStandIn barra;  // no return channel
    barra.setReturnChannel(false);
    QTemporaryDir folder;
    const QString path = folder.filePath(kSettingsFileName);
    {
        QFile ini(path);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[General]\npredeterminada= cocina \n[Cocina]\nconexion=%1\nrollo=58\n"
                                 "[Barra 1]\nconexion=%2\n[Bar]\nconexion=lpt1\n[Horno]\nconexion=socket://127.0.0.1:1\n")
                      .arg(cocina.address(), barra.address())
                      .toUtf8());
    }
    const SettingsFile file = SettingsFile::read(path);
    EXPECT_TRUE(file.problems().isEmpty()) << file.problems().join(u'\n').toStdString();
    QStringList problems;
    std::vector<DirectPrinterSystem::Printer> direct = DirectPrinterSystem::fromSettings(file, problems);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems.first().contains(QStringLiteral("[Bar] conexion=lpt1")));

    VirtualPrinterSystem::Options virtualOptions;
    virtualOptions.printers = {QStringLiteral("COCINA "), QStringLiteral("Bar"), QStringLiteral("Facturas")};
    virtualOptions.defaultPrinter = QStringLiteral("Facturas");
    auto others = std::make_unique<VirtualPrinterSystem>(virtualOptions);
    VirtualPrinterSystem& virtualPrinters = *others;
    std::vector<Told> told;
    direct::LinkBounds bounds;
    bounds.connect = std::chrono::milliseconds(500);
    bounds.statusReply = std::chrono::milliseconds(300);
    DirectPrinterSystem printers(std::move(direct), std::move(others), file.service().defaultPrinter,
                                 [&](const QString& printer, Change change, const QString& problem) {
                                     told.push_back({printer, change, problem});
                                 },
                                 bounds);

    // The queue of Cocina's name is hidden by the printer itself; the default is the settings'.
    QStringList names = printers.printerNames();
    EXPECT_EQ(names.mid(3), (QStringList{"Bar", "Facturas"}));
    names.sort();
    EXPECT_EQ(names, (QStringList{"Bar", "Barra 1", "Cocina", "Facturas", "Horno"}));
    const auto at = [&](const char* name) { return static_cast<int>(printers.printerNames().indexOf(name)); };
    EXPECT_EQ(printers.defaultPrinterName(), QStringLiteral("Cocina"));
    EXPECT_EQ(printers.current().deviceName(), QStringLiteral("Cocina"));

    // A document on each kind of printer: the direct ones confirmed (or, without a return
    // channel, sent), the other system's as before.
    const auto print = [&](const char* name) {
        Printer& printer = printers.select(at(name));
        printer.probe();
        printer.closeProbe();
        printer.printLine(QStringLiteral("SOPA DEL DIA"));
        printer.endDoc();
    };
    for (const char* name : {"Cocina", "Barra 1", "Barra 1", "Bar"}) print(name);
    EXPECT_EQ(printers.deliveries(), 4u);
    EXPECT_EQ(printers.lastDelivery().printer, QStringLiteral("Bar"));
    ASSERT_EQ(virtualPrinters.delivered().size(), 1u);
    EXPECT_EQ(cocina.documents().size(), 1);
    EXPECT_TRUE(cocina.documents().first().contains(QStringLiteral("SOPA DEL DIA")));
    EXPECT_EQ(barra.documents().size(), 2);
    EXPECT_EQ(barra.statusRequests(), 3);  // asked once, then known to have no return channel
    // The drawer's pulse goes raw to the current printer, Cocina here.
    printers.select(at("Cocina"));
    printers.sendRaw(QByteArray("\x1b\x70\x00\x3c\xf0", 5));
    EXPECT_EQ(printers.lastDelivery().printer, QStringLiteral("Cocina"));

    // Out of paper: the probe fails naming it, told once however often it is asked.
    cocina.setPaperOut(true);
    for (int i = 0; i < 3; ++i) {
        try {
            printers.select(at("Cocina")).probe();
            ADD_FAILURE() << "the probe passed without paper";
        } catch (const PrinterError& error) {
            EXPECT_EQ(error.description(), QStringLiteral("Cocina: sin papel"));
            EXPECT_EQ(error.scope(), PrinterError::Scope::Printer);
        }
    }
    cocina.setPaperOut(false);
    printers.idle();  // too soon after the failure: not asked yet
    EXPECT_EQ(told.size(), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(DirectPrinterSystem::kFailureMemoryMs + 100));
    printers.idle();
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0].change, Change::NoStatus);
    EXPECT_EQ(told[0].printer, QStringLiteral("Barra 1"));
    EXPECT_EQ(told[1].change, Change::Trouble);
    EXPECT_EQ(told[1].problem, QStringLiteral("sin papel"));
    EXPECT_EQ(told[2].change, Change::Recovered);

    // Nobody listening on its port: "no responde", told once.
    for (int i = 0; i < 3; ++i) EXPECT_THROW(printers.select(at("Horno")).probe(), PrinterError);
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told.back().printer, QStringLiteral("Horno"));
    EXPECT_EQ(told.back().problem, QStringLiteral("no responde"));

    QHash<QString, PrinterSystem::PrinterState> states;
    for (const PrinterSystem::PrinterState& state : printers.printerStates()) states.insert(state.name, state);
    ASSERT_EQ(states.size(), 5);
    EXPECT_EQ(states["Cocina"].reachedBy, cocina.address());
    EXPECT_EQ(states["Cocina"].state, QStringLiteral("lista"));
    EXPECT_EQ(states["Horno"].state, QStringLiteral("no responde"));
    EXPECT_EQ(states["Barra 1"].state, QStringLiteral("sin estado: se da por impreso lo enviado"));
}

}  // namespace
}  // namespace kelmora::platform
