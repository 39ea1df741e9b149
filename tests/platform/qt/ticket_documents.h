#pragma once

// Every ticket kind printed on the text printers for a roll, with the real logo: the documents that
// paper backends are checked against their text preview with.
#include "support/test_support.h"

#include "platform/qt/qt_picture_loader.h"
#include "tickets/anulacion.h"
#include "tickets/comanda.h"
#include "tickets/factura.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelmora::testing {

enum class TicketKind { Comandas, Anulaciones, Facturas };

struct TicketCase {
    const char* name;
    const char* fixture;  // under tests/data
    TicketKind kind;
    int roll;  // millimetres
};

inline const TicketCase kTicketCases[] = {
    TicketCase{"Comanda55", "tickets/comanda_55.json", TicketKind::Comandas, 55},
    TicketCase{"Comanda75", "tickets/comanda_55.json", TicketKind::Comandas, 75},
    TicketCase{"ComandaConValores55", "tickets/comanda_valores_75.json", TicketKind::Comandas, 55},
    TicketCase{"ComandaConValores75", "tickets/comanda_valores_75.json", TicketKind::Comandas, 75},
    TicketCase{"Anulaciones55", "tickets/anulaciones.json", TicketKind::Anulaciones, 55},
    TicketCase{"Anulaciones75", "tickets/anulaciones.json", TicketKind::Anulaciones, 75},
    TicketCase{"Precuenta55", "invoices/precuenta.json", TicketKind::Facturas, 55},
    TicketCase{"Precuenta75", "invoices/precuenta.json", TicketKind::Facturas, 75},
    TicketCase{"CuentaCerrada55", "invoices/cuenta_cerrada.json", TicketKind::Facturas, 55},
    TicketCase{"CuentaCerrada75", "invoices/cuenta_cerrada.json", TicketKind::Facturas, 75},
    TicketCase{"Domicilio55", "invoices/domicilio.json", TicketKind::Facturas, 55},
    TicketCase{"Domicilio75", "invoices/domicilio.json", TicketKind::Facturas, 75},
    TicketCase{"Cotizacion55", "invoices/cotizacion_55.json", TicketKind::Facturas, 55},
    TicketCase{"Cotizacion75", "invoices/cotizacion_55.json", TicketKind::Facturas, 75}};
inline const auto kEveryTicketOnBothRolls = ::testing::ValuesIn(kTicketCases);

inline void PrintTo(const TicketCase& c, std::ostream* out) { *out << c.name; }

inline std::string ticketCaseName(const ::testing::TestParamInfo<TicketCase>& param) {
    return std::string(param.param.name);
}

// A settings entry that is on.
inline Value setting(const QString& name, const QString& value) {
    Dictionary entry;
    entry.add(QStringLiteral("Nombre"), name);
    entry.add(QStringLiteral("Descripcion"), value);
    entry.add(QStringLiteral("Visible"), QStringLiteral("1"));
    return entry;
}

// The roll's two settings ahead of the others: the first entry of a name is the one that counts.
inline Collection onRoll(int roll, const Value& config) {
    const QString value = QStringLiteral("rollo %1mm").arg(roll);
    Collection settings;
    settings.add(setting(QStringLiteral("Tamaño de Factura"), value));
    settings.add(setting(QStringLiteral("Tamano de Factura"), value));
    if (!config.isEmpty()) {
        for (const Value& entry : config.toCollection()) settings.add(entry);
    }
    return settings;
}

// Prints a case on printers of its own, with the real logo in the program's folder.
class TicketPrinting {
public:
    // Invoices print the logo of the program's folder: a real picture, read by its content.
    bool copyLogo() {
        return QFile::copy(dataPath(QStringLiteral("settings/logo-rojo.gif")),
                           QDir(folder.path()).filePath(QStringLiteral("logo.bmp")));
    }

    // Prints the case's fixture; the documents are in printers.delivered().
    void printCase(const TicketCase& c) {
        const Value answer = parseJson(readDataFile(QString::fromLatin1(c.fixture)));
        switch (c.kind) {
            case TicketKind::Comandas:
                config.actualizar(onRoll(c.roll, answer[u"config"]));
                imprimirComandas(impresion, answer[u"comanda"].toCollection());
                break;
            case TicketKind::Anulaciones:
                config.actualizar(onRoll(c.roll, Value()));
                imprimirAnulaciones(impresion, answer.toCollection());
                break;
            case TicketKind::Facturas:
                config.actualizar(onRoll(c.roll, answer[u"config"]));
                for (const Value& factura : answer[u"factura"].toCollection()) imprimirFactura(impresion, factura);
                break;
        }
    }

    QTemporaryDir folder;
    RecordingNotifier notifier;
    platform::QtPictureLoader pictures;
    platform::FixedClock clock{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9))};
    platform::TextPrinterSystem printers{platform::TextPrinterSystem::Options{
        {QStringLiteral("Facturas"), QStringLiteral("Cocina"), QStringLiteral("Bar")}, QStringLiteral("Facturas"), {}}};
    ConfigImpresion config{QLocale(QLocale::English, QLocale::UnitedStates)};
    SeleccionImpresora seleccion{printers, notifier};
    TextoTicket texto{seleccion, config};
    ContextoTicket impresion{config, seleccion, texto, notifier, clock, pictures, folder.path()};
};

class TicketDocuments : public ::testing::TestWithParam<TicketCase>, protected TicketPrinting {
protected:
    void SetUp() override { ASSERT_TRUE(copyLogo()); }
};

}  // namespace kelmora::testing
