#include "windows/frm_main.h"

#include "settings/frm_impresion.h"
#include "support/service_fakes.h"
#include "tray/aplicacion_widgets.h"

#include <QApplication>
#include <QFile>
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

class VentanaPrincipal : public ::testing::Test {
protected:
    explicit VentanaPrincipal(bool hayBandeja = true) {
        QFile acceso(carpeta.filePath(QStringLiteral("Acceso")));
        if (acceso.open(QIODevice::WriteOnly)) acceso.write("123451234512345\r\n");
        acceso.close();
        frm = std::make_unique<frmMain>(frmMain::Servicios{carpeta.path(), dialogos, [this] { ++terminado; },
                                                        [this](const QString& l) { respaldo << l; }, hayBandeja});
    }

    QTemporaryDir carpeta;
    testing::ScriptedDialogs dialogos;
    int terminado = 0;
    QStringList respaldo;
    std::unique_ptr<frmMain> frm;
};

class VentanaPrincipalSinBandeja : public VentanaPrincipal {
protected:
    VentanaPrincipalSinBandeja() : VentanaPrincipal(false) {}
};

// ---- the window ----

TEST_F(VentanaPrincipal, ElBotonAvisaAlCicloYMuestraSuTexto) {
    QSignalSpy pulsado(frm.get(), &frmMain::relojPulsado);
    frm->botonReloj->click();
    EXPECT_EQ(pulsado.count(), 1);
    frm->mostrarBotonReloj(QStringLiteral("Reanudar Reloj"));
    EXPECT_EQ(frm->botonReloj->text(), QStringLiteral("Reanudar Reloj"));
}

TEST_F(VentanaPrincipal, OcultaSalvoEnUnPuestoDeSoporte) {
    frm->mostrarVentana(true);
    EXPECT_TRUE(frm->isVisible());
    frm->mostrarVentana(false);
    EXPECT_FALSE(frm->isVisible());
}

TEST_F(VentanaPrincipalSinBandeja, SinBandejaLaVentanaSeQueda) {
    frm->mostrarVentana(false);
    EXPECT_TRUE(frm->isVisible());
}

// ---- the console ----

TEST_F(VentanaPrincipal, CadaEntradaVaEnSuLineaConElCursorAlFinal) {
    frm->escribirConsola(QStringLiteral("Peticion HTTP: \r\n--"));
    frm->escribirConsola(QStringLiteral("http://127.0.0.1:8080/?r=servicio/getImpresiones&idSyA=123451234512345"));
    frm->escribirConsola(QString());
    frm->escribirConsola(QStringLiteral("cuerpo\ncon\rfines\r\nmezclados"));
    EXPECT_EQ(frm->consola->toPlainText(),
              QStringLiteral("Peticion HTTP: \n--\nhttp://127.0.0.1:8080/?r=servicio/getImpresiones&idSyA=123451234512345"
                             "\n\ncuerpo\ncon\nfines\nmezclados\n"));
    EXPECT_EQ(frm->consola->textCursor().position(), frm->consola->document()->characterCount() - 1);

    frm->limpiarConsola();
    EXPECT_TRUE(frm->consola->toPlainText().isEmpty());
    frm->escribirConsola(QStringLiteral("Respuesta: "));
    EXPECT_EQ(frm->consola->toPlainText(), QStringLiteral("Respuesta: \n"));
}

// ---- the tray icon ----

TEST_F(VentanaPrincipal, CadaEstadoMuestraSuImagenYSuTooltip) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(frm->SysTray().icono().icon().cacheKey(), frm->windowIcon().cacheKey());

    const std::pair<EstadoIcono, const QIcon*> estados[] = {{EstadoIcono::Desconectado, &frm->iconoDesconectado},
                                                            {EstadoIcono::OK, &frm->iconoOK},
                                                            {EstadoIcono::Conectado, &frm->iconoConectado},
                                                            {EstadoIcono::Error, &frm->iconoError}};
    for (const auto& [estado, icono] : estados) {
        frm->SetIcon(estado, QStringLiteral("estado %1").arg(int(estado)));
        EXPECT_EQ(frm->SysTray().icono().icon().cacheKey(), icono->cacheKey());
        EXPECT_EQ(frm->SysTray().icono().toolTip(), QStringLiteral("estado %1").arg(int(estado)));
    }
    EXPECT_TRUE(frm->consola->toPlainText().isEmpty());
    EXPECT_TRUE(respaldo.isEmpty());
}

TEST_F(VentanaPrincipalSinBandeja, GlobosYCambiosDeIconoVanAAmbasConsolas) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    frm->SetIcon(EstadoIcono::Desconectado, QStringLiteral("Conectando"));
    frm->SysTray().ShowBalloonTip(QStringLiteral("Sistema funcionando correctamente"),
                                  platform::BalloonIcon::Information, QStringLiteral("Sistema de impresora"),
                                  platform::kBalloonMilliseconds);
    const QStringList esperado = {
        QStringLiteral("Icono: Conectando"),
        QStringLiteral("Globo [informacion] Sistema de impresora: Sistema funcionando correctamente")};
    EXPECT_EQ(respaldo, esperado);
    EXPECT_EQ(frm->consola->toPlainText(), esperado.join(u'\n') + u'\n');
}

TEST_F(VentanaPrincipal, PulsarElGloboAbreLosAjustesSinBloquear) {
    emit frm->SysTray().icono().messageClicked();
    settings::frmImpresion* ajustes = frm->ajustesAbiertos();
    ASSERT_NE(ajustes, nullptr);
    EXPECT_TRUE(ajustes->isVisible());
    EXPECT_FALSE(ajustes->isModal());
    EXPECT_EQ(ajustes->campoCodigo->text(), QStringLiteral("123451234512345"));
    EXPECT_EQ(ajustes->windowIcon().cacheKey(), frm->windowIcon().cacheKey());

    // A second click brings the same window forward.
    emit frm->SysTray().icono().messageClicked();
    EXPECT_EQ(frm->ajustesAbiertos(), ajustes);
    ajustes->botonCerrar->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frm->ajustesAbiertos(), nullptr);
}

TEST_F(VentanaPrincipal, DobleClicYClicDerechoLosAbrenModales) {
    for (const auto razon : {QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Context}) {
        bool modal = false;
        QTimer::singleShot(0, [&] {
            settings::frmImpresion* ajustes = frm->ajustesAbiertos();
            ASSERT_NE(ajustes, nullptr);
            modal = ajustes->isModal() && QApplication::activeModalWidget() == ajustes;
            ajustes->botonCerrar->click();
        });
        emit frm->SysTray().icono().activated(razon);
        EXPECT_TRUE(modal);
        EXPECT_EQ(frm->ajustesAbiertos(), nullptr);
    }
    // A single click opens nothing.
    emit frm->SysTray().icono().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(frm->ajustesAbiertos(), nullptr);
}

TEST_F(VentanaPrincipal, LosAjustesPuedenTerminarElServicio) {
    emit frm->SysTray().icono().messageClicked();
    ASSERT_NE(frm->ajustesAbiertos(), nullptr);
    frm->ajustesAbiertos()->botonApagar->click();
    EXPECT_EQ(terminado, 1);
}

TEST_F(VentanaPrincipal, CerrarLaVentanaQuitaElIcono) {
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
