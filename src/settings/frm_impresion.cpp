#include "settings/frm_impresion.h"

#include "platform/files.h"
#include "printing/logo.h"
#include "shell/codigo_sucursal.h"

#include <QFile>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QStyle>

namespace kelmora::settings {

QImage cargarImagen(const QString& ruta) {
    QImageReader lector(ruta);
    lector.setDecideFormatFromContent(true);
    return lector.read();
}

namespace {

// The logo file is replaced whole or not at all, so a failed copy leaves the old logo for printing.
bool copiarArchivo(const QString& origen, const QString& destino) {
    QFile entrada(origen);
    if (!entrada.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = entrada.readAll();
    if (entrada.error() != QFileDevice::NoError) return false;
    QSaveFile salida(destino);
    return salida.open(QIODevice::WriteOnly) && salida.write(bytes) == bytes.size() && salida.commit();
}

}  // namespace

frmImpresion::frmImpresion(Servicios servicios, QWidget* parent) : QDialog(parent), s_(std::move(servicios)) {
    setWindowTitle(textos::tituloVentana);
    QPalette blanco = palette();
    blanco.setColor(QPalette::Window, Qt::white);
    setPalette(blanco);
    setAutoFillBackground(true);

    etiquetaCodigo = new QLabel(textos::codigoSucursal, this);
    campoCodigo = new QLineEdit(this);
    campoCodigo->setReadOnly(true);
    campoCodigo->setMinimumWidth(220);
    botonCambiarCodigo = new QPushButton(textos::cambiarCodigo, this);
    vistaLogo = new QLabel(this);
    vistaLogo->setFrameShape(QFrame::Box);
    vistaLogo->setLineWidth(1);
    // 363 x 105 inside the frame: room for a 500 x 184 logo at the preview margin.
    vistaLogo->setFixedSize(365, 107);
    botonCargarImagen = new QPushButton(textos::cargarImagen, this);
    botonApagar = new QPushButton(style()->standardIcon(QStyle::SP_BrowserStop), textos::apagarServidor, this);
    botonCerrar = new QPushButton(textos::cerrarVentana, this);
    botonTrabajos = new QPushButton(textos::trabajos, this);
    botonTrabajos->setVisible(static_cast<bool>(s_.abrirTrabajos));
    for (QPushButton* boton : {botonCambiarCodigo, botonCargarImagen, botonApagar, botonCerrar, botonTrabajos})
        boton->setAutoDefault(false);

    auto* rejilla = new QGridLayout(this);
    rejilla->setContentsMargins(20, 16, 20, 16);
    rejilla->setVerticalSpacing(10);
    rejilla->addWidget(etiquetaCodigo, 0, 0, 1, 2);
    rejilla->addWidget(campoCodigo, 1, 0);
    rejilla->addWidget(botonCambiarCodigo, 1, 1);
    rejilla->addWidget(vistaLogo, 2, 0, 1, 2, Qt::AlignHCenter);
    rejilla->addWidget(botonCargarImagen, 3, 0, 1, 2, Qt::AlignHCenter);
    rejilla->addWidget(botonTrabajos, 4, 0, 1, 2, Qt::AlignHCenter);
    rejilla->addWidget(botonApagar, 5, 0);
    rejilla->addWidget(botonCerrar, 5, 1);
    setLayout(rejilla);

    connect(botonCambiarCodigo, &QPushButton::clicked, this, &frmImpresion::cambiarCodigoPulsado);
    connect(botonCargarImagen, &QPushButton::clicked, this, &frmImpresion::cargarImagenPulsado);
    connect(botonApagar, &QPushButton::clicked, this, &frmImpresion::apagarPulsado);
    connect(botonCerrar, &QPushButton::clicked, this, &frmImpresion::cerrarPulsado);
    connect(botonTrabajos, &QPushButton::clicked, this, &frmImpresion::trabajosPulsado);

    // Opening: the main window's icon, the logo from its file, the branch code (which may prompt
    // before the window shows).
    setWindowIcon(s_.icono);
    if (platform::fileExists(rutaLogo())) pintarLogo(cargarImagen(rutaLogo()));
    campoCodigo->setText(shell::leerCodigoSucursal(s_.carpetaPrograma, s_.dialogos).value_or(QString()));

    adjustSize();
    if (const QScreen* pantalla = screen()) move(pantalla->availableGeometry().center() - rect().center());
}

QString frmImpresion::rutaLogo() const { return kelmora::rutaLogo(s_.carpetaPrograma); }

void frmImpresion::pintarLogo(const QImage& imagen) {
    fondo_.setDestino(vistaLogo);
    fondo_.setImagen(imagen);
    fondo_.setMargen(kMargenLogo);
    fondo_.repintar();
}

void frmImpresion::cambiarCodigoPulsado() {
    const std::optional<QString> codigo = shell::cambiarCodigoSucursal(s_.carpetaPrograma, s_.dialogos);
    if (!codigo) return;
    campoCodigo->setText(*codigo);
    s_.dialogos.showMessage(textos::codigoActualizado, platform::MessageIcon::Information, QString());
    if (s_.terminarProceso) s_.terminarProceso();
}

void frmImpresion::cargarImagenPulsado() {
    const std::optional<QString> ruta =
        s_.dialogos.chooseFile(textos::cargarImagen, {textos::filtroImagenes, textos::filtroTodos});
    if (!ruta) return;
    const QImage imagen = cargarImagen(*ruta);
    if (imagen.isNull()) {
        s_.dialogos.showMessage(textos::imagenNoValida, platform::MessageIcon::Error, textos::tituloErrorImagen);
        return;
    }
    pintarLogo(imagen);
    if (!copiarArchivo(*ruta, rutaLogo())) {
        s_.dialogos.showMessage(textos::imagenNoValida, platform::MessageIcon::Error, textos::tituloErrorImagen);
        return;
    }
    s_.dialogos.showMessage(textos::imagenCargada, platform::MessageIcon::Information, QString());
}

void frmImpresion::apagarPulsado() {
    if (s_.terminarProceso) s_.terminarProceso();
}

void frmImpresion::cerrarPulsado() { reject(); }

void frmImpresion::trabajosPulsado() {
    if (s_.abrirTrabajos) s_.abrirTrabajos(this);
}

}  // namespace kelmora::settings
