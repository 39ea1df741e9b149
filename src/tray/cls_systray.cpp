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

}  // namespace

clsSystray::clsSystray(Consola consola, bool hayBandeja, QObject* parent)
    : QObject(parent), consola_(std::move(consola)), hayBandeja_(hayBandeja) {
    globo_.setSingleShot(true);
    connect(&globo_, &QTimer::timeout, this, &clsSystray::BalloonTimeOut);
    connect(&icono_, &QSystemTrayIcon::activated, this, &clsSystray::activado);
    connect(&icono_, &QSystemTrayIcon::messageClicked, this, &clsSystray::globoPulsado);
}

clsSystray::~clsSystray() { delIcon(); }

void clsSystray::Init(QWidget* pfrm, const QString& pstrTooltip) {
    if (pfrm != nullptr) icono_.setIcon(pfrm->windowIcon());
    if (hayBandeja_) icono_.show();
    setTooltipText(pstrTooltip);
}

void clsSystray::SetIcon(const QIcon& image, const QString& tooltip) {
    const QString texto = tooltip.left(kTooltipMax);
    icono_.setIcon(image);
    icono_.setToolTip(texto);
    if (!hayBandeja_) escribir(QStringLiteral("Icono: ") + texto);
}

void clsSystray::setTooltipText(const QString& texto) {
    tooltipActual_ = texto;
    icono_.setToolTip(texto.left(kTooltipMax));
}

void clsSystray::ShowBalloonTip(const QString& pstrMessage, platform::BalloonIcon penIcon, const QString& pstrTitle,
                                int plngTimeout) {
    const QString texto = pstrMessage.left(kBalloonTextMax);
    const QString titulo = pstrTitle.left(kBalloonTitleMax);
    if (!hayBandeja_) {
        // The same form as the headless service's lines, so one reader serves both.
        escribir(QStringLiteral("Globo [") + nombreAviso(penIcon) + QStringLiteral("] ") + titulo +
                 QStringLiteral(": ") + texto);
        return;
    }
    // A new balloon replaces one still showing; only the newest one can time out.
    icono_.showMessage(titulo, texto, iconoGlobo(penIcon), plngTimeout);
    globo_.start(std::max(plngTimeout, 0));
}

void clsSystray::delIcon() {
    if (globo_.isActive()) {
        globo_.stop();
        emit BalloonHide();
    }
    icono_.hide();
}

void clsSystray::activado(QSystemTrayIcon::ActivationReason razon) {
    switch (razon) {
    case QSystemTrayIcon::Trigger:
        emit LeftClick();
        break;
    case QSystemTrayIcon::Context:
        emit RightClick();
        break;
    case QSystemTrayIcon::DoubleClick:
        emit DoubleClick();
        break;
    case QSystemTrayIcon::MiddleClick:
    case QSystemTrayIcon::Unknown:
        break;
    }
}

void clsSystray::globoPulsado() {
    globo_.stop();
    emit BalloonClicked();
}

void clsSystray::escribir(const QString& linea) {
    if (consola_) consola_(linea);
}

}  // namespace kelmora::tray
