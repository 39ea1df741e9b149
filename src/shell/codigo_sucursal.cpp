#include "shell/codigo_sucursal.h"

#include "platform/files.h"

#include <QDir>
#include <QFile>

namespace kelmora::shell {

QString rutaAcceso(const QString& carpetaPrograma) { return carpetaPrograma + u'/' + kArchivoAcceso; }

QStringList leerLineas(const QString& ruta) {
    QFile archivo(ruta);
    if (!archivo.open(QIODevice::ReadOnly)) return {QString(), QString(), QString()};
    const QByteArray bytes = archivo.readAll();
    if (archivo.error() != QFileDevice::NoError) return {QString(), QString(), QString()};

    // The file is in the system's 8-bit encoding. CR LF ends a line, as the service writes it;
    // a lone CR, and a lone LF as an editor on Linux writes it, end one too.
    const QString texto = QString::fromLocal8Bit(bytes);
    QStringList lineas;
    qsizetype inicio = 0;
    while (inicio < texto.size()) {
        qsizetype fin = inicio;
        while (fin < texto.size() && texto[fin] != u'\r' && texto[fin] != u'\n') ++fin;
        lineas.append(texto.mid(inicio, fin - inicio));
        if (fin == texto.size()) break;
        inicio = fin + 1;
        if (texto[fin] == u'\r' && inicio < texto.size() && texto[inicio] == u'\n') ++inicio;
    }
    lineas.append(QString());
    return lineas;
}

bool codigoAceptable(const QString& codigo) { return motivoCodigo(codigo).isEmpty(); }

QString motivoCodigo(const QString& codigo) {
    if (codigo.isEmpty()) return QStringLiteral("está vacío");
    if (codigo.size() < kLongitudMinimaCodigo) {
        return QStringLiteral("tiene %1 caracteres y necesita al menos %2").arg(codigo.size()).arg(kLongitudMinimaCodigo);
    }
    if (codigo.size() > kLongitudMaximaCodigo) {
        return QStringLiteral("tiene %1 caracteres y admite a lo sumo %2").arg(codigo.size()).arg(kLongitudMaximaCodigo);
    }
    for (qsizetype i = 1; i < codigo.size(); ++i) {
        if (codigo[i] < u'0' || codigo[i] > u'9') {
            return QStringLiteral("el carácter %1 («%2») no es un dígito: desde el segundo, todos lo son")
                .arg(i + 1)
                .arg(codigo[i]);
        }
    }
    return {};
}

namespace {

// What was typed, without the blanks a copy brings along; nullopt stays nullopt (cancelled).
std::optional<QString> recortado(std::optional<QString> texto) {
    if (texto) *texto = texto->trimmed();
    return texto;
}

}  // namespace

bool escribirCodigo(const QString& ruta, const QString& codigo, platform::Dialogs& dialogos) {
    QFile archivo(ruta);
    const QByteArray bytes = (codigo + QStringLiteral("\r\n")).toLocal8Bit();
    bool escrito = archivo.open(QIODevice::WriteOnly | QIODevice::Truncate) && archivo.write(bytes) == bytes.size();
    if (archivo.isOpen() && !archivo.flush()) escrito = false;
    const QString error = archivo.errorString();
    archivo.close();
    if (!escrito) {
        dialogos.showMessage(QStringLiteral("No se pudo guardar el codigo de sucursal en el archivo ") +
                                 QDir::toNativeSeparators(ruta) + QStringLiteral(" (") + error +
                                 QStringLiteral("). El servicio sigue funcionando con el codigo en memoria."),
                             platform::MessageIcon::Warning, QString());
    }
    return escrito;
}

QString codigoGuardado(const QString& carpetaPrograma) {
    const QString ruta = rutaAcceso(carpetaPrograma);
    return platform::fileExists(ruta) ? leerLineas(ruta).value(0).trimmed() : QString();
}

std::optional<QString> leerCodigoSucursal(const QString& carpetaPrograma, platform::Dialogs& dialogos) {
    const QString ruta = rutaAcceso(carpetaPrograma);
    QString codigo;
    if (platform::fileExists(ruta)) {
        codigo = leerLineas(ruta).value(0).trimmed();
    } else {
        // First start: the welcome answer is stored as typed, before it is checked.
        const std::optional<QString> bienvenida =
            recortado(dialogos.askText(textos::tituloBienvenida, textos::mensajeBienvenida));
        // Whoever cancels does not want to go on: asking again would hold the desktop forever.
        if (!bienvenida) return std::nullopt;
        codigo = *bienvenida;
        escribirCodigo(ruta, codigo, dialogos);
    }
    while (!codigoAceptable(codigo)) {
        const std::optional<QString> correccion = recortado(dialogos.askText(textos::tituloCorreccion, textos::mensajeCorreccion));
        if (!correccion) return std::nullopt;
        codigo = *correccion;
        if (codigoAceptable(codigo)) escribirCodigo(ruta, codigo, dialogos);
    }
    return codigo;
}

QString leerModoAcceso(const QString& carpetaPrograma) { return leerLineas(rutaAcceso(carpetaPrograma)).value(1); }

bool esModoSoporte(const QString& modoAcceso) { return modoAcceso.toUpper() == kModoSoporte; }

std::optional<QString> cambiarCodigoSucursal(const QString& carpetaPrograma, platform::Dialogs& dialogos) {
    std::optional<QString> codigo = recortado(dialogos.askText(textos::tituloCambio, textos::mensajeCambio));
    while (codigo && !codigoAceptable(*codigo)) {
        codigo = recortado(dialogos.askText(textos::tituloCorreccion, textos::mensajeCorreccion));
    }
    if (!codigo || !escribirCodigo(rutaAcceso(carpetaPrograma), *codigo, dialogos)) return std::nullopt;
    return codigo;
}

}  // namespace kelmora::shell
