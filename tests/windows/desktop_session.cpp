// The tray icon and the windows on a real X display, run by scripts/lib/desktop-tests.sh under
// Xvfb (the CTest tests desktop_with_tray and desktop_without_tray): KELMORA_XVFB_TRAY=1 with a
// notification-area host, KELMORA_XVFB_TRAY=none without one. Elsewhere every case is skipped.
// Only when the caller sets KELMORA_SCREENSHOTS=DIR (scripts/screenshots does) are the windows
// and the tray also saved there as PNG pictures.

#include "platform/events.h"
#include "platform/net/network_page_loader.h"
#include "platform/timer.h"
#include "settings/frm_impresion.h"
#include "support/service_fakes.h"
#include "shell/arranque.h"
#include "shell/ciclo_consulta.h"
#include "shell/diario_memoria.h"
#include "support/test_support.h"
#include "tray/aplicacion_widgets.h"
#include "windows/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>

namespace kelmora::windows {
namespace {

enum class Escritorio { Ninguno, ConBandeja, SinBandeja };

Escritorio escritorio() {
    const QByteArray valor = qgetenv("KELMORA_XVFB_TRAY");
    if (valor == "1") return Escritorio::ConBandeja;
    if (valor == "none") return Escritorio::SinBandeja;
    return Escritorio::Ninguno;
}

bool esperar(const std::function<bool()>& condicion, int ms = 5000) {
    QElapsedTimer reloj;
    reloj.start();
    while (!condicion()) {
        if (reloj.elapsed() > ms) return false;
        QTest::qWait(20);
    }
    return true;
}

QColor colorEnPantalla(QPoint punto) {
    return QGuiApplication::primaryScreen()->grabWindow(0, punto.x(), punto.y(), 1, 1).toImage().pixelColor(0, 0);
}

bool cerca(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 30 && std::abs(a.green() - b.green()) < 30 &&
           std::abs(a.blue() - b.blue()) < 30;
}

QWidget* ventanaDeClase(const char* clase) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && qstrcmp(w->metaObject()->className(), clase) == 0) return w;
    return nullptr;
}

QStringList textosDe(QWidget* ventana) {
    QStringList textos;
    for (const QLabel* etiqueta : ventana->findChildren<QLabel*>()) textos << etiqueta->text();
    return textos;
}

// A program folder with a branch code, a poll server answering every poll with a recorded
// answer, and the main window with its poll cycle, as the service puts them together.
class SesionDeEscritorio : public ::testing::Test {
protected:
    void SetUp() override {
        if (escritorio() == Escritorio::Ninguno) GTEST_SKIP() << "needs an X display: scripts/lib/desktop-tests.sh";
        QFile acceso(carpeta.filePath(QStringLiteral("Acceso")));
        ASSERT_TRUE(acceso.open(QIODevice::WriteOnly));
        acceso.write("123451234512345\r\n");
        acceso.close();

        const QByteArray respuesta = testing::readDataFile(QStringLiteral("answers/comandas_y_cajon.txt")).toUtf8();
        servidor.route(QStringLiteral("/"), [this, respuesta] {
            ++consultas;
            return QHttpServerResponse(QByteArrayLiteral("text/plain; charset=utf-8"), respuesta);
        });
        // The service's default address when it is free, so the pictures show the same console
        // from run to run.
        quint16 puerto = servidor.listen(QHostAddress::LocalHost, 8080);
        if (puerto == 0) puerto = servidor.listen(QHostAddress::LocalHost);
        ASSERT_NE(puerto, 0);

        anotarDocumentos();
        frmMain::Servicios partes{carpeta.path(), dialogos, [this] { ++terminado; },
                                  [this](const QString& l) { respaldo << l; }};
        partes.trabajos.emplace(frmMain::Trabajos{
            diario, relojDiario, [](qint64, const frmTrabajos::AlTerminar& listo) { listo(std::nullopt); },
            [](qint64, const frmTrabajos::AlTerminar& listo) { listo(std::nullopt); },
            [](auto listo) {
                listo(frmTrabajos::Estados{
                    {QStringLiteral("Cocina"), QStringLiteral("socket://192.168.1.50"), QStringLiteral("ESC/POS"),
                     QStringLiteral("sin papel"), {}},
                    {QStringLiteral("Barra"), QStringLiteral("CUPS (Barra)"), QStringLiteral("ESC/POS"),
                     QStringLiteral("lista"), {}},
                    {QStringLiteral("Facturas"), QStringLiteral("CUPS (Facturas)"), QStringLiteral("PDF"),
                     QStringLiteral("lista"), {}, true}});
            },
            [](const platform::PrinterSystem::PrinterState&, const frmTrabajos::AlTerminar& listo) {
                listo(std::nullopt);
            }});
        frm = std::make_unique<frmMain>(std::move(partes));
        ciclo = std::make_unique<shell::CicloConsulta>(
            shell::CicloConsulta::Servicios{*frm, cargador, relojConsulta, limite, [](const Value&, const QString&) {}},
            shell::urlConsulta(QStringLiteral("http://127.0.0.1:%1").arg(puerto), QStringLiteral("123451234512345")));
        QObject::connect(frm.get(), &frmMain::relojPulsado, [this] { ciclo->pausarOReanudar(); });
    }

    void TearDown() override {
        ciclo.reset();
        frm.reset();
        QTest::qWait(50);
    }

    // An evening's documents: what the menu and "Trabajos" show.
    void anotarDocumentos() {
        using E = paper::DocumentState;
        const std::tuple<int, const char*, const char*, const char*, E> filas[] = {
            {95, "Comanda", "Mesa 4/118", "Cocina", E::Printed},  {90, "Comanda", "Mesa 4/118", "Barra", E::Printed},
            {62, "Anulacion", "Mesa 4/118", "Cocina", E::Printed}, {40, "Factura", "Mesa 4/118", "", E::Printed},
            {39, "Cajon", "/", "", E::Printed},                    {12, "Comanda", "Mesa 9/131", "Barra", E::Printed},
            {6, "Comanda", "Mesa 12/134", "Cocina", E::Held}};
        for (const auto& [minutos, clase, mesaPedido, impresora, estado] : filas) {
            paper::JournalDocument d;
            d.list = QStringLiteral("comanda");
            d.kind = QString::fromUtf8(clase);
            d.table = QString::fromUtf8(mesaPedido).section(u'/', 0, 0);
            d.order = QString::fromUtf8(mesaPedido).section(u'/', 1);
            d.requestedPrinter = QString::fromUtf8(impresora);
            QList<paper::JournalDocument> documentos{d};
            diario.addAnswer(QStringLiteral("{}"), documentos, relojDiario.now().addSecs(-60 * minutos));
            d = documentos.first();
            d.state = estado;
            if (estado == E::Held) d.reason = QStringLiteral("La impresora Cocina no tiene papel");
            if (estado == E::Printed) d.printer = d.requestedPrinter.isEmpty() ? QStringLiteral("Facturas") : d.requestedPrinter;
            diario.update(d);
        }
    }

    void iniciar(bool soporte) {
        shell::iniciarServicio(*frm, frm->SysTray(), eventos, *ciclo, soporte);
    }

    // The icon as the notification area shows it.
    QWidget* iconoEnBandeja() const { return ventanaDeClase("QSystemTrayIconSys"); }
    // A point inside the status dot, clear of the marks drawn over it.
    QPoint puntoDelIcono() {
        const QRect g = frm->SysTray().icono().geometry();
        return {g.center().x(), g.top() + g.height() * 4 / 16};
    }

    QTemporaryDir carpeta;
    shell::DiarioMemoria diario;
    platform::FixedClock relojDiario{QDateTime(QDate(2026, 3, 14), QTime(22, 15))};
    testing::ScriptedDialogs dialogos;
    int terminado = 0;
    int consultas = 0;
    QStringList respaldo;
    QHttpServer servidor;
    platform::NetworkPageLoader cargador;
    platform::SystemTimer relojConsulta;
    platform::SystemTimer limite;
    platform::NoEventPump eventos;
    std::unique_ptr<frmMain> frm;
    std::unique_ptr<shell::CicloConsulta> ciclo;
};

class EscritorioConBandeja : public SesionDeEscritorio {
protected:
    void SetUp() override {
        if (escritorio() != Escritorio::ConBandeja) GTEST_SKIP() << "needs a notification-area host";
        // The host may still be starting.
        ASSERT_TRUE(esperar([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
        SesionDeEscritorio::SetUp();
    }
};

class EscritorioSinBandeja : public SesionDeEscritorio {
protected:
    void SetUp() override {
        if (escritorio() != Escritorio::SinBandeja) GTEST_SKIP() << "needs a display without a notification area";
        SesionDeEscritorio::SetUp();
    }
};

TEST_F(EscritorioConBandeja, ElIconoSeMuestraYSigueLaConsulta) {
    iniciar(false);
    EXPECT_FALSE(frm->isVisible());
    ASSERT_TRUE(esperar([&] { return !frm->SysTray().icono().geometry().isEmpty() && iconoEnBandeja(); }));
    // Starting: the grey picture and "Conectando", then the start balloon.
    EXPECT_TRUE(esperar([&] { return cerca(colorEnPantalla(puntoDelIcono()), QColor(150, 150, 150)); }))
        << colorEnPantalla(puntoDelIcono()).name().toStdString();
    EXPECT_EQ(iconoEnBandeja()->toolTip(), QStringLiteral("Conectando"));
    ASSERT_TRUE(esperar([] { return ventanaDeClase("QBalloonTip") != nullptr; }));
    // Raised right after the icon, the balloon still points at it.
    const QRect icono = frm->SysTray().icono().geometry();
    const QRect marco = ventanaDeClase("QBalloonTip")->frameGeometry();
    EXPECT_LT(std::abs(marco.right() - icono.center().x()) + std::abs(marco.top() - icono.bottom()), 120)
        << marco.x() << "," << marco.y() << " " << marco.width() << "x" << marco.height();
    const QStringList globo = textosDe(ventanaDeClase("QBalloonTip"));
    EXPECT_TRUE(globo.contains(QStringLiteral("Sistema de impresora"))) << globo.join(u'|').toStdString();
    EXPECT_TRUE(globo.contains(QStringLiteral("Sistema funcionando correctamente"))) << globo.join(u'|').toStdString();

    // A handled answer: the green picture and "Conectado".
    ASSERT_TRUE(esperar([&] { return consultas >= 1 && iconoEnBandeja()->toolTip() == QStringLiteral("Conectado"); }));
    EXPECT_TRUE(esperar([&] { return cerca(colorEnPantalla(puntoDelIcono()), QColor(46, 160, 67)); }))
        << colorEnPantalla(puntoDelIcono()).name().toStdString();
    EXPECT_TRUE(frm->consola->toPlainText().contains(QStringLiteral("Respuesta: \n--\n")));
    EXPECT_TRUE(respaldo.isEmpty());
}

TEST_F(EscritorioConBandeja, CadaImagenDeEstadoSeVeEnPantalla) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    ASSERT_TRUE(esperar([&] { return iconoEnBandeja() != nullptr; }));
    const std::pair<shell::EstadoIcono, QColor> estados[] = {{shell::EstadoIcono::Error, QColor(200, 40, 40)},
                                                             {shell::EstadoIcono::OK, QColor(30, 110, 200)},
                                                             {shell::EstadoIcono::Conectado, QColor(46, 160, 67)},
                                                             {shell::EstadoIcono::Desconectado, QColor(150, 150, 150)}};
    for (const auto& [estado, color] : estados) {
        frm->SetIcon(estado, QStringLiteral("estado %1").arg(int(estado)));
        EXPECT_TRUE(esperar([&] { return cerca(colorEnPantalla(puntoDelIcono()), color); }))
            << int(estado) << ": " << colorEnPantalla(puntoDelIcono()).name().toStdString();
        EXPECT_EQ(iconoEnBandeja()->toolTip(), QStringLiteral("estado %1").arg(int(estado)));
    }
}

TEST_F(EscritorioConBandeja, PulsarElGloboAbreLosAjustes) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    frm->SysTray().ShowBalloonTip(QString(300, u'x'), platform::BalloonIcon::Warning, QStringLiteral("ContextoTicket"),
                                  platform::kBalloonMilliseconds);
    ASSERT_TRUE(esperar([] { return ventanaDeClase("QBalloonTip") != nullptr; }));
    QWidget* globo = ventanaDeClase("QBalloonTip");
    EXPECT_TRUE(textosDe(globo).contains(QString(255, u'x')));
    QTest::mouseClick(globo, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_TRUE(esperar([&] { return frm->ajustesAbiertos() != nullptr && frm->ajustesAbiertos()->isVisible(); }));
    EXPECT_FALSE(frm->ajustesAbiertos()->isModal());
    EXPECT_EQ(frm->ajustesAbiertos()->campoCodigo->text(), QStringLiteral("123451234512345"));
}

TEST_F(EscritorioConBandeja, DobleClicYClicDerechoEnElIconoLosAbrenModales) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    ASSERT_TRUE(esperar([&] { return iconoEnBandeja() != nullptr; }));
    const std::function<void(QWidget*)> clics[] = {
        [](QWidget* icono) { QTest::mouseDClick(icono, Qt::LeftButton); },
        [](QWidget* icono) { QTest::mouseClick(icono, Qt::RightButton); },
    };
    for (const auto& clic : clics) {
        bool modal = false;
        QTimer::singleShot(100, [&] {
            if (settings::frmImpresion* ajustes = frm->ajustesAbiertos()) {
                modal = QApplication::activeModalWidget() == ajustes;
                ajustes->botonCerrar->click();
            }
        });
        clic(iconoEnBandeja());
        EXPECT_TRUE(modal);
        EXPECT_TRUE(esperar([&] { return frm->ajustesAbiertos() == nullptr; }));
    }
    // The first click of the double click did not open the menu meanwhile.
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_FALSE(frm->menuBandeja().isVisible());
}

TEST_F(EscritorioConBandeja, UnClicEnElIconoAbreElMenuJuntoAEl) {
    frm->Init(QStringLiteral("Kelmora Tavrel"));
    ASSERT_TRUE(esperar([&] { return iconoEnBandeja() != nullptr && !frm->SysTray().icono().geometry().isEmpty(); }));
    QTest::mouseClick(iconoEnBandeja(), Qt::LeftButton);
    MenuBandeja& menu = frm->menuBandeja();
    ASSERT_TRUE(esperar([&] { return menu.isVisible(); }));
    EXPECT_EQ(frm->ajustesAbiertos(), nullptr);
    const QRect icono = frm->SysTray().icono().geometry();
    const QRect marco = menu.frameGeometry();
    // Right below the icon, and across it (the screen's edge may push it left).
    EXPECT_LE(std::abs(marco.top() - icono.bottom()), 4) << marco.y() << " " << icono.bottom();
    EXPECT_TRUE(marco.left() <= icono.right() && marco.right() >= icono.left()) << marco.x() << " " << icono.x();
    EXPECT_TRUE(menu.accionUltimo->text().endsWith(QStringLiteral("Mesa 9, pedido 131")))
        << menu.accionUltimo->text().toStdString();
    menu.hide();
}

TEST_F(EscritorioSinBandeja, GlobosYCambiosDeIconoVanALaConsola) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    iniciar(false);
    // No icon to reach the service by: the window stays on screen.
    EXPECT_TRUE(frm->isVisible());
    EXPECT_EQ(respaldo, QStringList({QStringLiteral("Icono: Conectando"),
                                     QStringLiteral("Globo [informacion] Sistema de impresora: Sistema funcionando "
                                                    "correctamente")}));
    ASSERT_TRUE(esperar([&] { return respaldo.size() >= 4; }));
    EXPECT_EQ(respaldo.mid(2, 2), QStringList({QStringLiteral("Icono: Sincronizacion satisfactoria"),
                                               QStringLiteral("Icono: Conectado")}));
}

// ---- pictures for the README ----

QImage logoDeMuestra() {
    QImage logo(500, 184, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter p(&logo);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 90, 140));
    p.drawRoundedRect(QRectF(10, 10, 480, 164), 30, 30);
    p.setPen(Qt::white);
    QFont letra(QStringLiteral("DejaVu Sans"), 60, QFont::Bold);
    p.setFont(letra);
    p.drawText(QRectF(10, 10, 480, 120), Qt::AlignCenter, QStringLiteral("KELMORA"));
    letra.setPointSize(20);
    letra.setBold(false);
    p.setFont(letra);
    p.drawText(QRectF(10, 110, 480, 50), Qt::AlignCenter, QStringLiteral("Restaurante"));
    return logo;
}

bool guardar(QWidget* ventana, const QString& ruta) {
    if (!QTest::qWaitForWindowExposed(ventana)) return false;
    QTest::qWait(300);
    return ventana->screen()->grabWindow(ventana->winId()).save(ruta, "PNG");
}

TEST_F(EscritorioConBandeja, CapturasDeLasVentanas) {
    const QString destino = qEnvironmentVariable("KELMORA_SCREENSHOTS");
    if (destino.isEmpty()) GTEST_SKIP() << "KELMORA_SCREENSHOTS names no folder";
    ASSERT_TRUE(QDir().mkpath(destino));
    ASSERT_TRUE(logoDeMuestra().save(carpeta.filePath(QStringLiteral("logo.bmp")), "BMP"));

    // A support workstation: the main window on screen after its first poll.
    iniciar(true);
    ASSERT_TRUE(esperar([&] { return frm->SysTray().icono().toolTip() == QStringLiteral("Conectado"); }));

    // The notification area with the start balloon.
    QWidget* globo = ventanaDeClase("QBalloonTip");
    ASSERT_NE(globo, nullptr);
    QTest::qWait(300);
    QScreen* pantalla = QGuiApplication::primaryScreen();
    const QRect zona = frm->SysTray()
                           .icono()
                           .geometry()
                           .united(globo->frameGeometry())
                           .adjusted(-12, -12, 12, 12)
                           .intersected(pantalla->geometry());
    EXPECT_TRUE(pantalla->grabWindow(0, zona.x(), zona.y(), zona.width(), zona.height())
                    .save(QDir(destino).filePath(QStringLiteral("tray.png")), "PNG"));
    globo->close();

    frm->botonReloj->click();  // paused, so the console keeps this exchange
    EXPECT_EQ(frm->botonReloj->text(), QStringLiteral("Reanudar Reloj"));
    frm->consola->verticalScrollBar()->setValue(0);
    EXPECT_TRUE(guardar(frm.get(), QDir(destino).filePath(QStringLiteral("main-window.png"))));

    emit frm->SysTray().icono().messageClicked();
    ASSERT_NE(frm->ajustesAbiertos(), nullptr);
    EXPECT_TRUE(guardar(frm->ajustesAbiertos(), QDir(destino).filePath(QStringLiteral("settings-window.png"))));
    frm->ajustesAbiertos()->close();
    frm->mostrarVentana(false);

    // The tray menu with its printers open, as a click on the icon shows it.
    const QRect icono = frm->SysTray().icono().geometry();
    frm->abrirMenu();
    MenuBandeja& menu = frm->menuBandeja();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    menu.setActiveAction(menu.menuImpresoras->menuAction());
    QTest::keyClick(&menu, Qt::Key_Right);
    ASSERT_TRUE(esperar([&] { return menu.menuImpresoras->isVisible(); }));
    QTest::qWait(300);
    const QRect menus =
        menu.frameGeometry().united(menu.menuImpresoras->frameGeometry()).united(icono).adjusted(-8, -8, 8, 8).intersected(
            pantalla->geometry());
    EXPECT_TRUE(pantalla->grabWindow(0, menus.x(), menus.y(), menus.width(), menus.height())
                    .save(QDir(destino).filePath(QStringLiteral("tray-menu.png")), "PNG"));
    menu.hide();

    frm->abrirTrabajos(nullptr);
    frmTrabajos* trabajos = frm->trabajosAbiertos();
    ASSERT_NE(trabajos, nullptr);
    trabajos->resize(900, 520);
    ASSERT_TRUE(esperar([&] { return trabajos->tabla->rowCount() == 7 && trabajos->tablaImpresoras->rowCount() == 3; }));
    trabajos->seleccionar(6);
    EXPECT_TRUE(guardar(trabajos, QDir(destino).filePath(QStringLiteral("trabajos-window.png"))));
}

}  // namespace
}  // namespace kelmora::windows
