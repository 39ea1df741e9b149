#pragma once

#include <QString>

namespace kelmora::shell {

// The tray icon's status pictures.
enum class EstadoIcono {
    Desconectado,  // iconoDesconectado: starting, not yet connected
    Conectado,     // iconoConectado: the last answer was handled
    OK,            // iconoOK: an answer was just handled
    Error,         // iconoError
};

// What the poll cycle and the start-up show to the user: the main window (console, pause button,
// visibility) and the tray icon's picture and tooltip. Balloons go through platform::Notifier.
// Implemented with widgets by the main window, and headless as timestamped lines on standard output.
class VistaServicio {
public:
    virtual ~VistaServicio() = default;

    // The console: appends the text and a line end, keeping the newest line in view.
    virtual void escribirConsola(const QString& texto) = 0;
    virtual void limpiarConsola() = 0;
    // The pause button's caption: "Pausar Reloj" while the timer runs, "Reanudar Reloj" while paused.
    virtual void mostrarBotonReloj(const QString& caption) = 0;
    // The main window stays on screen only on a support workstation.
    virtual void mostrarVentana(bool visible) = 0;

    // The tray icon: shown once, with the application's picture and this tooltip (SysTray.Init).
    virtual void Init(const QString& tooltip) = 0;
    // A status picture with its tooltip (SysTray.SetIcon).
    virtual void SetIcon(EstadoIcono estado, const QString& tooltip) = 0;
};

}  // namespace kelmora::shell
