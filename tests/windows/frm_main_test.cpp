#include "windows/frm_main.h"

#include "settings/frm_impresion.h"
#include "settings/scripted_prompts.h"
#include "tray/widget_test_app.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace kelmora::windows {
namespace {

using shell::EstadoIcono;

class FrmMainTest : public ::testing::Test {
protected:
    explicit FrmMainTest(bool hayBandeja = true) {
        QFile acceso(carpeta.filePath(QStringLiteral("Acceso")));
        if (acceso.open(QIODevice::WriteOnly)) acceso.write("123451234512345\r\n");
        acceso.close();
        frm = std::make_unique<frmMain>(frmMain::Partes{carpeta.path(), prompts, [this] { ++terminado; },
                                                        [this](const QString& l) { respaldo << l; }, hayBandeja});
    }

    QTemporaryDir carpeta;
    testing::ScriptedPrompts prompts;
    int terminado = 0;
    QStringList respaldo;
    std::unique_ptr<frmMain> frm;
};

class FrmMainWithoutAreaTest : public FrmMainTest {
protected:
    FrmMainWithoutAreaTest() : FrmMainTest(false) {}
};

// ---- the window ----

TEST_F(FrmMainTest, CaptionButtonAndRequestFields) {
    EXPECT_EQ(frm->windowTitle(), QStringLiteral("Kelmora V3.0"));
    EXPECT_FALSE(frm->windowIcon().isNull());
    EXPECT_EQ(frm->Command1->text(), QStringLiteral("Pausar Reloj"));
    EXPECT_EQ(frm->lblDatos->text(), QStringLiteral("\nPOST\n/\n"));
    EXPECT_EQ(frm->txtConsole->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(frm->txtConsole->isReadOnly());
}

TEST_F(FrmMainTest, TheButtonAsksThePollCycleAndShowsItsCaption) {
    QSignalSpy pulsado(frm.get(), &frmMain::Command1Click);
    frm->Command1->click();
    EXPECT_EQ(pulsado.count(), 1);
    frm->mostrarBotonReloj(QStringLiteral("Reanudar Reloj"));
    EXPECT_EQ(frm->Command1->text(), QStringLiteral("Reanudar Reloj"));
}

TEST_F(FrmMainTest, HiddenUnlessOnASupportWorkstation) {
    frm->mostrarVentana(true);
    EXPECT_TRUE(frm->isVisible());
    frm->mostrarVentana(false);
    EXPECT_FALSE(frm->isVisible());
}

TEST_F(FrmMainWithoutAreaTest, WithoutANotificationAreaTheWindowStays) {
    frm->mostrarVentana(false);
    EXPECT_TRUE(frm->isVisible());
}

// ---- the console ----

TEST_F(FrmMainTest, EntriesAreAppendedOneLineEachWithTheCaretAtTheEnd) {
    frm->escribirConsola(QStringLiteral("Peticion HTTP: \r\n--"));
    frm->escribirConsola(QStringLiteral("http://127.0.0.1:8080/?r=servicio/getImpresiones&idSyA=123451234512345"));
    frm->escribirConsola(QString());
    frm->escribirConsola(QStringLiteral("cuerpo\ncon\rfines\r\nmezclados"));
    EXPECT_EQ(frm->txtConsole->toPlainText(),
              QStringLiteral("Peticion HTTP: \n--\nhttp://127.0.0.1:8080/?r=servicio/getImpresiones&idSyA=123451234512345"
                             "\n\ncuerpo\ncon\nfines\nmezclados\n"));
    EXPECT_EQ(frm->txtConsole->textCursor().position(), frm->txtConsole->document()->characterCount() - 1);

    frm->limpiarConsola();
    EXPECT_TRUE(frm->txtConsole->toPlainText().isEmpty());
    frm->escribirConsola(QStringLiteral("Respuesta: "));
    EXPECT_EQ(frm->txtConsole->toPlainText(), QStringLiteral("Respuesta: \n"));
}

// ---- the tray icon ----

TEST_F(FrmMainTest, TheStatesShowTheirPicturesAndTooltips) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(frm->SysTray().icono().icon().cacheKey(), frm->windowIcon().cacheKey());
    EXPECT_EQ(frm->SysTray().TooltipText(), QStringLiteral("Kelmora Tavrel"));

    const std::pair<EstadoIcono, const QIcon*> estados[] = {{EstadoIcono::Desconectado, &frm->pctDisconected},
                                                            {EstadoIcono::OK, &frm->pctOK},
                                                            {EstadoIcono::Conectado, &frm->pctConected},
                                                            {EstadoIcono::Error, &frm->pctError}};
    for (const auto& [estado, icono] : estados) {
        frm->SetIcon(estado, QStringLiteral("estado %1").arg(int(estado)));
        EXPECT_EQ(frm->SysTray().icono().icon().cacheKey(), icono->cacheKey());
        EXPECT_EQ(frm->SysTray().icono().toolTip(), QStringLiteral("estado %1").arg(int(estado)));
    }
    EXPECT_EQ(frm->SysTray().TooltipText(), QStringLiteral("Kelmora Tavrel"));
    EXPECT_TRUE(frm->txtConsole->toPlainText().isEmpty());
    EXPECT_TRUE(respaldo.isEmpty());
}

TEST_F(FrmMainWithoutAreaTest, BalloonsAndIconChangesGoToBothConsoles) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    frm->SetIcon(EstadoIcono::Desconectado, QStringLiteral("Conectando"));
    frm->SysTray().ShowBalloonTip(QStringLiteral("Sistema funcionando correctamente"),
                                  platform::BalloonIcon::Information, QStringLiteral("Sistema de impresora"),
                                  platform::kBalloonMilliseconds);
    const QStringList esperado = {
        QStringLiteral("Icono: Conectando"),
        QStringLiteral("Globo [informacion] Sistema de impresora: Sistema funcionando correctamente")};
    EXPECT_EQ(respaldo, esperado);
    EXPECT_EQ(frm->txtConsole->toPlainText(), esperado.join(u'\n') + u'\n');
}

TEST_F(FrmMainTest, ABalloonClickOpensTheSettingsWindowModeless) {
    emit frm->SysTray().icono().messageClicked();
    settings::frmImpresion* ajustes = frm->ajustesAbiertos();
    ASSERT_NE(ajustes, nullptr);
    EXPECT_TRUE(ajustes->isVisible());
    EXPECT_FALSE(ajustes->isModal());
    EXPECT_EQ(ajustes->txtCodigo->text(), QStringLiteral("123451234512345"));
    EXPECT_EQ(ajustes->windowIcon().cacheKey(), frm->windowIcon().cacheKey());

    // A second click brings the same window forward.
    emit frm->SysTray().icono().messageClicked();
    EXPECT_EQ(frm->ajustesAbiertos(), ajustes);
    ajustes->Command3->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frm->ajustesAbiertos(), nullptr);
}

TEST_F(FrmMainTest, DoubleAndRightClicksOpenItModally) {
    for (const auto razon : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context}) {
        bool modal = false;
        QTimer::singleShot(0, [&] {
            settings::frmImpresion* ajustes = frm->ajustesAbiertos();
            ASSERT_NE(ajustes, nullptr);
            modal = ajustes->isModal() && QApplication::activeModalWidget() == ajustes;
            ajustes->Command3->click();
        });
        emit frm->SysTray().icono().activated(razon);
        EXPECT_TRUE(modal);
        EXPECT_EQ(frm->ajustesAbiertos(), nullptr);
    }
    // A single click opens nothing.
    emit frm->SysTray().icono().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(frm->ajustesAbiertos(), nullptr);
}

TEST_F(FrmMainTest, TheSettingsWindowCanEndTheService) {
    emit frm->SysTray().icono().messageClicked();
    ASSERT_NE(frm->ajustesAbiertos(), nullptr);
    frm->ajustesAbiertos()->Command1->click();
    EXPECT_EQ(terminado, 1);
}

TEST_F(FrmMainTest, ClosingTheWindowRemovesTheIcon) {
    QSignalSpy descargada(frm.get(), &frmMain::descargada);
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    frm->show();
    ASSERT_TRUE(frm->SysTray().icono().isVisible());
    frm->close();
    EXPECT_FALSE(frm->SysTray().icono().isVisible());
    EXPECT_EQ(descargada.count(), 1);
}

}  // namespace
}  // namespace kelmora::windows
