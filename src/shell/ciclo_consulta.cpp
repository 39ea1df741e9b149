#include "shell/ciclo_consulta.h"

#include "json/runtime_error.h"

namespace kelmora::shell {

namespace {

const QString kRutaConsulta = QStringLiteral("/?r=servicio/getImpresiones&idSyA=");

QString mebibytes(qint64 bytes) { return QString::number(bytes / (1024 * 1024)) + QStringLiteral(" MiB"); }

}  // namespace

QUrl urlConsulta(const QString& servidor, const QString& codigoSucursal) {
    QString base = servidor;
    while (base.endsWith(u'/')) base.chop(1);
    // Only the first character of a code is free; encoded, it cannot end the query.
    return QUrl(base + kRutaConsulta + QString::fromLatin1(QUrl::toPercentEncoding(codigoSucursal)));
}

CicloConsulta::CicloConsulta(Partes partes, QUrl urlConsulta, int intervaloMs, int limiteConsultaMs)
    : p_(std::move(partes)), url_(std::move(urlConsulta)), intervaloMs_(intervaloMs), limiteConsultaMs_(limiteConsultaMs) {
    p_.timerOps.setHandler([this] { timerOps_Timer(); });
    p_.limiteConsulta.setHandler([this] { limiteConsulta_Timer(); });
    p_.WebBrowser.setEvents(platform::PageLoader::Events{
        [this](const QString& texto) { WebBrowser_StatusTextChange(texto); },
        [this](const QString& cuerpo) { WebBrowser_DocumentComplete(cuerpo); },
        [this](platform::PageLoader::Failure falla, const QString& descripcion) {
            WebBrowser_Failed(falla, descripcion);
        },
    });
}

CicloConsulta::~CicloConsulta() {
    p_.timerOps.stop();
    p_.limiteConsulta.stop();
    p_.WebBrowser.abort();
    p_.timerOps.setHandler({});
    p_.limiteConsulta.setHandler({});
    p_.WebBrowser.setEvents({});
}

void CicloConsulta::iniciar() { p_.timerOps.start(intervaloMs_, platform::Timer::Mode::Repeating); }

void CicloConsulta::Command1_Click() {
    if (p_.timerOps.isActive()) {
        p_.timerOps.stop();
        p_.vista.mostrarBotonReloj(textos::reanudarReloj);
    } else {
        p_.timerOps.start(intervaloMs_, platform::Timer::Mode::Repeating);
        p_.vista.mostrarBotonReloj(textos::pausarReloj);
    }
}

void CicloConsulta::timerOps_Timer() {
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
    p_.vista.limpiarConsola();
    contadorEspera_ = 0;
    pedirImpresiones();
    tipoPeticion_ = 1;
}

void CicloConsulta::pedirImpresiones() {
    if (ocupado_) return;
    p_.vista.escribirConsola(QStringLiteral("Peticion HTTP: \r\n--"));
    p_.vista.escribirConsola(url_.toString(QUrl::RemovePassword | QUrl::FullyEncoded));
    consultaEnCurso_ = true;
    p_.limiteConsulta.start(limiteConsultaMs_, platform::Timer::Mode::SingleShot);
    p_.WebBrowser.start(url_, limites::tamanoMaximoRespuesta);
}

void CicloConsulta::WebBrowser_StatusTextChange(const QString& texto) {
    p_.vista.escribirConsola(textos::separadorEstado);
    p_.vista.escribirConsola(texto);
}

void CicloConsulta::WebBrowser_DocumentComplete(const QString& cuerpo) {
    consultaEnCurso_ = false;
    p_.limiteConsulta.stop();
    // Set before anything can fail: a tick that comes in during the handling only counts.
    ocupado_ = true;
    p_.vista.escribirConsola(cuerpo);
    try {
        procesarRespuesta(cuerpo);
    } catch (const RuntimeError& e) {
        // The last catcher of the answer: `ocupado` stays set, so polling waits out the ticks.
        p_.vista.escribirConsola(QStringLiteral("Error al procesar la respuesta: ") + e.description());
        return;
    }
    p_.vista.SetIcon(EstadoIcono::OK, textos::tooltipSincronizado);
    p_.vista.SetIcon(EstadoIcono::Conectado, textos::tooltipConectado);
}

void CicloConsulta::procesarRespuesta(const QString& texto) {
    // The JSON document starts at the sixth character.
    const QString json = texto.mid(5);
    p_.vista.escribirConsola(QStringLiteral("Respuesta: "));
    p_.vista.escribirConsola(QStringLiteral("--"));
    const Value datos = lector_.leerJSON(json);
    if (!lector_.erroresJSON().isEmpty()) {
        p_.vista.escribirConsola(lector_.erroresJSON());
    } else if (tipoPeticion_ == 1) {
        p_.setComunicacion(datos);
    }
    ocupado_ = false;
}

void CicloConsulta::WebBrowser_Failed(platform::PageLoader::Failure falla, const QString& descripcion) {
    consultaEnCurso_ = false;
    p_.limiteConsulta.stop();
    switch (falla) {
    case platform::PageLoader::Failure::TooLarge:
        p_.vista.escribirConsola(QStringLiteral("Respuesta descartada: supera el limite de ") +
                                 mebibytes(limites::tamanoMaximoRespuesta));
        break;
    case platform::PageLoader::Failure::Transport:
        p_.vista.escribirConsola(QStringLiteral("Sin respuesta del servidor: ") + descripcion);
        break;
    case platform::PageLoader::Failure::Redirect:
        p_.vista.escribirConsola(QStringLiteral("Redirección rechazada: el servidor apuntó a ") + descripcion);
        break;
    }
}

void CicloConsulta::limiteConsulta_Timer() {
    if (!consultaEnCurso_) return;
    p_.WebBrowser.abort();
    consultaEnCurso_ = false;
    p_.vista.escribirConsola(QStringLiteral("Peticion abandonada: el servidor no respondio en ") +
                             QString::number(limiteConsultaMs_ / 1000.0) + QStringLiteral(" segundos"));
}

}  // namespace kelmora::shell
