#pragma once

#include "platform/dialogs.h"
#include "settings/frm_impresion.h"
#include "shell/vista_servicio.h"
#include "tray/cls_systray.h"
#include "windows/frm_trabajos.h"
#include "windows/menu_bandeja.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kelmora::windows {

inline const QString kTituloPrincipal = QStringLiteral("Kelmora V3.0");

// The service's main window: the console of the current exchange and the pause button, hidden
// unless on a support workstation. It owns the tray icon, shows the poll cycle's state on it, and
// opens the settings window from it.
class frmMain final : public QWidget, public shell::VistaServicio {
    Q_OBJECT

public:
    // What the "Trabajos" window works on: the journal it lists, the clock that tells the last
    // days, and the print queue's two actions.
    struct Trabajos {
        platform::Journal& diario;
        const platform::Clock& reloj;
        frmTrabajos::Accion reimprimir;
        frmTrabajos::Accion descartar;
        frmTrabajos::PedirImpresoras impresoras = {};
        // The tray menu's test page: sends it to that printer, calls back with why it could not.
        std::function<void(const platform::PrinterSystem::PrinterState&, frmTrabajos::AlTerminar)> paginaPrueba = {};
    };

    struct Servicios {
        // Where Acceso and logo.bmp live, for the settings window.
        QString carpetaPrograma;
        platform::Dialogs& dialogos;
        // Ends the service at once (the settings window's shutdown and change of code).
        std::function<void()> terminarProceso;
        // Also receives the balloons and icon changes when there is no notification area, as the
        // console is emptied at every poll.
        std::function<void(const QString& linea)> respaldo;
        bool hayBandeja = QSystemTrayIcon::isSystemTrayAvailable();
        // Without them the settings window has no "Trabajos" button, and the tray menu neither
        // its entries of documents and printers.
        std::optional<Trabajos> trabajos = std::nullopt;
        // A line in the service's log (the tray menu's test pages and quitting).
        std::function<void(const QString& linea)> anotar = {};
        // Shows a file with the session's program for it; false when it could not. None: the
        // desktop's default.
        std::function<bool(const QString& ruta)> abrirArchivo = {};
    };

    explicit frmMain(Servicios servicios);
    ~frmMain() override;

    // The tray icon; the printing tells the user things through its balloons.
    tray::clsSystray& SysTray() { return SysTray_; }

    // VistaServicio
    void escribirConsola(const QString& texto) override;
    void limpiarConsola() override;
    void mostrarBotonReloj(const QString& caption) override;
    // Without a notification area the window is the service's only face, so it stays on screen.
    void mostrarVentana(bool visible) override;
    void Init(const QString& tooltip) override;
    void SetIcon(shell::EstadoIcono estado, const QString& tooltip) override;

    // Opens the settings window, modally or not; one that is open already is brought forward.
    void abrirAjustes(bool modal);
    settings::frmImpresion* ajustesAbiertos() const { return ajustes_; }
    // Opens the "Trabajos" window over `ventana` (the settings window), which takes it along when
    // it closes; one that is open already is brought forward.
    void abrirTrabajos(QWidget* ventana);
    frmTrabajos* trabajosAbiertos() const { return trabajos_; }
    // The tray icon's menu, which a single left click opens once it is clear that no double click
    // follows (a double click and a right click open the settings window).
    MenuBandeja& menuBandeja() { return *menu_; }
    void abrirMenu();

    QPlainTextEdit* consola = nullptr;
    QPushButton* botonReloj = nullptr;
    QLabel* lblDatos = nullptr;
    // The tray icon's status pictures.
    const QIcon iconoConectado;
    const QIcon iconoDesconectado;
    const QIcon iconoOK;
    const QIcon iconoError;

signals:
    // The clock button: the poll cycle pauses or resumes and answers with the new caption.
    void relojPulsado();
    // The window was closed; its tray icon is gone. The service ends.
    void descargada();

protected:
    void closeEvent(QCloseEvent* evento) override;

private:
    Servicios s_;
    tray::clsSystray SysTray_;
    QPointer<settings::frmImpresion> ajustes_;
    QPointer<frmTrabajos> trabajos_;
    std::unique_ptr<MenuBandeja> menu_;
    // A left click waits this long for the second click of a double click before the menu opens.
    QTimer clicSimple_;
    QElapsedTimer dobleClic_;
};

}  // namespace kelmora::windows
