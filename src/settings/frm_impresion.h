#pragma once

#include "platform/dialogs.h"
#include "settings/clas_background.h"

#include <QDialog>
#include <QIcon>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kelmora::settings {

namespace textos {
inline const QString tituloVentana = QStringLiteral("Servicio de impresion");
inline const QString codigoSucursal = QStringLiteral("Codigo Sucursal");
inline const QString cambiarCodigo = QStringLiteral("Cambiar codigo");
inline const QString cargarImagen = QStringLiteral("Cargar Imagen");
inline const QString apagarServidor = QStringLiteral("Apagar Servidor");
inline const QString cerrarVentana = QStringLiteral("Cerrar Ventana");
inline const QString trabajos = QStringLiteral("Trabajos");
inline const QString codigoActualizado = QStringLiteral(
    "El codigo se ha actualizado correctamente, se va cerrar el servidor de impresoras, porfavor vuelvelo a abrir.");
inline const QString imagenCargada = QStringLiteral("Imagen Cargada");
inline const QString imagenNoValida = QStringLiteral("Imagen no Valida");
inline const QString tituloErrorImagen = QStringLiteral("Error en la imagen");
inline const QString filtroImagenes = QStringLiteral("Imágenes Bmp,Gif, Jpg,jpeg) (*.bmp *.gif *.jpg *jpeg)");
inline const QString filtroTodos = QStringLiteral("Todos (*.*)");
}  // namespace textos

// Margin of the logo preview, in pixels.
inline constexpr qint16 kMargenLogo = 32;

// A picture file loaded by its content, not its name; a null image when it holds none.
QImage cargarImagen(const QString& ruta);

// The settings window "Servicio de impresion": the branch code and its change, the logo preview
// and its load, and the shutdown of the service. Built anew each time it opens, so the code is read
// again and the logo redrawn from its file.
class frmImpresion final : public QDialog {
    Q_OBJECT

public:
    struct Servicios {
        QString carpetaPrograma;
        platform::Dialogs& dialogos;
        // The main window's icon.
        QIcon icono;
        // Ends the service at once.
        std::function<void()> terminarProceso;
        // Opens the "Trabajos" window over this one (its child, so this window's modality does not
        // block it); without it there is no button for it.
        std::function<void(QWidget* ventana)> abrirTrabajos = {};
    };

    explicit frmImpresion(Servicios servicios, QWidget* parent = nullptr);

    QString rutaLogo() const;

    // Event handlers of the buttons, also the tests' way in.
    void cambiarCodigoPulsado();
    void cargarImagenPulsado();
    void apagarPulsado();
    void cerrarPulsado();
    void trabajosPulsado();

    QLabel* etiquetaCodigo = nullptr;
    QLineEdit* campoCodigo = nullptr;
    QPushButton* botonCambiarCodigo = nullptr;
    QLabel* vistaLogo = nullptr;
    QPushButton* botonCargarImagen = nullptr;
    QPushButton* botonApagar = nullptr;
    QPushButton* botonCerrar = nullptr;
    QPushButton* botonTrabajos = nullptr;

private:
    void pintarLogo(const QImage& imagen);

    Servicios s_;
    clasBackGround fondo_;
};

}  // namespace kelmora::settings
