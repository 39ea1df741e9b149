#pragma once

#include "platform/notifier.h"

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <optional>

class QWidget;

namespace kelmora::tray {

// The service's one icon in the notification area: picture, tooltip, balloons, and the clicks on it
// raised as the four events below. Where the desktop has no notification area, balloons and icon
// changes are written to a console instead, so nothing the user must know is lost.
class clsSystray final : public QObject, public platform::Notifier {
    Q_OBJECT

public:
    // Texts longer than these are cut, as the notification area takes no more.
    static constexpr int kTooltipMax = 127;
    static constexpr int kBalloonTextMax = 255;
    static constexpr int kBalloonTitleMax = 63;

    using Consola = std::function<void(const QString& linea)>;

    // `consola` receives the balloons and icon changes when `hayBandeja` is false.
    explicit clsSystray(Consola consola, bool hayBandeja = QSystemTrayIcon::isSystemTrayAvailable(),
                        QObject* parent = nullptr);
    ~clsSystray() override;

    // Shows the icon with the owner window's icon and the given tooltip. Call once, first.
    void Init(QWidget* ventana, const QString& tooltip);
    // Shows that picture with that tooltip.
    void SetIcon(const QIcon& imagen, const QString& tooltip);
    void ShowBalloonTip(const QString& mensaje, platform::BalloonIcon icono, const QString& titulo,
                        int duracionMs) override;
    // Removes the icon; a balloon still showing goes with it.
    void delIcon();

    bool hayBandeja() const { return hayBandeja_; }
    // The notification-area icon itself: what is shown, and where the clicks come from.
    QSystemTrayIcon& icono() { return icono_; }

signals:
    // A press of the left button: the first click of a double click raises it too.
    void LeftClick();
    void RightClick();
    void DoubleClick();
    void BalloonClicked();

private:
    struct Globo {
        QString texto;
        QString titulo;
        QSystemTrayIcon::MessageIcon icono;
        int ms;
    };
    void mostrarGlobo(const Globo& globo);
    void esperarIcono();
    void activado(QSystemTrayIcon::ActivationReason razon);
    void escribir(const QString& linea);

    Consola consola_;
    bool hayBandeja_;
    QSystemTrayIcon icono_;
    // A balloon raised before the notification area has placed the icon waits for it, briefly, so
    // it points at the icon rather than at a corner of the screen.
    std::optional<Globo> pendiente_;
    QTimer espera_;
    int esperas_ = 0;
};

}  // namespace kelmora::tray
