#pragma once

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/journal.h"
#include "platform/notifier.h"
#include "platform/printer.h"
#include "windows/frm_trabajos.h"

#include <QMenu>

#include <functional>
#include <memory>
#include <optional>

namespace kelmora::windows {

namespace textosMenu {
inline const QString trabajos = QStringLiteral("Trabajos");
inline const QString reimprimirUltimo = QStringLiteral("Reimprimir el último");
inline const QString paginaPrueba = QStringLiteral("Página de prueba");
inline const QString impresoras = QStringLiteral("Impresoras");
inline const QString consultando = QStringLiteral("Consultando las impresoras…");
inline const QString registro = QStringLiteral("Abrir el registro");
inline const QString salir = QStringLiteral("Salir");
}  // namespace textosMenu

// The tray icon's menu, for the manager and the technician at the branch: the list of documents,
// the last ticket again, a test page on any printer, the printers' state, the log, and quitting.
// The printers are asked when one of their submenus opens, where printing runs (a printer that
// does not answer holds that thread a while, and tickets wait behind the question): the submenu
// shows at once and fills in when they answered.
class MenuBandeja final : public QMenu {
    Q_OBJECT

public:
    using AlTerminar = frmTrabajos::AlTerminar;
    using Impresora = platform::PrinterSystem::PrinterState;

    // What the menu works on. Without a journal (`diario` null) it has no entries of documents
    // or printers.
    struct Servicios {
        platform::Journal* diario = nullptr;
        const platform::Clock* reloj = nullptr;
        platform::Dialogs& dialogos;
        platform::Notifier& avisos;
        frmTrabajos::Accion reimprimir = {};
        frmTrabajos::PedirImpresoras impresoras = {};
        // Sends the test page to that printer and calls back with the reason it could not.
        std::function<void(const Impresora&, AlTerminar)> paginaPrueba = {};
        std::function<void()> abrirTrabajos = {};
        // The service's log file, and how a file is shown to the person (false: it could not be).
        QString registro = {};
        std::function<bool(const QString& ruta)> abrirArchivo = {};
        // A line in the service's log.
        std::function<void(const QString& linea)> anotar = {};
        // Ends the service.
        std::function<void()> salir = {};
    };

    explicit MenuBandeja(Servicios servicios, QWidget* parent = nullptr);
    ~MenuBandeja() override { *vivo_ = false; }

    // Reads the last document again: what opening the menu does.
    void actualizar();
    // Asks the printers their state, unless a question is still waiting: what opening either
    // submenu of printers does.
    void pedirImpresoras();

    // Event handlers of the entries, also the tests' way in.
    void reimprimirUltimo();
    void abrirRegistro();
    void salirPulsado();

    QAction* accionTrabajos = nullptr;
    QAction* accionUltimo = nullptr;
    QMenu* menuPruebas = nullptr;
    QMenu* menuImpresoras = nullptr;
    QAction* accionRegistro = nullptr;
    QAction* accionSalir = nullptr;

private:
    void mostrarImpresoras(const frmTrabajos::Estados& estados);
    void enviarPrueba(const Impresora& impresora);

    Servicios s_;
    std::optional<qint64> ultimo_;
    bool pidiendo_ = false;
    // Answers that arrive after the menu is gone go nowhere.
    std::shared_ptr<bool> vivo_ = std::make_shared<bool>(true);
};

// How the menu shows a printer: its name, its state, how it is reached and what waits on it.
QString lineaImpresora(const platform::PrinterSystem::PrinterState& impresora, int enEspera);

}  // namespace kelmora::windows
