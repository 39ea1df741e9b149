#pragma once

#include "json/json_reader.h"
#include "json/value.h"
#include "platform/page_loader.h"
#include "platform/timer.h"
#include "shell/bitacora.h"
#include "shell/respuesta.h"
#include "shell/vista_servicio.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

namespace kelmora::shell {

// The limits of the poll cycle, in one place.
namespace limites {
// The poll timer: one tick, one poll.
inline constexpr int intervaloConsultaMs = 1500;
// A fetch without an answer by then is abandoned; the next tick polls again.
inline constexpr int tiempoMaximoConsultaMs = 20000;
// A longer answer is dropped unread.
inline constexpr qint64 tamanoMaximoRespuesta = qint64{32} * 1024 * 1024;
// Ticks skipped while an answer is handled; the tick after them clears the busy flag and the one
// after that polls again.
inline constexpr qint16 ticksEsperaMaximos = 20;
}  // namespace limites

namespace textos {
inline const QString pausarReloj = QStringLiteral("Pausar Reloj");
inline const QString reanudarReloj = QStringLiteral("Reanudar Reloj");
inline const QString tooltipInicial = QStringLiteral("Kelmora Tavrel");
inline const QString tooltipConectando = QStringLiteral("Conectando");
inline const QString tooltipSincronizado = QStringLiteral("Sincronizacion satisfactoria");
inline const QString tooltipConectado = QStringLiteral("Conectado");
inline const QString tooltipSinConexion = QStringLiteral("Sin conexion con el servidor");
// "3 tickets sin imprimir": what the tray says while documents wait for a printer or a person.
QString tooltipSinImprimir(int documentos);
inline const QString globoInicio = QStringLiteral("Sistema funcionando correctamente");
inline const QString tituloGloboInicio = QStringLiteral("Sistema de impresora");
inline const QString separadorEstado = QStringLiteral("-------------------------------");
}  // namespace textos

// The poll URL: the server's address (scheme, host, port) followed by the poll path and the code.
QUrl urlConsulta(const QString& servidor, const QString& codigoSucursal);

// The poll cycle of the main window as a plain state machine: timer ticks, fetches through the
// page loader, the handling of each answer and the pause button. It knows no widgets or sockets.
//
// A tick starts no fetch while one is under way; a fetch is abandoned only after
// tiempoMaximoConsultaMs. While an answer is handled (`ocupado`) ticks only count, and the 21st
// clears the flag, so a handling that failed holds polling up for about 33 s.
class CicloConsulta {
public:
    struct Servicios {
        VistaServicio& vista;
        platform::PageLoader& cargador;
        // The poll timer: one tick, one poll.
        platform::Timer& temporizador;
        // Single shot: ends a fetch that takes too long.
        platform::Timer& limiteConsulta;
        // The dispatcher's setComunicacion, with the answer's JSON as sent; a failed dispatch
        // raises RuntimeError.
        Despachar despachar;
    };

    // intervaloMs: the poll timer's interval; limiteConsultaMs: when a fetch is abandoned. Only
    // measurement and fault runs change them.
    CicloConsulta(Servicios servicios, QUrl urlConsulta, int intervaloMs = limites::intervaloConsultaMs,
                  int limiteConsultaMs = limites::tiempoMaximoConsultaMs);
    ~CicloConsulta();
    CicloConsulta(const CicloConsulta&) = delete;
    CicloConsulta& operator=(const CicloConsulta&) = delete;

    // The last step of the start-up: enables the poll timer, so the first poll comes one interval later.
    void iniciar();
    // Pauses or resumes the timer, with the button's new caption.
    void pausarOReanudar();

    // The answer handling's own steps, on the text after the page's body was logged.
    void procesarRespuesta(const QString& texto);

    // The dispatch of an answer ended on a run-time error found after it was handed over (its
    // documents print in their turn): polling waits, as after a handling that failed.
    void fallarDespacho(const QString& descripcion);

    // Where the lines go that say when the server stops or starts answering.
    void setBitacora(Bitacora& bitacora) { bitacora_ = &bitacora; }
    // Called at every tick of the poll timer: the cycle is alive (the service manager's watchdog).
    void setLatido(std::function<void()> latido) { latido_ = std::move(latido); }
    // How many documents are not on paper (held, failed, expired): while any are, the tray says
    // so instead of "Conectado", and beside "Sin conexion con el servidor" while the server does
    // not answer. Called again whenever the count changes.
    void mostrarSinImprimir(int documentos);
    // A printer that cannot print now, and why ("sin papel"); an empty reason when it can again.
    // The tray shows it, with the count of what waits, until it can.
    void mostrarImpresora(const QString& impresora, const QString& problema);

    const QUrl& url() const { return url_; }
    bool ocupado() const { return ocupado_; }
    qint16 contadorEspera() const { return contadorEspera_; }
    bool consultaEnCurso() const { return consultaEnCurso_; }
    bool temporizadorActivo() const { return s_.temporizador.isActive(); }

private:
    void alDarTick();
    void pedirImpresiones();
    void alCambiarEstado(const QString& texto);
    void alTerminarCarga(const QString& cuerpo);
    void alFallarCarga(platform::PageLoader::Failure falla, const QString& descripcion);
    void alVencerLimite();
    // The server answered or did not: the tray's picture, and a log line when that changes.
    void servidorResponde();
    void servidorNoResponde(const QString& motivo);
    // The tray's picture and tooltip for how the server stands, with what waits.
    void mostrarEstado();
    // The count of documents not on paper and each printer's trouble, as the tooltip says them.
    QStringList pendientes() const;

    Servicios s_;
    QUrl url_;
    int intervaloMs_;
    int limiteConsultaMs_;
    JsonReader lector_;
    bool ocupado_ = false;
    qint16 contadorEspera_ = 0;
    bool consultaEnCurso_ = false;
    Bitacora* bitacora_ = nullptr;
    std::function<void()> latido_;
    std::optional<bool> respondio_;  // what the last poll got; none before the first
    int sinImprimir_ = 0;
    QMap<QString, QString> impresorasConProblemas_;
};

}  // namespace kelmora::shell
