#include "tray/cls_systray.h"
#include "tray/iconos.h"
#include "tray/aplicacion_widgets.h"

#include <QSignalSpy>
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

    // A double click: press, double click, and the notification area's second trigger; the
    // middle button and what Qt cannot tell raise nothing.
    for (const auto razon : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::Trigger,
                             QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown})
        emit bandeja.icono().activated(razon);
    EXPECT_EQ(izquierdo.count(), 2);
    EXPECT_EQ(doble.count(), 1);
    EXPECT_EQ(derecho.count(), 0);

    emit bandeja.icono().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(derecho.count(), 1);
    EXPECT_EQ(globo.count(), 0);

    emit bandeja.icono().messageClicked();
    EXPECT_EQ(globo.count(), 1);
    EXPECT_EQ(derecho.count(), 1);
    EXPECT_EQ(doble.count(), 1);
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
                        QStringLiteral("ContextoTicket"), platform::kBalloonMilliseconds);
    bandeja.ShowBalloonTip(QStringLiteral("fallo"), BalloonIcon::Error, QStringLiteral("Error"), 1);
    EXPECT_EQ(consola, QStringList({
                           QStringLiteral("Icono: Conectando"),
                           QStringLiteral("Globo [informacion] Sistema de impresora: Sistema funcionando correctamente"),
                           QStringLiteral("Globo [advertencia] ContextoTicket: La impresora Cocina no esta disponible"),
                           QStringLiteral("Globo [error] Error: fallo"),
                       }));
    EXPECT_FALSE(bandeja.icono().isVisible());
}

}  // namespace
}  // namespace kelmora::tray
