#include "tray/cls_systray.h"
#include "tray/iconos.h"
#include "tray/aplicacion_widgets.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace kelmora::tray {
namespace {

using platform::BalloonIcon;

// A tray icon whose clicks are raised by hand, as the notification area would.
class BandejaSistema : public ::testing::Test {
protected:
    explicit BandejaSistema(bool hayBandeja = true)
        : bandeja([this](const QString& linea) { consola << linea; }, hayBandeja) {
        duena.setWindowIcon(iconoAplicacion());
    }
    QWidget duena;
    QStringList consola;
    clsSystray bandeja;
};

class BandejaSistemaSinArea : public BandejaSistema {
protected:
    BandejaSistemaSinArea() : BandejaSistema(false) {}
};

TEST_F(BandejaSistema, LasActivacionesLanzanSusEventos) {
    QSignalSpy izquierdo(&bandeja, &clsSystray::LeftClick);
    QSignalSpy derecho(&bandeja, &clsSystray::RightClick);
    QSignalSpy doble(&bandeja, &clsSystray::DoubleClick);
    QSignalSpy globo(&bandeja, &clsSystray::BalloonClicked);

    // A double click: press, double click, and the notification area's second trigger.
    emit bandeja.icono().activated(QSystemTrayIcon::Trigger);
    emit bandeja.icono().activated(QSystemTrayIcon::DoubleClick);
    emit bandeja.icono().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(izquierdo.count(), 2);
    EXPECT_EQ(doble.count(), 1);
    EXPECT_EQ(derecho.count(), 0);

    emit bandeja.icono().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(derecho.count(), 1);
    EXPECT_EQ(globo.count(), 0);

    emit bandeja.icono().messageClicked();
    EXPECT_EQ(globo.count(), 1);
    EXPECT_EQ(izquierdo.count(), 2);
    EXPECT_EQ(derecho.count(), 1);
    EXPECT_EQ(doble.count(), 1);
}

TEST_F(BandejaSistema, OtrasActivacionesNoLanzanNada) {
    int eventos = 0;
    for (auto senal : {&clsSystray::LeftClick, &clsSystray::RightClick, &clsSystray::DoubleClick,
                       &clsSystray::BalloonHide, &clsSystray::BalloonTimeOut, &clsSystray::BalloonClicked})
        QObject::connect(&bandeja, senal, [&eventos] { ++eventos; });
    emit bandeja.icono().activated(QSystemTrayIcon::MiddleClick);
    emit bandeja.icono().activated(QSystemTrayIcon::Unknown);
    EXPECT_EQ(eventos, 0);
}

TEST_F(BandejaSistema, TooltipTextDevuelveLoUltimoEscrito) {
    bandeja.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(bandeja.TooltipText(), QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(bandeja.icono().toolTip(), QStringLiteral("Kelmora Tavrel"));

    bandeja.SetIcon(iconoDesconectado(), QStringLiteral("Conectando"));
    EXPECT_EQ(bandeja.icono().toolTip(), QStringLiteral("Conectando"));
    EXPECT_EQ(bandeja.TooltipText(), QStringLiteral("Kelmora Tavrel"));

    bandeja.setTooltipText(QStringLiteral("Otro"));
    EXPECT_EQ(bandeja.icono().toolTip(), QStringLiteral("Otro"));
    EXPECT_EQ(bandeja.TooltipText(), QStringLiteral("Otro"));
}

TEST_F(BandejaSistema, InitTomaElIconoDeLaDuenaYSetIconLoCambia) {
    bandeja.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(bandeja.icono().icon().cacheKey(), duena.windowIcon().cacheKey());
    const QIcon conectado = iconoConectado();
    bandeja.SetIcon(conectado, QStringLiteral("Conectado"));
    EXPECT_EQ(bandeja.icono().icon().cacheKey(), conectado.cacheKey());
    EXPECT_TRUE(bandeja.icono().isVisible());
    bandeja.delIcon();
    EXPECT_FALSE(bandeja.icono().isVisible());
}

TEST_F(BandejaSistema, LosTooltipsSeCortanA127Caracteres) {
    const QString largo(300, u'x');
    bandeja.Init(&duena, largo);
    EXPECT_EQ(bandeja.icono().toolTip(), QString(127, u'x'));
    EXPECT_EQ(bandeja.TooltipText(), largo);
    bandeja.SetIcon(iconoOK(), QString(128, u'y'));
    EXPECT_EQ(bandeja.icono().toolTip(), QString(127, u'y'));
}

TEST_F(BandejaSistema, UnGloboCaducaSalvoSiSePulsaOSeQuita) {
    QSignalSpy fin(&bandeja, &clsSystray::BalloonTimeOut);
    QSignalSpy oculto(&bandeja, &clsSystray::BalloonHide);
    bandeja.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    // Here the icon is never placed, so each balloon shows once its short wait for the icon is over
    // (about a second); one raised during the wait replaces the waiting one.
    bandeja.ShowBalloonTip(QStringLiteral("uno"), BalloonIcon::Information, QStringLiteral("t"), 30);
    bandeja.ShowBalloonTip(QStringLiteral("dos"), BalloonIcon::Information, QStringLiteral("t"), 30);
    EXPECT_TRUE(fin.wait(3000));
    QTest::qWait(200);
    EXPECT_EQ(fin.count(), 1);

    const auto mostrado = [this] {
        for (int i = 0; i < 500 && bandeja.globoEnEspera(); ++i) QTest::qWait(10);
        return !bandeja.globoEnEspera();
    };
    bandeja.ShowBalloonTip(QStringLiteral("tres"), BalloonIcon::Information, QStringLiteral("t"), 1000);
    ASSERT_TRUE(mostrado());
    emit bandeja.icono().messageClicked();
    bandeja.ShowBalloonTip(QStringLiteral("cuatro"), BalloonIcon::Information, QStringLiteral("t"), 1000);
    ASSERT_TRUE(mostrado());
    bandeja.delIcon();
    QTest::qWait(1200);
    EXPECT_EQ(fin.count(), 1);
    EXPECT_EQ(oculto.count(), 1);
    // With no balloon showing, removing the icon hides none.
    bandeja.delIcon();
    EXPECT_EQ(oculto.count(), 1);
}

TEST_F(BandejaSistema, ConBandejaNadaVaALaConsola) {
    bandeja.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    bandeja.SetIcon(iconoConectado(), QStringLiteral("Conectado"));
    bandeja.ShowBalloonTip(QStringLiteral("hola"), BalloonIcon::Information, QStringLiteral("t"), 30000);
    EXPECT_TRUE(consola.isEmpty());
}

TEST_F(BandejaSistemaSinArea, GlobosYCambiosDeIconoVanALaConsola) {
    bandeja.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    bandeja.SetIcon(iconoDesconectado(), QStringLiteral("Conectando"));
    bandeja.ShowBalloonTip(QStringLiteral("Sistema funcionando correctamente"), BalloonIcon::Information,
                        QStringLiteral("Sistema de impresora"), platform::kBalloonMilliseconds);
    bandeja.ShowBalloonTip(QStringLiteral("La impresora Cocina no esta disponible"), BalloonIcon::Warning,
                        QStringLiteral("Impresion"), platform::kBalloonMilliseconds);
    bandeja.ShowBalloonTip(QStringLiteral("fallo"), BalloonIcon::Error, QStringLiteral("Error"), 1);
    EXPECT_EQ(consola, QStringList({
                           QStringLiteral("Icono: Conectando"),
                           QStringLiteral("Globo [informacion] Sistema de impresora: Sistema funcionando correctamente"),
                           QStringLiteral("Globo [advertencia] Impresion: La impresora Cocina no esta disponible"),
                           QStringLiteral("Globo [error] Error: fallo"),
                       }));
    EXPECT_FALSE(bandeja.icono().isVisible());
}

TEST_F(BandejaSistemaSinArea, LosGlobosCortanElTextoA255YElTituloA63) {
    bandeja.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    bandeja.ShowBalloonTip(QString(300, u'a'), BalloonIcon::None, QString(64, u'b'), 30000);
    bandeja.ShowBalloonTip(QString(255, u'c'), BalloonIcon::None, QString(63, u'd'), 30000);
    ASSERT_EQ(consola.size(), 2);
    EXPECT_EQ(consola[0], QStringLiteral("Globo [aviso] ") + QString(63, u'b') + QStringLiteral(": ") + QString(255, u'a'));
    EXPECT_EQ(consola[1], QStringLiteral("Globo [aviso] ") + QString(63, u'd') + QStringLiteral(": ") + QString(255, u'c'));
}

}  // namespace
}  // namespace kelmora::tray
