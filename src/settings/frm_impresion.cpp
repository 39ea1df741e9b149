#include "settings/frm_impresion.h"

#include "platform/files.h"
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

frmImpresion::frmImpresion(Partes partes, QWidget* parent) : QDialog(parent), p_(std::move(partes)) {
    setWindowTitle(textos::tituloVentana);
    QPalette blanco = palette();
    blanco.setColor(QPalette::Window, Qt::white);
    setPalette(blanco);
    setAutoFillBackground(true);

    Label1 = new QLabel(textos::codigoSucursal, this);
    txtCodigo = new QLineEdit(this);
    txtCodigo->setReadOnly(true);
    txtCodigo->setMinimumWidth(220);
    cmdCambiarCodigo = new QPushButton(textos::cambiarCodigo, this);
    pctLogo = new QLabel(this);
    pctLogo->setFrameShape(QFrame::Box);
    pctLogo->setLineWidth(1);
    // 363 x 105 inside the frame: room for a 500 x 184 logo at the preview margin.
    pctLogo->setFixedSize(365, 107);
    Command2 = new QPushButton(textos::cargarImagen, this);
    Command1 = new QPushButton(style()->standardIcon(QStyle::SP_BrowserStop), textos::apagarServidor, this);
    Command3 = new QPushButton(textos::cerrarVentana, this);
    for (QPushButton* boton : {cmdCambiarCodigo, Command2, Command1, Command3}) boton->setAutoDefault(false);

    auto* rejilla = new QGridLayout(this);
    rejilla->setContentsMargins(20, 16, 20, 16);
    rejilla->setVerticalSpacing(10);
    rejilla->addWidget(Label1, 0, 0, 1, 2);
    rejilla->addWidget(txtCodigo, 1, 0);
    rejilla->addWidget(cmdCambiarCodigo, 1, 1);
    rejilla->addWidget(pctLogo, 2, 0, 1, 2, Qt::AlignHCenter);
    rejilla->addWidget(Command2, 3, 0, 1, 2, Qt::AlignHCenter);
    rejilla->addWidget(Command1, 4, 0);
    rejilla->addWidget(Command3, 4, 1);
    setLayout(rejilla);

    connect(cmdCambiarCodigo, &QPushButton::clicked, this, &frmImpresion::cmdCambiarCodigo_Click);
    connect(Command2, &QPushButton::clicked, this, &frmImpresion::Command2_Click);
    connect(Command1, &QPushButton::clicked, this, &frmImpresion::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &frmImpresion::Command3_Click);

    // Opening: the main window's icon, the logo from its file, the branch code (which may prompt
    // before the window shows).
    setWindowIcon(p_.icono);
    if (platform::existeArchivo(rutaLogo())) pintarLogo(cargarImagen(rutaLogo()));
    txtCodigo->setText(shell::leerCodigoSucursal(p_.carpetaPrograma, p_.dialogos));

    adjustSize();
    if (const QScreen* pantalla = screen()) move(pantalla->availableGeometry().center() - rect().center());
}

QString frmImpresion::rutaLogo() const { return p_.carpetaPrograma + u'/' + kArchivoLogo; }

void frmImpresion::pintarLogo(const QImage& imagen) {
    fondo_.setForm(pctLogo);
    fondo_.setImagen(imagen);
    fondo_.setScaleMargin(kMargenLogo);
    fondo_.Refresh();
}

void frmImpresion::cmdCambiarCodigo_Click() {
    const std::optional<QString> codigo = shell::cambiarCodigoSucursal(p_.carpetaPrograma, p_.dialogos);
    if (!codigo) return;
    txtCodigo->setText(*codigo);
    p_.dialogos.showMessage(textos::codigoActualizado, platform::MessageIcon::Information, QString());
    if (p_.terminarProceso) p_.terminarProceso();
}

void frmImpresion::Command2_Click() {
    const std::optional<QString> ruta =
        p_.dialogos.chooseFile(textos::cargarImagen, {textos::filtroImagenes, textos::filtroTodos});
    if (!ruta) return;
    const QImage imagen = cargarImagen(*ruta);
    if (imagen.isNull()) {
        p_.dialogos.showMessage(textos::imagenNoValida, platform::MessageIcon::Error, textos::tituloErrorImagen);
        return;
    }
    pintarLogo(imagen);
    if (!copiarArchivo(*ruta, rutaLogo())) {
        p_.dialogos.showMessage(textos::imagenNoValida, platform::MessageIcon::Error, textos::tituloErrorImagen);
        return;
    }
    p_.dialogos.showMessage(textos::imagenCargada, platform::MessageIcon::Information, QString());
}

void frmImpresion::Command1_Click() {
    if (p_.terminarProceso) p_.terminarProceso();
}

void frmImpresion::Command3_Click() { reject(); }

}  // namespace kelmora::settings
