#pragma once

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/journal.h"
#include "platform/printer.h"

#include <QList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace kelmora::windows {

namespace textosTrabajos {
inline const QString titulo = QStringLiteral("Trabajos");
inline const QString soloSinImprimir = QStringLiteral("Sólo sin imprimir");
inline const QString reimprimir = QStringLiteral("Reimprimir");
inline const QString descartar = QStringLiteral("Descartar");
inline const QString actualizar = QStringLiteral("Actualizar");
inline const QString cerrar = QStringLiteral("Cerrar");
inline const QString tituloNoSePudo = QStringLiteral("No se pudo");
inline const QString buscar = QStringLiteral("Buscar en la lista");
}  // namespace textosTrabajos

// The columns of the list.
enum class ColumnaTrabajo { Numero, Hora, Documento, Referencia, Impresora, Estado, Motivo };

// The "Trabajos" window: the documents of the last days as the journal keeps them, newest first
// (or in the order of the column clicked last), filtered by a search, and a person's way to print
// one again or to take it off what is still to print, each asked for confirmation. Enter
// reprints, Supr discards, Esc closes; Tab leaves the table. It only reads
// the journal; the two actions go to the print queue, which does them and says why it could not.
class frmTrabajos final : public QWidget {
    Q_OBJECT

public:
    // Does the action on the document with this id, and calls back with the reason it could not,
    // or nullopt, once done: the print queue may take a moment, the window does not wait.
    using AlTerminar = std::function<void(std::optional<QString> motivo)>;
    using Accion = std::function<void(qint64 id, AlTerminar alTerminar)>;

    // Asks every printer its state, and calls back with them once they answered: the printers
    // are asked where printing runs, the window does not wait.
    using Estados = QList<platform::PrinterSystem::PrinterState>;
    using PedirImpresoras = std::function<void(std::function<void(Estados)> alTerminar)>;

    struct Servicios {
        platform::Journal& diario;
        const platform::Clock& reloj;
        platform::Dialogs& dialogos;
        Accion reimprimir;
        Accion descartar;
        // None: the window lists no printers.
        PedirImpresoras impresoras = {};
    };

    // How far back the list goes.
    static constexpr int kDiasListados = 7;
    // How often the list is read again while the window shows.
    static constexpr int kRefrescoMs = 2000;

    explicit frmTrabajos(Servicios servicios, QWidget* parent = nullptr);

    // Reads the journal again, keeping the selected document selected while it is listed.
    void actualizar();
    // Asks the printers their state again (when the window shows and at "Actualizar": they are
    // not asked on every refresh, each question may take a moment).
    void actualizarImpresoras();
    // The document of the selected row; nullopt when none is.
    std::optional<qint64> seleccionado() const;
    // Selects the row of this document; false when it is not listed.
    bool seleccionar(qint64 id);

    // Event handlers of the buttons, also the tests' way in.
    void reimprimirPulsado();
    void descartarPulsado();

    QTableWidget* tabla = nullptr;
    // The printers: name, how each is reached, what it gets, its state.
    QTableWidget* tablaImpresoras = nullptr;
    QCheckBox* soloSinImprimir = nullptr;
    // Shows only the rows with this text in any column.
    QLineEdit* busqueda = nullptr;
    QPushButton* botonReimprimir = nullptr;
    QPushButton* botonDescartar = nullptr;
    QPushButton* botonActualizar = nullptr;
    QPushButton* botonCerrar = nullptr;
    QTimer refresco;

    ~frmTrabajos() override { *vivo_ = false; }

protected:
    void showEvent(QShowEvent* evento) override;
    void hideEvent(QHideEvent* evento) override;
    void keyPressEvent(QKeyEvent* evento) override;

    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    // Asks before doing `accion` on the selected document, with this question.
    void actuar(const Accion& accion, const QString& titulo, const QString& pregunta);
    void filtrar();
    void llenar(const QList<paper::JournalDocument>& documentos);
    void botonesSegunSeleccion();

    Servicios s_;
    // Answers to a question asked before the window closed go nowhere.
    std::shared_ptr<bool> vivo_ = std::make_shared<bool>(true);
};

}  // namespace kelmora::windows
