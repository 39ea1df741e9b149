#include "settings/frm_impresion.h"
#include "support/service_fakes.h"
#include "support/test_support.h"
#include "tray/aplicacion_widgets.h"

#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kelmora::settings {
namespace {

using platform::MessageIcon;
using testing::ScriptedDialogs;
using Kind = testing::ScriptedDialogs::Kind;

const QString kCodigo = QStringLiteral("123451234512345");
const QString kCorreccion = QStringLiteral(
    "No tiene registrado un codigo para esta sucursal, registrelo en el siguiente campo.\r\nEl codigo de sucursal "
    "tiene 15 digitos");

QByteArray leer(const QString& ruta) {
    QFile archivo(ruta);
    return archivo.open(QIODevice::ReadOnly) ? archivo.readAll() : QByteArray();
}

void escribir(const QString& ruta, const QByteArray& bytes) {
    QFile archivo(ruta);
    ASSERT_TRUE(archivo.open(QIODevice::WriteOnly | QIODevice::Truncate));
    archivo.write(bytes);
}

QByteArray imagenCodificada(const QColor& color, const char* formato) {
    QImage imagen(500, 184, QImage::Format_RGB32);
    imagen.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    imagen.save(&buffer, formato);
    return bytes;
}

bool cerca(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
           std::abs(a.blue() - b.blue()) < 12;
}

// The window over a program folder of its own, with scripted boxes.
class VentanaAjustes : public ::testing::Test {
protected:
    QString ruta(const QString& nombre) const { return carpeta.filePath(nombre); }
    void guardarCodigo(const QByteArray& contenido) { escribir(ruta(QStringLiteral("Acceso")), contenido); }

    frmImpresion& abrir() {
        ventana = std::make_unique<frmImpresion>(frmImpresion::Servicios{
            carpeta.path(), dialogos, QIcon(), [this] { ++terminado; }});
        return *ventana;
    }

    QColor centroVistaPrevia() const { return ventana->vistaLogo->pixmap().toImage().pixelColor(181, 52); }

    QTemporaryDir carpeta;
    ScriptedDialogs dialogos;
    int terminado = 0;
    std::unique_ptr<frmImpresion> ventana;
};

// ---- opening ----

TEST_F(VentanaAjustes, MuestraElCodigoGuardado) {
    guardarCodigo((kCodigo + QStringLiteral("\r\nTECNIKA\r\n")).toLatin1());
    frmImpresion& v = abrir();
    EXPECT_EQ(v.campoCodigo->text(), kCodigo);
    EXPECT_TRUE(dialogos.shown.empty());
}

TEST_F(VentanaAjustes, SinCodigoLoPideAntesDeMostrarse) {
    dialogos.answers = {QStringLiteral("12"), QStringLiteral("A12345678901234")};
    frmImpresion& v = abrir();
    ASSERT_EQ(dialogos.shown.size(), 2u);
    EXPECT_EQ(dialogos.shown[0].title, QStringLiteral("Sistema de impresion"));
    EXPECT_EQ(dialogos.shown[1].title, QStringLiteral("Codigo de sucursal"));
    EXPECT_EQ(v.campoCodigo->text(), QStringLiteral("A12345678901234"));
    EXPECT_EQ(leer(ruta(QStringLiteral("Acceso"))), QByteArray("A12345678901234\r\n"));
}

TEST_F(VentanaAjustes, SinLogoLaVistaPreviaQuedaVacia) {
    guardarCodigo((kCodigo + QStringLiteral("\r\n")).toLatin1());
    frmImpresion& v = abrir();
    EXPECT_TRUE(v.vistaLogo->pixmap().isNull());
    EXPECT_TRUE(dialogos.only(Kind::Message).empty());
}

TEST_F(VentanaAjustes, ElLogoGuardadoSeMuestraSeaCualSeaSuFormato) {
    guardarCodigo((kCodigo + QStringLiteral("\r\n")).toLatin1());
    ASSERT_TRUE(QFile::copy(testing::dataPath(QStringLiteral("settings/logo-rojo.gif")), ruta(QStringLiteral("logo.bmp"))));
    frmImpresion& v = abrir();
    const QImage vista = v.vistaLogo->pixmap().toImage();
    ASSERT_EQ(vista.size(), QSize(363, 105));
    EXPECT_TRUE(cerca(vista.pixelColor(181, 52), Qt::red));
    // The margin around the fitted picture: 253 x 73 at 55, 16.
    EXPECT_FALSE(cerca(vista.pixelColor(54, 52), Qt::red));
    EXPECT_TRUE(cerca(vista.pixelColor(55, 16), Qt::red));
    EXPECT_FALSE(cerca(vista.pixelColor(181, 15), Qt::red));
}

// ---- changing the code ----

TEST_F(VentanaAjustes, UnCodigoAceptadoSeGuardaYElServicioTermina) {
    guardarCodigo((kCodigo + QStringLiteral("\r\ntecnika\r\n")).toLatin1());
    frmImpresion& v = abrir();
    dialogos.answers = {QStringLiteral("999998888877777")};
    v.botonCambiarCodigo->click();

    ASSERT_EQ(dialogos.only(Kind::Prompt).size(), 1u);
    EXPECT_EQ(dialogos.shown[0].title, QStringLiteral("Sistema de impresion"));
    EXPECT_EQ(dialogos.shown[0].text,
              QStringLiteral("Escribe codigo de la sucursal y presiona Aceptar para iniciar"));
    EXPECT_EQ(leer(ruta(QStringLiteral("Acceso"))), QByteArray("999998888877777\r\n"));
    EXPECT_EQ(v.campoCodigo->text(), QStringLiteral("999998888877777"));
    const auto mensajes = dialogos.only(Kind::Message);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].text, QStringLiteral("El codigo se ha actualizado correctamente, se va cerrar el servidor "
                                                "de impresoras, porfavor vuelvelo a abrir."));
    EXPECT_EQ(mensajes[0].icon, MessageIcon::Information);
    EXPECT_TRUE(mensajes[0].title.isEmpty());
    EXPECT_EQ(terminado, 1);
}

TEST_F(VentanaAjustes, UnCodigoCortoSeCorrigeAntesDeGuardarNada) {
    guardarCodigo((kCodigo + QStringLiteral("\r\n")).toLatin1());
    frmImpresion& v = abrir();
    dialogos.answers = {QStringLiteral("1234567890"), QStringLiteral("12345678901234x"),
                           QStringLiteral("5555566666777778")};
    v.botonCambiarCodigo->click();

    const auto preguntas = dialogos.only(Kind::Prompt);
    ASSERT_EQ(preguntas.size(), 3u);
    EXPECT_EQ(preguntas[1].title, QStringLiteral("Codigo de sucursal"));
    EXPECT_EQ(preguntas[1].text, kCorreccion);
    EXPECT_EQ(preguntas[2].title, QStringLiteral("Codigo de sucursal"));
    EXPECT_EQ(leer(ruta(QStringLiteral("Acceso"))), QByteArray("5555566666777778\r\n"));
    EXPECT_EQ(v.campoCodigo->text(), QStringLiteral("5555566666777778"));
    EXPECT_EQ(terminado, 1);
}

TEST_F(VentanaAjustes, CancelarConservaElCodigoYElServicio) {
    const QByteArray antes = (kCodigo + QStringLiteral("\r\nTECNIKA\r\n")).toLatin1();
    guardarCodigo(antes);
    frmImpresion& v = abrir();

    dialogos.answers = {std::nullopt};
    v.botonCambiarCodigo->click();
    dialogos.answers = {QStringLiteral("123"), std::nullopt};
    v.botonCambiarCodigo->click();

    EXPECT_EQ(dialogos.only(Kind::Prompt).size(), 3u);
    EXPECT_EQ(leer(ruta(QStringLiteral("Acceso"))), antes);
    EXPECT_EQ(v.campoCodigo->text(), kCodigo);
    EXPECT_TRUE(dialogos.only(Kind::Message).empty());
    EXPECT_EQ(terminado, 0);
}

// ---- loading a logo ----

class VentanaAjustesConLogo : public VentanaAjustes {
protected:
    VentanaAjustesConLogo() {
        guardarCodigo((kCodigo + QStringLiteral("\r\n")).toLatin1());
        logoAnterior = imagenCodificada(Qt::blue, "BMP");
        escribir(ruta(QStringLiteral("logo.bmp")), logoAnterior);
        abrir();
    }
    QByteArray logoAnterior;
};

TEST_F(VentanaAjustesConLogo, ElDialogoOfreceImagenesYLuegoTodo) {
    ventana->botonCargarImagen->click();
    const auto archivos = dialogos.only(Kind::File);
    ASSERT_EQ(archivos.size(), 1u);
    EXPECT_EQ(archivos[0].text, QStringLiteral("Imágenes Bmp,Gif, Jpg,jpeg) (*.bmp *.gif *.jpg *jpeg)|Todos (*.*)"));
    // No file chosen: nothing else happens.
    EXPECT_EQ(dialogos.shown.size(), 1u);
    EXPECT_EQ(leer(ruta(QStringLiteral("logo.bmp"))), logoAnterior);
}

TEST_F(VentanaAjustesConLogo, UnJpegSeMuestraYSeCopiaByteAByte) {
    // The name says nothing of the format: the picture is known by its content.
    const QByteArray jpeg = imagenCodificada(Qt::red, "JPG");
    escribir(ruta(QStringLiteral("elegida.dat")), jpeg);
    dialogos.file = ruta(QStringLiteral("elegida.dat"));
    ASSERT_TRUE(cerca(centroVistaPrevia(), Qt::blue));

    ventana->botonCargarImagen->click();

    EXPECT_EQ(leer(ruta(QStringLiteral("logo.bmp"))), jpeg);
    EXPECT_TRUE(cerca(centroVistaPrevia(), Qt::red));
    const auto mensajes = dialogos.only(Kind::Message);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].text, QStringLiteral("Imagen Cargada"));
    EXPECT_EQ(mensajes[0].icon, MessageIcon::Information);
}

TEST_F(VentanaAjustesConLogo, UnArchivoDeTextoSeRechazaYElLogoQueda) {
    escribir(ruta(QStringLiteral("notas.jpg")), "esto no es una imagen\r\n");
    dialogos.file = ruta(QStringLiteral("notas.jpg"));

    ventana->botonCargarImagen->click();

    EXPECT_EQ(leer(ruta(QStringLiteral("logo.bmp"))), logoAnterior);
    EXPECT_TRUE(cerca(centroVistaPrevia(), Qt::blue));
    const auto mensajes = dialogos.only(Kind::Message);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].text, QStringLiteral("Imagen no Valida"));
    EXPECT_EQ(mensajes[0].title, QStringLiteral("Error en la imagen"));
    EXPECT_EQ(mensajes[0].icon, MessageIcon::Error);
}

TEST_F(VentanaAjustesConLogo, UnaCopiaFallidaSeAvisaYDejaLaVistaNueva) {
    // A folder in the way of the logo file: the copy cannot replace it.
    QFile::remove(ruta(QStringLiteral("logo.bmp")));
    ASSERT_TRUE(QDir(carpeta.path()).mkdir(QStringLiteral("logo.bmp")));
    escribir(ruta(QStringLiteral("nueva.png")), imagenCodificada(Qt::green, "PNG"));
    dialogos.file = ruta(QStringLiteral("nueva.png"));

    ventana->botonCargarImagen->click();

    EXPECT_TRUE(QFileInfo(ruta(QStringLiteral("logo.bmp"))).isDir());
    EXPECT_TRUE(cerca(centroVistaPrevia(), Qt::green));
    const auto mensajes = dialogos.only(Kind::Message);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].text, QStringLiteral("Imagen no Valida"));
    EXPECT_EQ(mensajes[0].title, QStringLiteral("Error en la imagen"));
}

// ---- the jobs window ----

TEST_F(VentanaAjustes, ElBotonTrabajosSoloEstaSiAlguienLaAbre) {
    guardarCodigo((kCodigo + QStringLiteral("\r\n")).toLatin1());
    EXPECT_FALSE(abrir().botonTrabajos->isVisibleTo(ventana.get()));

    std::vector<QWidget*> abiertaSobre;
    ventana = std::make_unique<frmImpresion>(frmImpresion::Servicios{
        carpeta.path(), dialogos, QIcon(), [this] { ++terminado; },
        [&](QWidget* ajustes) { abiertaSobre.push_back(ajustes); }});
    ASSERT_TRUE(ventana->botonTrabajos->isVisibleTo(ventana.get()));
    ventana->botonTrabajos->click();
    EXPECT_EQ(abiertaSobre, std::vector<QWidget*>{ventana.get()});
    EXPECT_EQ(terminado, 0);
}

// ---- closing ----

TEST_F(VentanaAjustes, ApagarTerminaElServicioYCerrarSoloLaVentana) {
    guardarCodigo((kCodigo + QStringLiteral("\r\n")).toLatin1());
    frmImpresion& v = abrir();
    v.show();
    v.botonCerrar->click();
    EXPECT_FALSE(v.isVisible());
    EXPECT_EQ(terminado, 0);

    v.show();
    v.botonApagar->click();
    EXPECT_EQ(terminado, 1);
}

}  // namespace
}  // namespace kelmora::settings
