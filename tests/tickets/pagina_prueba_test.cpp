// The test page asked for from the tray.
#include "support/test_support.h"

#include "printing/escpos/escpos_encoder.h"
#include "printing/escpos/escpos_interpreter.h"
#include "tickets/pagina_prueba.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

using paper::escpos::CodePage;
using paper::escpos::EscPosProfile;
using platform::PrinterSystem;

const QDateTime kAhora(QDate(2026, 3, 14), QTime(21, 30, 5));

// What a receipt printer puts on paper from the page, row by row, words one blank apart.
QStringList enPapel(const paper::Document& pagina, const EscPosProfile& perfil) {
    QStringList filas;
    for (const paper::escpos::PaperTextRow& fila :
         paper::escpos::interpretEscPos(paper::escpos::encodeEscPos(pagina, perfil, nullptr), perfil.printableDots())
             .rows) {
        filas.append(fila.text().simplified());
    }
    return filas;
}

TEST(PaginaPrueba, DiceQueImpresoraEsYSusAcentosSalenEnCadaPaginaDeCodigos) {
    // Two queues, the second described as the first is named: it shows as "Cocina".
    PrintBench banco({QStringLiteral("cocina"), QStringLiteral("cocina2"), QStringLiteral("Facturas")},
                     QStringLiteral("Facturas"));
    for (const CodePage codigos : {CodePage::WPC1252, CodePage::PC858, CodePage::PC850}) {
        EscPosProfile perfil;
        perfil.rollMm = 58;
        perfil.codePage = codigos;
        const PrinterSystem::PrinterState cocina{QStringLiteral("Cocina"), QStringLiteral("CUPS (cocina2)"),
                                                 QStringLiteral("ESC/POS"), QStringLiteral("lista"), perfil.describe(),
                                                 false, QStringLiteral("cocina2")};
        ASSERT_EQ(imprimirPaginaPrueba(banco.printers, cocina, kAhora), std::nullopt);
        const auto& enviado = banco.printers.delivered().back();
        // Exactly the printer chosen, by the name it is selected by.
        EXPECT_EQ(enviado.deviceName, QStringLiteral("cocina2"));
        EXPECT_EQ(enviado.jobTitle, kClasePaginaPrueba);

        const QStringList filas = enPapel(enviado.document, perfil);
        for (const QString& esperada :
             {QStringLiteral("PÁGINA DE PRUEBA"), QStringLiteral("Impresora: Cocina"),
              QStringLiteral("Conexión: CUPS (cocina2)"), QStringLiteral("Rollo: 58 mm, 384 puntos"),
              QStringLiteral("Códigos: ") + (codigos == CodePage::WPC1252 ? QStringLiteral("WPC1252")
                                             : codigos == CodePage::PC858 ? QStringLiteral("PC858")
                                                                          : QStringLiteral("PC850")),
              QStringLiteral("á é í ó ú ü ñ Á É Í Ó Ú Ü Ñ"), QStringLiteral("¿Cuánto? ¡Listo!"),
              // The one character that tells PC850 from PC858.
              codigos == CodePage::PC850 ? QStringLiteral("Euro: ?") : QStringLiteral("Euro: €"),
              QStringLiteral("Fecha: 2026-03-14 21:30:05")}) {
            EXPECT_TRUE(filas.contains(esperada)) << esperada.toStdString() << "\n" << filas.join(u'\n').toStdString();
        }
    }
    EXPECT_EQ(banco.printers.delivered().size(), 3u);
    EXPECT_TRUE(banco.notifier.balloons.empty());
}

TEST(PaginaPrueba, UnaImpresoraQueNoPuedeNoLaDesviaAOtra) {
    PrintBench banco({QStringLiteral("Cocina"), QStringLiteral("Facturas")}, QStringLiteral("Facturas"));
    banco.printers.setOffline(QStringLiteral("Cocina"), true);
    const PrinterSystem::PrinterState cocina{QStringLiteral("Cocina"), {}, {}, {}};
    const std::optional<QString> motivo = imprimirPaginaPrueba(banco.printers, cocina, kAhora);
    ASSERT_TRUE(motivo.has_value());
    EXPECT_TRUE(motivo->contains(QStringLiteral("Cocina"))) << motivo->toStdString();

    const PrinterSystem::PrinterState barra{QStringLiteral("Barra"), {}, {}, {}};
    EXPECT_EQ(imprimirPaginaPrueba(banco.printers, barra, kAhora),
              QStringLiteral("La impresora Barra no está instalada"));
    EXPECT_TRUE(banco.printers.delivered().empty());

    // Once it can, the page that goes out is whole, with nothing of the failed try before it.
    banco.printers.setOffline(QStringLiteral("Cocina"), false);
    ASSERT_EQ(imprimirPaginaPrueba(banco.printers, cocina, kAhora), std::nullopt);
    ASSERT_EQ(banco.documents().size(), 1);
    EXPECT_TRUE(banco.documents().first().startsWith(QStringLiteral("Cocina\nPÁGINA DE PRUEBA\n")))
        << banco.documents().first().toStdString();
}

}  // namespace
}  // namespace kelmora::testing
