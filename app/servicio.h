#pragma once

#include "shell/ciclo_consulta.h"

#include <QApplication>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <variant>

namespace kelmora::app {

// Exit statuses of the service.
inline constexpr int kSalidaNormal = 0;
inline constexpr int kSalidaUso = 1;     // bad options, a second instance, a folder that cannot be made
inline constexpr int kSalidaCodigo = 2;  // no branch code that passes the rule, and none can be asked for

struct OpcionesServicio {
    QString servidor;                // scheme, host and port of the central server
    QString carpeta;                 // program folder; empty: the default one
    std::optional<QString> codigo;   // a branch code to store before starting
    bool sinVentanas = false;        // --headless
    QString imprimirEn;              // virtual PDF printers writing here instead of the machine's
    QStringList impresoras;          // their names
    QString predeterminada;          // the default one among them
    int intervaloConsultaMs = shell::limites::intervaloConsultaMs;  // a hidden option, for measurements
    int limiteConsultaMs = shell::limites::tiempoMaximoConsultaMs;  // a hidden option, for fault runs
};

struct PedidoAyuda {
    QString texto;
};

// The options of `kelmora` (without the program name): the options, the help text, or an error
// text for the user.
std::variant<OpcionesServicio, PedidoAyuda, QString> leerOpciones(const QStringList& argumentos);

// The Qt application: with widgets when a display can be opened and windows are wanted, otherwise
// off screen, where the printers still paint. `sinVentanas` tells which it became.
struct Aplicacion {
    std::unique_ptr<QApplication> qt;
    bool sinVentanas = false;
};
Aplicacion crearAplicacion(int& argc, char** argv, bool sinVentanas);

// Runs the service until it ends (the event loop of the application made above); the exit status.
int ejecutarServicio(OpcionesServicio opciones, bool sinVentanas);

}  // namespace kelmora::app
