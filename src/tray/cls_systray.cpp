#include "tray/cls_systray.h"

#include <QWidget>

namespace kelmora::tray {

namespace {

QString nombreAviso(platform::BalloonIcon icono) {
    switch (icono) {
    case platform::BalloonIcon::Information:
        return QStringLiteral("informacion");
    case platform::BalloonIcon::Warning:
        return QStringLiteral("advertencia");
    case platform::BalloonIcon::Error:
        return QStringLiteral("error");
    case platform::BalloonIcon::None:
        break;
    }
    return QStringLiteral("aviso");
}

QSystemTrayIcon::MessageIcon iconoGlobo(platform::BalloonIcon icono) {
    switch (icono) {
    case platform::BalloonIcon::Information:
        return QSystemTrayIcon::Information;
    case platform::BalloonIcon::Warning:
        return QSystemTrayIcon::Warning;
    case platform::BalloonIcon::Error:
        return QSystemTrayIcon::Critical;
    case platform::BalloonIcon::None:
        break;
    }
    return QSystemTrayIcon::NoIcon;
}

// How long a balloon waits for the notification area to place a new icon.
constexpr int kEsperaIconoMs = 50;
constexpr int kEsperasIcono = 20;

// Until the notification area has taken the icon in, Qt reports no geometry for it, or (on X11)
// the geometry of a window not yet placed, at the origin of the screen.
bool sinLugar(const QSystemTrayIcon& icono) {
    const QRect lugar = icono.geometry();
    return lugar.isEmpty() || lugar.topLeft() == QPoint(0, 0);
}

}  // namespace

clsSystray::clsSystray(Consola consola, bool hayBandeja, QObject* parent)
    : QObject(parent), consola_(std::move(consola)), hayBandeja_(hayBandeja) {
    espera_.setInterval(kEsperaIconoMs);
    connect(&espera_, &QTimer::timeout, this, &clsSystray::esperarIcono);
    connect(&icono_, &QSystemTrayIcon::activated, this, &clsSystray::activado);
    connect(&icono_, &QSystemTrayIcon::messageClicked, this, &clsSystray::BalloonClicked);
}

clsSystray::~clsSystray() { delIcon(); }

void clsSystray::Init(QWidget* ventana, const QString& tooltip) {
    if (ventana != nullptr) icono_.setIcon(ventana->windowIcon());
    if (hayBandeja_) icono_.show();
    icono_.setToolTip(tooltip.left(kTooltipMax));
}

void clsSystray::SetIcon(const QIcon& imagen, const QString& tooltip) {
    const QString texto = tooltip.left(kTooltipMax);
    icono_.setIcon(imagen);
    icono_.setToolTip(texto);
    if (!hayBandeja_) escribir(QStringLiteral("Icono: ") + texto);
}

void clsSystray::ShowBalloonTip(const QString& mensaje, platform::BalloonIcon icono, const QString& titulo,
                                int duracionMs) {
    const QString textoCorto = mensaje.left(kBalloonTextMax);
    const QString tituloCorto = titulo.left(kBalloonTitleMax);
    if (!hayBandeja_) {
        // The same form as the headless service's lines, so one reader serves both.
        escribir(QStringLiteral("Globo [") + nombreAviso(icono) + QStringLiteral("] ") + tituloCorto +
                 QStringLiteral(": ") + textoCorto);
        return;
    }
    const Globo globo{textoCorto, tituloCorto, iconoGlobo(icono), duracionMs};
    if (icono_.isVisible() && sinLugar(icono_)) {
        // A newer balloon replaces one still waiting.
        if (!pendiente_) esperas_ = 0;
        pendiente_ = globo;
        espera_.start();
        return;
    }
    mostrarGlobo(globo);
}

void clsSystray::mostrarGlobo(const Globo& globo) {
    // A new balloon replaces one still showing.
    icono_.showMessage(globo.titulo, globo.texto, globo.icono, globo.ms);
}

void clsSystray::esperarIcono() {
    if (!pendiente_) {
        espera_.stop();
        return;
    }
    if (sinLugar(icono_) && ++esperas_ < kEsperasIcono) return;
    espera_.stop();
    const Globo globo = *pendiente_;
    pendiente_.reset();
    if (icono_.isVisible()) mostrarGlobo(globo);
}

void clsSystray::delIcon() {
    pendiente_.reset();
    espera_.stop();
    icono_.hide();
}

void clsSystray::activado(QSystemTrayIcon::ActivationReason razon) {
    switch (razon) {
    case QSystemTrayIcon::Context:
        emit RightClick();
        break;
    case QSystemTrayIcon::DoubleClick:
        emit DoubleClick();
        break;
    case QSystemTrayIcon::Trigger:
        emit LeftClick();
        break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void clsSystray::escribir(const QString& linea) {
    if (consola_) consola_(linea);
}

}  // namespace kelmora::tray
