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

    // The file is in the system's 8-bit encoding; only CR ends a line (with the LF after it).
    const QString texto = QString::fromLocal8Bit(bytes);
    QStringList lineas;
    qsizetype inicio = 0;
    while (inicio < texto.size()) {
        const qsizetype cr = texto.indexOf(u'\r', inicio);
        if (cr < 0) {
            lineas.append(texto.mid(inicio));
            break;
        }
        lineas.append(texto.mid(inicio, cr - inicio));
        inicio = cr + 1;
        if (inicio < texto.size() && texto[inicio] == u'\n') ++inicio;
    }
    lineas.append(QString());
    return lineas;
}

bool codigoAceptable(const QString& codigo) {
    if (codigo.size() < kLongitudMinimaCodigo) return false;
    for (qsizetype i = 1; i < codigo.size(); ++i) {
        if (codigo[i] < u'0' || codigo[i] > u'9') return false;
    }
    return true;
}

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
    return platform::existeArchivo(ruta) ? leerLineas(ruta).value(0) : QString();
}

QString leerCodigoSucursal(const QString& carpetaPrograma, platform::Dialogs& dialogos) {
    const QString ruta = rutaAcceso(carpetaPrograma);
    QString codigo;
    if (platform::existeArchivo(ruta)) {
        codigo = leerLineas(ruta).value(0);
    } else {
        // First start: the welcome answer is stored as typed, before it is checked.
        codigo = dialogos.askText(textos::tituloBienvenida, textos::mensajeBienvenida).value_or(QString());
        escribirCodigo(ruta, codigo, dialogos);
    }
    if (!codigoAceptable(codigo)) {
        do {
            codigo = dialogos.askText(textos::tituloCorreccion, textos::mensajeCorreccion).value_or(QString());
        } while (!codigoAceptable(codigo));
        escribirCodigo(ruta, codigo, dialogos);
    }
    return codigo;
}

QString leerModoAcceso(const QString& carpetaPrograma) { return leerLineas(rutaAcceso(carpetaPrograma)).value(1); }

bool esModoSoporte(const QString& modoAcceso) { return modoAcceso.toUpper() == kModoSoporte; }

std::optional<QString> cambiarCodigoSucursal(const QString& carpetaPrograma, platform::Dialogs& dialogos) {
    std::optional<QString> codigo = dialogos.askText(textos::tituloCambio, textos::mensajeCambio);
    while (codigo && !codigoAceptable(*codigo)) {
        codigo = dialogos.askText(textos::tituloCorreccion, textos::mensajeCorreccion);
    }
    if (!codigo || !escribirCodigo(rutaAcceso(carpetaPrograma), *codigo, dialogos)) return std::nullopt;
    return codigo;
}

}  // namespace kelmora::shell
