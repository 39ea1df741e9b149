#include "windows/frm_trabajos.h"

#include <QPointer>

#include "shell/trabajos.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

namespace kelmora::windows {

namespace {

const QStringList kCabeceras{QStringLiteral("Nº"),        QStringLiteral("Fecha y hora"), QStringLiteral("Documento"),
                             QStringLiteral("Mesa / pedido"), QStringLiteral("Impresora"), QStringLiteral("Estado"),
                             QStringLiteral("Motivo")};
const QStringList kCabecerasImpresoras{QStringLiteral("Impresora"), QStringLiteral("Conexión"),
                                       QStringLiteral("Recibe"), QStringLiteral("Estado")};

// Documents nobody's paper has, until someone acts or a printer comes back, must catch the eye.
const QColor kColorSinImprimir(176, 28, 28);
const QColor kColorDescartado(128, 128, 128);

int columna(ColumnaTrabajo c) { return static_cast<int>(c); }

// Day and time, in an order that sorts as text.
QString fechaHora(const QDateTime& creado) { return creado.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

}  // namespace

frmTrabajos::frmTrabajos(Servicios servicios, QWidget* parent) : QWidget(parent), s_(std::move(servicios)) {
    setWindowFlag(Qt::Window);
    setWindowTitle(textosTrabajos::titulo);

    tabla = new QTableWidget(0, static_cast<int>(kCabeceras.size()), this);
    tabla->setHorizontalHeaderLabels(kCabeceras);
    tabla->setSelectionBehavior(QAbstractItemView::SelectRows);
    tabla->setSelectionMode(QAbstractItemView::SingleSelection);
    tabla->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tabla->setWordWrap(false);
    // Tab goes on to the buttons, as everywhere else; the arrows move in the table.
    tabla->setTabKeyNavigation(false);
    tabla->installEventFilter(this);
    // In the journal's order until a column is clicked; then by that column.
    connect(tabla->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int seccion) {
        if (tabla->isSortingEnabled()) return;
        tabla->setSortingEnabled(true);
        tabla->sortByColumn(seccion, Qt::AscendingOrder);
    });
    tabla->verticalHeader()->hide();
    tabla->horizontalHeader()->setStretchLastSection(true);
    tabla->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (const auto& [c, ancho] : {std::pair{ColumnaTrabajo::Numero, 60}, std::pair{ColumnaTrabajo::Hora, 140},
                                   std::pair{ColumnaTrabajo::Documento, 170}, std::pair{ColumnaTrabajo::Referencia, 150},
                                   std::pair{ColumnaTrabajo::Impresora, 120}, std::pair{ColumnaTrabajo::Estado, 90}}) {
        tabla->setColumnWidth(columna(c), ancho);
    }

    soloSinImprimir = new QCheckBox(textosTrabajos::soloSinImprimir, this);
    busqueda = new QLineEdit(this);
    busqueda->setPlaceholderText(textosTrabajos::buscar);
    busqueda->setClearButtonEnabled(true);
    botonReimprimir = new QPushButton(textosTrabajos::reimprimir, this);
    botonDescartar = new QPushButton(textosTrabajos::descartar, this);
    botonActualizar = new QPushButton(textosTrabajos::actualizar, this);
    botonCerrar = new QPushButton(textosTrabajos::cerrar, this);

    auto* arriba = new QHBoxLayout;
    arriba->addWidget(soloSinImprimir);
    arriba->addWidget(busqueda, 1);
    arriba->addWidget(botonActualizar);
    auto* abajo = new QHBoxLayout;
    abajo->addWidget(botonReimprimir);
    abajo->addWidget(botonDescartar);
    abajo->addStretch(1);
    abajo->addWidget(botonCerrar);
    auto* columnaPrincipal = new QVBoxLayout(this);
    columnaPrincipal->addLayout(arriba);
    columnaPrincipal->addWidget(tabla, 1);
    if (s_.impresoras) {
        tablaImpresoras = new QTableWidget(0, static_cast<int>(kCabecerasImpresoras.size()), this);
        tablaImpresoras->setHorizontalHeaderLabels(kCabecerasImpresoras);
        tablaImpresoras->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tablaImpresoras->setSelectionMode(QAbstractItemView::NoSelection);
        tablaImpresoras->setFocusPolicy(Qt::NoFocus);
        tablaImpresoras->verticalHeader()->hide();
        tablaImpresoras->horizontalHeader()->setStretchLastSection(true);
        for (const auto& [c, ancho] : {std::pair{0, 140}, std::pair{1, 260}, std::pair{2, 80}}) {
            tablaImpresoras->setColumnWidth(c, ancho);
        }
        tablaImpresoras->setMaximumHeight(150);
        columnaPrincipal->addWidget(tablaImpresoras);
        connect(botonActualizar, &QPushButton::clicked, this, &frmTrabajos::actualizarImpresoras);
    }
    columnaPrincipal->addLayout(abajo);
    resize(900, 560);

    refresco.setInterval(kRefrescoMs);
    connect(&refresco, &QTimer::timeout, this, &frmTrabajos::actualizar);
    connect(soloSinImprimir, &QCheckBox::toggled, this, &frmTrabajos::actualizar);
    connect(botonActualizar, &QPushButton::clicked, this, &frmTrabajos::actualizar);
    connect(botonReimprimir, &QPushButton::clicked, this, &frmTrabajos::reimprimirPulsado);
    connect(botonDescartar, &QPushButton::clicked, this, &frmTrabajos::descartarPulsado);
    connect(botonCerrar, &QPushButton::clicked, this, &QWidget::close);
    connect(busqueda, &QLineEdit::textChanged, this, &frmTrabajos::filtrar);
    connect(tabla, &QTableWidget::itemSelectionChanged, this, &frmTrabajos::botonesSegunSeleccion);

    actualizar();
}

void frmTrabajos::actualizar() {
    const QDateTime desde = s_.reloj.now().addDays(-kDiasListados);
    llenar(s_.diario.recentDocuments(desde, soloSinImprimir->isChecked()));
}

void frmTrabajos::actualizarImpresoras() {
    if (!s_.impresoras) return;
    s_.impresoras([this, vivo = vivo_](const Estados& estados) {
        if (!*vivo) return;
        tablaImpresoras->setRowCount(static_cast<int>(estados.size()));
        for (int fila = 0; fila < estados.size(); ++fila) {
            const platform::PrinterSystem::PrinterState& e = estados.at(fila);
            const QString textos[] = {e.name, e.reachedBy, e.output, e.state};
            for (int c = 0; c < 4; ++c) tablaImpresoras->setItem(fila, c, new QTableWidgetItem(textos[c]));
            if (e.state != QStringLiteral("lista")) {
                tablaImpresoras->item(fila, 3)->setData(Qt::ForegroundRole, QBrush(kColorSinImprimir));
            }
        }
    });
}

void frmTrabajos::llenar(const QList<paper::JournalDocument>& documentos) {
    const std::optional<qint64> elegido = seleccionado();
    const int desplazamiento = tabla->verticalScrollBar()->value();

    // The rows' items are kept and only their texts change, so a refresh that finds nothing new
    // does not disturb the table. Filled in the journal's order, then sorted again if asked.
    const QSignalBlocker silencio(tabla);
    const bool ordenada = tabla->isSortingEnabled();
    tabla->setSortingEnabled(false);
    tabla->setRowCount(static_cast<int>(documentos.size()));
    for (int fila = 0; fila < documentos.size(); ++fila) {
        const paper::JournalDocument& d = documentos.at(fila);
        const QString textos[] = {QString::number(d.id),
                                  fechaHora(d.created),
                                  shell::nombreDocumento(d),
                                  shell::referenciaDocumento(d),
                                  shell::impresoraDocumento(d),
                                  paper::stateName(d.state),
                                  d.reason};
        QVariant color;  // none: the table's own
        if (paper::isUnprinted(d.state)) color = QBrush(kColorSinImprimir);
        if (d.state == paper::DocumentState::Discarded) color = QBrush(kColorDescartado);
        for (int c = 0; c < tabla->columnCount(); ++c) {
            QTableWidgetItem* celda = tabla->item(fila, c);
            if (!celda) {
                celda = new QTableWidgetItem;
                tabla->setItem(fila, c, celda);
            }
            celda->setText(textos[c]);
            celda->setData(Qt::ForegroundRole, color);
            if (c == columna(ColumnaTrabajo::Motivo)) celda->setToolTip(d.reason);
        }
        // By its number as a number, and the document it is, wherever sorting puts the row.
        tabla->item(fila, columna(ColumnaTrabajo::Numero))->setData(Qt::DisplayRole, d.id);
        tabla->item(fila, columna(ColumnaTrabajo::Numero))->setData(Qt::UserRole, d.id);
        QFont fuente = tabla->font();
        fuente.setBold(paper::isUnprinted(d.state));
        tabla->item(fila, columna(ColumnaTrabajo::Estado))->setFont(fuente);
    }
    tabla->setSortingEnabled(ordenada);
    filtrar();
    tabla->clearSelection();
    if (elegido) seleccionar(*elegido);
    tabla->verticalScrollBar()->setValue(desplazamiento);
    botonesSegunSeleccion();
}

std::optional<qint64> frmTrabajos::seleccionado() const {
    const QList<QTableWidgetItem*> elegidos = tabla->selectedItems();
    if (elegidos.isEmpty()) return std::nullopt;
    const QTableWidgetItem* numero = tabla->item(elegidos.first()->row(), columna(ColumnaTrabajo::Numero));
    if (numero == nullptr || tabla->isRowHidden(numero->row())) return std::nullopt;
    return numero->data(Qt::UserRole).toLongLong();
}

bool frmTrabajos::seleccionar(qint64 id) {
    for (int fila = 0; fila < tabla->rowCount(); ++fila) {
        const QTableWidgetItem* numero = tabla->item(fila, columna(ColumnaTrabajo::Numero));
        if (numero == nullptr || numero->data(Qt::UserRole).toLongLong() != id || tabla->isRowHidden(fila)) continue;
        // Selecting without moving the current cell keeps the view where the person left it.
        tabla->selectionModel()->select(tabla->model()->index(fila, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    return false;
}

void frmTrabajos::botonesSegunSeleccion() {
    const bool hay = seleccionado().has_value();
    botonReimprimir->setEnabled(hay);
    botonDescartar->setEnabled(hay);
}

void frmTrabajos::reimprimirPulsado() {
    actuar(s_.reimprimir, textosTrabajos::reimprimir,
           QStringLiteral("¿Imprimir de nuevo el documento %1, encabezado «REIMPRESIÓN»?"));
}

void frmTrabajos::descartarPulsado() {
    actuar(s_.descartar, textosTrabajos::descartar,
           QStringLiteral("¿Descartar el documento %1? El servicio ya no lo imprimirá por sí solo."));
}

void frmTrabajos::filtrar() {
    const QString buscado = busqueda->text().trimmed();
    for (int fila = 0; fila < tabla->rowCount(); ++fila) {
        bool muestra = buscado.isEmpty();
        for (int c = 0; c < tabla->columnCount() && !muestra; ++c) {
            const QTableWidgetItem* celda = tabla->item(fila, c);
            muestra = celda != nullptr && celda->text().contains(buscado, Qt::CaseInsensitive);
        }
        tabla->setRowHidden(fila, !muestra);
    }
    botonesSegunSeleccion();
}

void frmTrabajos::keyPressEvent(QKeyEvent* evento) {
    // Whatever has the focus and does not want it: Esc closes the window.
    if (evento->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(evento);
}

bool frmTrabajos::eventFilter(QObject* objeto, QEvent* evento) {
    if (objeto == tabla && evento->type() == QEvent::KeyPress) {
        const int tecla = static_cast<QKeyEvent*>(evento)->key();
        if (tecla == Qt::Key_Return || tecla == Qt::Key_Enter) {
            reimprimirPulsado();
            return true;
        }
        if (tecla == Qt::Key_Delete) {
            descartarPulsado();
            return true;
        }
    }
    return QWidget::eventFilter(objeto, evento);
}

void frmTrabajos::actuar(const Accion& accion, const QString& titulo, const QString& pregunta) {
    const std::optional<qint64> id = seleccionado();
    if (!id || !accion) return;
    if (!s_.dialogos.confirm(titulo, pregunta.arg(*id))) return;
    accion(*id, [ventana = QPointer<frmTrabajos>(this)](std::optional<QString> motivo) {
        if (!ventana) return;
        // The row shows what the action made of the document before the reason it stopped, if any.
        ventana->actualizar();
        if (motivo) {
            ventana->s_.dialogos.showMessage(*motivo, platform::MessageIcon::Warning, textosTrabajos::tituloNoSePudo);
        }
    });
}

void frmTrabajos::showEvent(QShowEvent* evento) {
    QWidget::showEvent(evento);
    actualizar();
    actualizarImpresoras();
    refresco.start();
}

void frmTrabajos::hideEvent(QHideEvent* evento) {
    refresco.stop();
    QWidget::hideEvent(evento);
}

}  // namespace kelmora::windows
