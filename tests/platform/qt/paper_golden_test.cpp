// Every ticket kind on both rolls, printed on the text printers and painted: the paper reads back
// as the preview, and every word stands in the preview's columns, so right-aligned amounts end at
// one x.
#include "platform/qt/pdf_reading.h"
#include "support/test_support.h"

#include "platform/qt/pdf_painter.h"
#include "platform/qt/qt_picture_loader.h"
#include "tickets/anulacion.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"

#include <QDir>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

enum class Kind { Comandas, Anulaciones, Facturas };

struct Case {
    const char* name;
    const char* fixture;  // under tests/data
    Kind kind;
    int roll;  // millimetres
};

// A settings entry that is on.
Value setting(const QString& name, const QString& value) {
    Dictionary entry;
    entry.add(QStringLiteral("Nombre"), name);
    entry.add(QStringLiteral("Descripcion"), value);
    entry.add(QStringLiteral("Visible"), QStringLiteral("1"));
    return entry;
}

// The roll's two settings ahead of the others: the first entry of a name is the one that counts.
Collection onRoll(int roll, const Value& config) {
    const QString value = QStringLiteral("rollo %1mm").arg(roll);
    Collection settings;
    settings.add(setting(QStringLiteral("Tamaño de Factura"), value));
    settings.add(setting(QStringLiteral("Tamano de Factura"), value));
    if (!config.isEmpty()) {
        for (const Value& entry : config.toCollection()) settings.add(entry);
    }
    return settings;
}

class PaperGolden : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        // Invoices print the logo of the program's folder: a real picture, read by its content.
        ASSERT_TRUE(QFile::copy(dataPath(QStringLiteral("settings/logo-rojo.gif")),
                                QDir(folder.path()).filePath(QStringLiteral("logo.bmp"))));
    }

    QTemporaryDir folder;
    RecordingNotifier notifier;
    platform::QtPictureLoader pictures;
    platform::FixedClock clock{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9))};
    platform::NoEventPump events;
    platform::TextPrinterSystem printers{platform::TextPrinterSystem::Options{
        {QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, QStringLiteral("Facturas"), {}}};
    ConfigImpresion config{QLocale(QLocale::English, QLocale::UnitedStates)};
    SeleccionImpresora seleccion{printers, notifier};
    TextoTicket texto{seleccion, config};
    Impresion impresion{config, seleccion, texto, notifier, clock, pictures, events, folder.path()};
};

TEST_P(PaperGolden, ReadsBackAsThePreviewWithEveryWordInItsColumns) {
    const Case& c = GetParam();
    const Value answer = parseJson(readDataFile(QString::fromLatin1(c.fixture)));
    switch (c.kind) {
        case Kind::Comandas:
            config.actualizar(onRoll(c.roll, answer[u"config"]));
            imprimirComandas(impresion, answer[u"comanda"].toCollection());
            break;
        case Kind::Anulaciones:
            config.actualizar(onRoll(c.roll, Value()));
            imprimirAnulaciones(impresion, answer.toCollection());
            break;
        case Kind::Facturas:
            config.actualizar(onRoll(c.roll, answer[u"config"]));
            for (const Value& factura : answer[u"factura"].toCollection()) imprimirFactura(impresion, factura);
            break;
    }
    ASSERT_FALSE(printers.delivered().empty());

    platform::PdfPainter painter(c.roll);
    for (const auto& delivered : printers.delivered()) {
        if (delivered.isRaw) continue;
        SCOPED_TRACE(delivered.deviceName.toStdString() + " " + delivered.document.kind.toStdString());
        const QByteArray pdf = painter.paint(delivered.document);
        EXPECT_EQ(collapsedLines(pdfText(pdf)), collapsedLines(platform::renderText(delivered.document, false)));
        EXPECT_EQ(placementFaults(delivered.document, pdfWords(pdf)), QStringList());
        if (c.kind == Kind::Facturas) {
            EXPECT_EQ(delivered.document.pictures.size(), 1);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOnBothRolls, PaperGolden,
    ::testing::Values(Case{"Comanda55", "tickets/comanda_55.json", Kind::Comandas, 55},
                      Case{"Comanda75", "tickets/comanda_55.json", Kind::Comandas, 75},
                      Case{"ComandaConValores55", "tickets/comanda_valores_75.json", Kind::Comandas, 55},
                      Case{"ComandaConValores75", "tickets/comanda_valores_75.json", Kind::Comandas, 75},
                      Case{"Anulaciones55", "tickets/anulaciones.json", Kind::Anulaciones, 55},
                      Case{"Anulaciones75", "tickets/anulaciones.json", Kind::Anulaciones, 75},
                      Case{"Precuenta55", "invoices/precuenta.json", Kind::Facturas, 55},
                      Case{"Precuenta75", "invoices/precuenta.json", Kind::Facturas, 75},
                      Case{"CuentaCerrada55", "invoices/cuenta_cerrada.json", Kind::Facturas, 55},
                      Case{"CuentaCerrada75", "invoices/cuenta_cerrada.json", Kind::Facturas, 75},
                      Case{"Domicilio55", "invoices/domicilio.json", Kind::Facturas, 55},
                      Case{"Domicilio75", "invoices/domicilio.json", Kind::Facturas, 75},
                      Case{"Cotizacion55", "invoices/cotizacion_55.json", Kind::Facturas, 55},
                      Case{"Cotizacion75", "invoices/cotizacion_55.json", Kind::Facturas, 75}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace kelmora::testing
