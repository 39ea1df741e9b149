#include "shell/ciclo_consulta.h"

#include "json/runtime_error.h"
#include "shell/respuesta.h"

namespace kelmora::shell {

namespace {

const QString kRutaConsulta = QStringLiteral("/?r=servicio/getImpresiones&idSyA=");

QString mebibytes(qint64 bytes) { return QString::number(bytes / (1024 * 1024)) + QStringLiteral(" MiB"); }

}  // namespace

QString tooltipSinImprimir(int documentos) {
    return documentos == 1 ? QStringLiteral("1 ticket sin imprimir")
                           : QStringLiteral("%1 tickets sin imprimir").arg(documentos);
}

QUrl urlConsulta(const QString& servidor, const QString& codigoSucursal) {
    QString base = servidor;
    while (base.endsWith(u'/')) base.chop(1);
    // Only the first character of a code is free; encoded, it cannot end the query.
    return QUrl(base + kRutaConsulta + QString::fromLatin1(QUrl::toPercentEncoding(codigoSucursal)));
}

CicloConsulta::CicloConsulta(Servicios servicios, QUrl urlConsulta, int intervaloMs, int limiteConsultaMs)
    : s_(std::move(servicios)), url_(std::move(urlConsulta)), intervaloMs_(intervaloMs), limiteConsultaMs_(limiteConsultaMs) {
    s_.temporizador.setHandler([this] { alDarTick(); });
    s_.limiteConsulta.setHandler([this] { alVencerLimite(); });
    s_.cargador.setEvents(platform::PageLoader::Events{
        [this](const QString& texto) { alCambiarEstado(texto); },
        [this](const QString& cuerpo) { alTerminarCarga(cuerpo); },
        [this](platform::PageLoader::Failure falla, const QString& descripcion) { alFallarCarga(falla, descripcion); },
    });
}

CicloConsulta::~CicloConsulta() {
    s_.temporizador.stop();
    s_.limiteConsulta.stop();
    s_.cargador.abort();
    s_.temporizador.setHandler({});
    s_.limiteConsulta.setHandler({});
    s_.cargador.setEvents({});
}

void CicloConsulta::iniciar() { s_.temporizador.start(intervaloMs_, platform::Timer::Mode::Repeating); }

void CicloConsulta::pausarOReanudar() {
    if (s_.temporizador.isActive()) {
        s_.temporizador.stop();
        s_.vista.mostrarBotonReloj(textos::reanudarReloj);
    } else {
        s_.temporizador.start(intervaloMs_, platform::Timer::Mode::Repeating);
        s_.vista.mostrarBotonReloj(textos::pausarReloj);
    }
}

void CicloConsulta::alDarTick() {
    if (latido_) latido_();
    if (ocupado_) {
        ++contadorEspera_;
        if (contadorEspera_ > limites::ticksEsperaMaximos) {
            contadorEspera_ = 0;
            ocupado_ = false;
        }
        return;
    }
    // A slow answer is still coming: waiting for it keeps the jobs the server already handed out.
    if (consultaEnCurso_) return;
    s_.vista.limpiarConsola();
    contadorEspera_ = 0;
    pedirImpresiones();
}

void CicloConsulta::pedirImpresiones() {
    s_.vista.escribirConsola(QStringLiteral("Peticion HTTP: \r\n--"));
    s_.vista.escribirConsola(url_.toString(QUrl::RemovePassword | QUrl::FullyEncoded));
    consultaEnCurso_ = true;
    s_.limiteConsulta.start(limiteConsultaMs_, platform::Timer::Mode::SingleShot);
    s_.cargador.start(url_, limites::tamanoMaximoRespuesta);
}

void CicloConsulta::alCambiarEstado(const QString& texto) {
    s_.vista.escribirConsola(textos::separadorEstado);
    s_.vista.escribirConsola(texto);
}

void CicloConsulta::alTerminarCarga(const QString& cuerpo) {
    consultaEnCurso_ = false;
    s_.limiteConsulta.stop();
    // Set before anything can fail: a tick that comes in during the handling only counts.
    ocupado_ = true;
    s_.vista.escribirConsola(cuerpo);
    try {
        procesarRespuesta(cuerpo);
    } catch (const RuntimeError& e) {
        // The last catcher of the answer: `ocupado` stays set, so polling waits out the ticks.
        fallarDespacho(e.description());
        return;
    }
    s_.vista.SetIcon(EstadoIcono::OK, textos::tooltipSincronizado);
    servidorResponde();
}

void CicloConsulta::fallarDespacho(const QString& descripcion) {
    s_.vista.escribirConsola(QStringLiteral("Error al procesar la respuesta: ") + descripcion);
    ocupado_ = true;
    contadorEspera_ = 0;
}

void CicloConsulta::servidorResponde() {
    // The first answer is what a start expects; only an answer after silence is news.
    if (respondio_ == false && bitacora_ != nullptr) bitacora_->anotar(QStringLiteral("El servidor responde de nuevo"));
    respondio_ = true;
    mostrarEstado();
}

void CicloConsulta::servidorNoResponde(const QString& motivo) {
    if (respondio_ != false && bitacora_ != nullptr) {
        bitacora_->anotar(QStringLiteral("El servidor no responde: ") + motivo, Gravedad::Advertencia);
    }
    respondio_ = false;
    mostrarEstado();
}

QStringList CicloConsulta::pendientes() const {
    QStringList partes;
    if (sinImprimir_ > 0) partes.append(tooltipSinImprimir(sinImprimir_));
    for (auto it = impresorasConProblemas_.cbegin(); it != impresorasConProblemas_.cend(); ++it) {
        partes.append(it.key() + QStringLiteral(": ") + it.value());
    }
    return partes;
}

// How the server stands, with what waits: the tickets not on paper and the printers' troubles stay
// on the tray whether or not the server answers. Before the first answer "Conectando" stays,
// unless something waits already.
void CicloConsulta::mostrarEstado() {
    QStringList partes = pendientes();
    if (respondio_ == true) {
        if (partes.isEmpty()) {
            s_.vista.SetIcon(EstadoIcono::Conectado, textos::tooltipConectado);
        } else {
            s_.vista.SetIcon(EstadoIcono::Error, partes.join(QStringLiteral("; ")));
        }
        return;
    }
    if (!respondio_.has_value() && partes.isEmpty()) return;
    partes.prepend(respondio_ == false ? textos::tooltipSinConexion : textos::tooltipConectando);
    s_.vista.SetIcon(EstadoIcono::Desconectado, partes.join(QStringLiteral("; ")));
}

void CicloConsulta::mostrarSinImprimir(int documentos) {
    if (documentos == sinImprimir_) return;
    sinImprimir_ = documentos;
    mostrarEstado();
}

void CicloConsulta::mostrarImpresora(const QString& impresora, const QString& problema) {
    if (impresorasConProblemas_.value(impresora) == problema) return;
    if (problema.isEmpty()) {
        impresorasConProblemas_.remove(impresora);
    } else {
        impresorasConProblemas_.insert(impresora, problema);
    }
    mostrarEstado();
}

void CicloConsulta::procesarRespuesta(const QString& texto) {
    s_.vista.escribirConsola(QStringLiteral("Respuesta: "));
    s_.vista.escribirConsola(QStringLiteral("--"));
    // Every answer that reaches here comes from a poll, the only request the cycle makes.
    const QString errores = atenderRespuesta(lector_, texto, s_.despachar);
    if (!errores.isEmpty()) s_.vista.escribirConsola(errores);
    ocupado_ = false;
}

void CicloConsulta::alFallarCarga(platform::PageLoader::Failure falla, const QString& descripcion) {
    consultaEnCurso_ = false;
    s_.limiteConsulta.stop();
    switch (falla) {
    case platform::PageLoader::Failure::TooLarge:
        s_.vista.escribirConsola(QStringLiteral("Respuesta descartada: supera el limite de ") +
                                 mebibytes(limites::tamanoMaximoRespuesta));
        break;
    case platform::PageLoader::Failure::Transport:
        s_.vista.escribirConsola(QStringLiteral("Sin respuesta del servidor: ") + descripcion);
        servidorNoResponde(descripcion);
        break;
    case platform::PageLoader::Failure::Redirect:
        s_.vista.escribirConsola(QStringLiteral("Redirección rechazada: el servidor apuntó a ") + descripcion);
        break;
    }
}

void CicloConsulta::alVencerLimite() {
    if (!consultaEnCurso_) return;
    s_.cargador.abort();
    consultaEnCurso_ = false;
    const QString motivo = QStringLiteral("el servidor no respondio en ") +
                           QString::number(limiteConsultaMs_ / 1000.0) + QStringLiteral(" segundos");
    s_.vista.escribirConsola(QStringLiteral("Peticion abandonada: ") + motivo);
    servidorNoResponde(motivo);
}

}  // namespace kelmora::shell
