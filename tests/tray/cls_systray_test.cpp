#include "tray/cls_systray.h"
#include "tray/iconos.h"
#include "tray/widget_test_app.h"

#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace kelmora::tray {
namespace {

using platform::BalloonIcon;

// A tray whose clicks are raised by hand, as the notification area would.
class ClsSystrayTest : public ::testing::Test {
protected:
    explicit ClsSystrayTest(bool hayBandeja = true)
        : tray([this](const QString& linea) { consola << linea; }, hayBandeja) {
        duena.setWindowIcon(iconoAplicacion());
    }
    QWidget duena;
    QStringList consola;
    clsSystray tray;
};

class ClsSystrayWithoutAreaTest : public ClsSystrayTest {
protected:
    ClsSystrayWithoutAreaTest() : ClsSystrayTest(false) {}
};

TEST_F(ClsSystrayTest, ActivationsRaiseTheirEvents) {
    QSignalSpy izquierdo(&tray, &clsSystray::LeftClick);
    QSignalSpy derecho(&tray, &clsSystray::RightClick);
    QSignalSpy doble(&tray, &clsSystray::DoubleClick);
    QSignalSpy globo(&tray, &clsSystray::BalloonClicked);

    // A double click: press, double click, and the notification area's second trigger.
    emit tray.icono().activated(QSystemTrayIcon::Trigger);
    emit tray.icono().activated(QSystemTrayIcon::DoubleClick);
    emit tray.icono().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(izquierdo.count(), 2);
    EXPECT_EQ(doble.count(), 1);
    EXPECT_EQ(derecho.count(), 0);

    emit tray.icono().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(derecho.count(), 1);
    EXPECT_EQ(globo.count(), 0);

    emit tray.icono().messageClicked();
    EXPECT_EQ(globo.count(), 1);
    EXPECT_EQ(izquierdo.count(), 2);
    EXPECT_EQ(derecho.count(), 1);
    EXPECT_EQ(doble.count(), 1);
}

TEST_F(ClsSystrayTest, OtherActivationsRaiseNothing) {
    int eventos = 0;
    for (auto senal : {&clsSystray::LeftClick, &clsSystray::RightClick, &clsSystray::DoubleClick,
                       &clsSystray::BalloonHide, &clsSystray::BalloonTimeOut, &clsSystray::BalloonClicked})
        QObject::connect(&tray, senal, [&eventos] { ++eventos; });
    emit tray.icono().activated(QSystemTrayIcon::MiddleClick);
    emit tray.icono().activated(QSystemTrayIcon::Unknown);
    EXPECT_EQ(eventos, 0);
}

TEST_F(ClsSystrayTest, TooltipTextReturnsWhatWasWrittenToIt) {
    tray.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(tray.TooltipText(), QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(tray.icono().toolTip(), QStringLiteral("Kelmora Tavrel"));

    tray.SetIcon(iconoDesconectado(), QStringLiteral("Conectando"));
    EXPECT_EQ(tray.icono().toolTip(), QStringLiteral("Conectando"));
    EXPECT_EQ(tray.TooltipText(), QStringLiteral("Kelmora Tavrel"));

    tray.setTooltipText(QStringLiteral("Otro"));
    EXPECT_EQ(tray.icono().toolTip(), QStringLiteral("Otro"));
    EXPECT_EQ(tray.TooltipText(), QStringLiteral("Otro"));
}

TEST_F(ClsSystrayTest, InitTakesTheOwnersIconAndSetIconReplacesIt) {
    tray.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    EXPECT_EQ(tray.icono().icon().cacheKey(), duena.windowIcon().cacheKey());
    const QIcon conectado = iconoConectado();
    tray.SetIcon(conectado, QStringLiteral("Conectado"));
    EXPECT_EQ(tray.icono().icon().cacheKey(), conectado.cacheKey());
    EXPECT_TRUE(tray.icono().isVisible());
    tray.delIcon();
    EXPECT_FALSE(tray.icono().isVisible());
}

TEST_F(ClsSystrayTest, TooltipsAreCutTo127Characters) {
    const QString largo(300, u'x');
    tray.Init(&duena, largo);
    EXPECT_EQ(tray.icono().toolTip(), QString(127, u'x'));
    EXPECT_EQ(tray.TooltipText(), largo);
    tray.SetIcon(iconoOK(), QString(128, u'y'));
    EXPECT_EQ(tray.icono().toolTip(), QString(127, u'y'));
}

TEST_F(ClsSystrayTest, ABalloonTimesOutUnlessClickedOrRemoved) {
    QSignalSpy fin(&tray, &clsSystray::BalloonTimeOut);
    QSignalSpy oculto(&tray, &clsSystray::BalloonHide);
    tray.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    // Here the icon is never placed, so each balloon shows once its short wait for the icon is over
    // (about a second); one raised during the wait replaces the waiting one.
    tray.ShowBalloonTip(QStringLiteral("uno"), BalloonIcon::Information, QStringLiteral("t"), 30);
    tray.ShowBalloonTip(QStringLiteral("dos"), BalloonIcon::Information, QStringLiteral("t"), 30);
    EXPECT_TRUE(fin.wait(3000));
    QTest::qWait(200);
    EXPECT_EQ(fin.count(), 1);

    const auto mostrado = [this] {
        for (int i = 0; i < 500 && tray.globoEnEspera(); ++i) QTest::qWait(10);
        return !tray.globoEnEspera();
    };
    tray.ShowBalloonTip(QStringLiteral("tres"), BalloonIcon::Information, QStringLiteral("t"), 1000);
    ASSERT_TRUE(mostrado());
    emit tray.icono().messageClicked();
    tray.ShowBalloonTip(QStringLiteral("cuatro"), BalloonIcon::Information, QStringLiteral("t"), 1000);
    ASSERT_TRUE(mostrado());
    tray.delIcon();
    QTest::qWait(1200);
    EXPECT_EQ(fin.count(), 1);
    EXPECT_EQ(oculto.count(), 1);
    // With no balloon showing, removing the icon hides none.
    tray.delIcon();
    EXPECT_EQ(oculto.count(), 1);
}

TEST_F(ClsSystrayTest, WithANotificationAreaNothingGoesToTheConsole) {
    tray.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    tray.SetIcon(iconoConectado(), QStringLiteral("Conectado"));
    tray.ShowBalloonTip(QStringLiteral("hola"), BalloonIcon::Information, QStringLiteral("t"), 30000);
    EXPECT_TRUE(consola.isEmpty());
}

TEST_F(ClsSystrayWithoutAreaTest, BalloonsAndIconChangesGoToTheConsole) {
    tray.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    tray.SetIcon(iconoDesconectado(), QStringLiteral("Conectando"));
    tray.ShowBalloonTip(QStringLiteral("Sistema funcionando correctamente"), BalloonIcon::Information,
                        QStringLiteral("Sistema de impresora"), platform::kBalloonMilliseconds);
    tray.ShowBalloonTip(QStringLiteral("La impresora Cocina no esta disponible"), BalloonIcon::Warning,
                        QStringLiteral("Impresion"), platform::kBalloonMilliseconds);
    tray.ShowBalloonTip(QStringLiteral("fallo"), BalloonIcon::Error, QStringLiteral("Error"), 1);
    EXPECT_EQ(consola, QStringList({
                           QStringLiteral("Icono: Conectando"),
                           QStringLiteral("Globo [informacion] Sistema de impresora: Sistema funcionando correctamente"),
                           QStringLiteral("Globo [advertencia] Impresion: La impresora Cocina no esta disponible"),
                           QStringLiteral("Globo [error] Error: fallo"),
                       }));
    EXPECT_FALSE(tray.icono().isVisible());
}

TEST_F(ClsSystrayWithoutAreaTest, BalloonTextsAreCutTo255AndTitlesTo63) {
    tray.Init(&duena, QStringLiteral("Kelmora Tavrel"));
    tray.ShowBalloonTip(QString(300, u'a'), BalloonIcon::None, QString(64, u'b'), 30000);
    tray.ShowBalloonTip(QString(255, u'c'), BalloonIcon::None, QString(63, u'd'), 30000);
    ASSERT_EQ(consola.size(), 2);
    EXPECT_EQ(consola[0], QStringLiteral("Globo [aviso] ") + QString(63, u'b') + QStringLiteral(": ") + QString(255, u'a'));
    EXPECT_EQ(consola[1], QStringLiteral("Globo [aviso] ") + QString(63, u'd') + QStringLiteral(": ") + QString(255, u'c'));
}

}  // namespace
}  // namespace kelmora::tray
