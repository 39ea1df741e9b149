#include "shell/salida_estandar.h"

#include "platform/rotating_log.h"

#include <QRegularExpression>

namespace kelmora::shell {

namespace {

QString nombreIcono(platform::BalloonIcon icono) {
    switch (icono) {
    case platform::BalloonIcon::None: return QStringLiteral("aviso");
    case platform::BalloonIcon::Information: return QStringLiteral("informacion");
    case platform::BalloonIcon::Warning: return QStringLiteral("advertencia");
    case platform::BalloonIcon::Error: return QStringLiteral("error");
    }
    return {};
}

QString nombreIcono(platform::MessageIcon icono) {
    switch (icono) {
    case platform::MessageIcon::Information: return QStringLiteral("informacion");
    case platform::MessageIcon::Warning: return QStringLiteral("advertencia");
    case platform::MessageIcon::Error: return QStringLiteral("error");
    }
    return {};
}

QString nombreEstado(EstadoIcono estado) {
    switch (estado) {
    case EstadoIcono::Desconectado: return QStringLiteral("desconectado");
    case EstadoIcono::Conectado: return QStringLiteral("conectado");
    case EstadoIcono::OK: return QStringLiteral("ok");
    case EstadoIcono::Error: return QStringLiteral("error");
    }
    return {};
}

}  // namespace

void SalidaEstandar::escribirConsola(const QString& texto) {
    if (detallado_) escribir(salida_, texto);
}

void SalidaEstandar::Init(const QString& tooltip) {
    if (detallado_) escribir(salida_, QStringLiteral("Icono: ") + tooltip);
}

void SalidaEstandar::SetIcon(EstadoIcono estado, const QString& tooltip) {
    if (!detallado_) return;
    escribir(salida_, QStringLiteral("Icono [") + nombreEstado(estado) + QStringLiteral("]: ") + tooltip);
}

void SalidaEstandar::ShowBalloonTip(const QString& text, platform::BalloonIcon icon, const QString& title, int) {
    if (!detallado_) return;
    escribir(salida_, QStringLiteral("Globo [") + nombreIcono(icon) + QStringLiteral("] ") + title +
                          QStringLiteral(": ") + text);
}

void SalidaEstandar::showMessage(const QString& text, platform::MessageIcon icon, const QString& title) {
    const Gravedad gravedad = icon == platform::MessageIcon::Error     ? Gravedad::Error
                              : icon == platform::MessageIcon::Warning ? Gravedad::Advertencia
                                                                       : Gravedad::Nota;
    escribir(errores_,
             QStringLiteral("Mensaje [") + nombreIcono(icon) + QStringLiteral("] ") +
                 (title.isEmpty() ? platform::kApplicationTitle : title) + QStringLiteral(": ") + text,
             gravedad);
}

void SalidaEstandar::anotar(const QString& linea, Gravedad gravedad) {
    const QByteArray bytes = prioridad(gravedad) + (platform::logLine(reloj_.now(), linea) + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), errores_);
    std::fflush(errores_);
}

QByteArray SalidaEstandar::prioridad(Gravedad gravedad) const {
    if (!prioridades_) return {};
    switch (gravedad) {
    case Gravedad::Error: return QByteArrayLiteral("<3>");
    case Gravedad::Advertencia: return QByteArrayLiteral("<4>");
    case Gravedad::Nota: return QByteArrayLiteral("<6>");
    }
    return {};
}

void SalidaEstandar::escribir(std::FILE* destino, const QString& texto, Gravedad gravedad) {
    static const QRegularExpression finDeLinea(QStringLiteral("\r\n|\r|\n"));
    const QString marca = reloj_.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz "));
    QByteArray bytes;
    for (const QString& linea : texto.split(finDeLinea)) {
        bytes += prioridad(destino == errores_ ? gravedad : Gravedad::Nota);
        bytes += (marca + linea).toUtf8();
        bytes += '\n';
    }
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), destino);
    std::fflush(destino);
}

}  // namespace kelmora::shell
