#include "windows/frm_trabajos.h"

#include "json/qt_printers.h"
#include "platform/sqlite/sqlite_journal.h"
#include "support/service_fakes.h"
#include "shell/trabajos.h"
#include "tray/aplicacion_widgets.h"
#include "windows/frm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kelmora::windows {
namespace {

using paper::DocumentState;
using platform::MessageIcon;

const QDateTime kAhora(QDate(2024, 5, 10), QTime(13, 0));

// A click through the window system, which drops what a modal window blocks.
void pulsarPorLaVentana(QWidget* ventana, QPushButton* boton) {
    QTest::mouseClick(ventana->windowHandle(), Qt::LeftButton, {}, boton->mapTo(ventana, boton->rect().center()));
}

// A journal in a file of its own, documents added one answer each, and the window over it with
// actions that do what the print queue would and record what they were asked.
class VentanaTrabajos : public ::testing::Test {
protected:
    VentanaTrabajos() {
        platform::SqliteJournal::Opened abierto =
            platform::SqliteJournal::open(carpeta.filePath(platform::SqliteJournal::kFileName));
        diario = std::move(abierto.journal);
        if (!abierto.problem.isEmpty()) ADD_FAILURE() << abierto.problem.toStdString();
    }

    qint64 anotar(const QDateTime& creado, const QString& clase, DocumentState estado, const QString& motivo = {},
                  const QString& mesa = {}, const QString& pedido = {}) {
        paper::JournalDocument d;
        d.list = QStringLiteral("comanda");
        d.kind = clase;
        d.table = mesa;
        d.order = pedido;
        d.requestedPrinter = QStringLiteral("Cocina");
        QList<paper::JournalDocument> documentos{d};
        EXPECT_NE(diario->addAnswer(QStringLiteral("{}"), documentos, creado), 0);
        d = documentos.first();
        d.state = estado;
        d.reason = motivo;
        if (estado == DocumentState::Printed) d.printer = QStringLiteral("Facturas");
        diario->update(d);
        return d.id;
    }

    frmTrabajos& abrir() {
        ventana = std::make_unique<frmTrabajos>(frmTrabajos::Servicios{
            *diario, reloj, dialogos,
            [this](qint64 id, const frmTrabajos::AlTerminar& alTerminar) {
                pedidosReimpresion.push_back(id);
                alTerminar(negativa ? negativa : shell::marcarReimpresion(*diario, id, kAhora));
            },
            [this](qint64 id, const frmTrabajos::AlTerminar& alTerminar) {
                pedidosDescarte.push_back(id);
                alTerminar(negativa ? negativa : shell::descartarDocumento(*diario, id, kAhora));
            }});
        return *ventana;
    }

    QStringList columna(ColumnaTrabajo c) const {
        QStringList textos;
        for (int fila = 0; fila < ventana->tabla->rowCount(); ++fila)
            textos.append(ventana->tabla->item(fila, static_cast<int>(c))->text());
        return textos;
    }
    int filaDe(qint64 id) const {
        return static_cast<int>(columna(ColumnaTrabajo::Numero).indexOf(QString::number(id)));
    }

    QTemporaryDir carpeta;
    std::unique_ptr<platform::SqliteJournal> diario;
    platform::FixedClock reloj{kAhora};
    testing::ScriptedDialogs dialogos;
    std::optional<QString> negativa;
    std::vector<qint64> pedidosReimpresion;
    std::vector<qint64> pedidosDescarte;
    std::unique_ptr<frmTrabajos> ventana;
};

// ---- the list ----

TEST_F(VentanaTrabajos, ListaLosUltimosSieteDiasDelMasNuevoAlMasViejo) {
    anotar(kAhora.addDays(-8), QStringLiteral("Comanda"), DocumentState::Printed);
    const qint64 hace3Dias = anotar(kAhora.addDays(-3), QStringLiteral("Factura"), DocumentState::Printed, {},
                                    QStringLiteral("Mesa 2"), QStringLiteral("77"));
    const qint64 anulacion = anotar(kAhora.addSecs(-3600), QStringLiteral("Anulacion"), DocumentState::Held,
                                    QStringLiteral("La impresora Cocina no responde"), QStringLiteral("Mesa 4"),
                                    QStringLiteral("118"));
    const qint64 cajon = anotar(kAhora.addSecs(-60), QStringLiteral("Cajon"), DocumentState::Pending);

    abrir();
    EXPECT_EQ(columna(ColumnaTrabajo::Numero),
              (QStringList{QString::number(cajon), QString::number(anulacion), QString::number(hace3Dias)}));
    EXPECT_EQ(columna(ColumnaTrabajo::Hora),
              (QStringList{QStringLiteral("2024-05-10 12:59:00"), QStringLiteral("2024-05-10 12:00:00"),
                           QStringLiteral("2024-05-07 13:00:00")}));
    EXPECT_EQ(columna(ColumnaTrabajo::Documento),
              (QStringList{QStringLiteral("Cajón"), QStringLiteral("Anulación"), QStringLiteral("Factura")}));
    EXPECT_EQ(columna(ColumnaTrabajo::Referencia),
              (QStringList{QString(), QStringLiteral("Mesa 4, pedido 118"), QStringLiteral("Mesa 2, pedido 77")}));
    // The printer it went to once it went somewhere, the one it was meant for before.
    EXPECT_EQ(columna(ColumnaTrabajo::Impresora),
              (QStringList{QStringLiteral("Cocina"), QStringLiteral("Cocina"), QStringLiteral("Facturas")}));
    EXPECT_EQ(columna(ColumnaTrabajo::Estado),
              (QStringList{QStringLiteral("pendiente"), QStringLiteral("retenido"), QStringLiteral("impreso")}));
    EXPECT_EQ(columna(ColumnaTrabajo::Motivo),
              (QStringList{QString(), QStringLiteral("La impresora Cocina no responde"), QString()}));
}

TEST_F(VentanaTrabajos, ElFiltroDejaSoloLoQueFaltaImprimir) {
    const qint64 impreso = anotar(kAhora.addSecs(-500), QStringLiteral("Comanda"), DocumentState::Printed);
    const qint64 fallido = anotar(kAhora.addSecs(-400), QStringLiteral("Comanda"), DocumentState::Failed,
                                  QStringLiteral("La impresora rechazó el trabajo"));
    const qint64 descartado = anotar(kAhora.addSecs(-300), QStringLiteral("Factura"), DocumentState::Discarded);
    const qint64 enviado = anotar(kAhora.addSecs(-200), QStringLiteral("Factura"), DocumentState::Sent);
    frmTrabajos& v = abrir();
    ASSERT_FALSE(v.soloSinImprimir->isChecked());
    EXPECT_EQ(v.tabla->rowCount(), 4);

    v.soloSinImprimir->setChecked(true);
    EXPECT_EQ(columna(ColumnaTrabajo::Numero), (QStringList{QString::number(enviado), QString::number(fallido)}));

    v.soloSinImprimir->setChecked(false);
    EXPECT_EQ(columna(ColumnaTrabajo::Numero),
              (QStringList{QString::number(enviado), QString::number(descartado), QString::number(fallido),
                           QString::number(impreso)}));
}

TEST_F(VentanaTrabajos, LoQueNadieTieneEnPapelResalta) {
    const qint64 retenido = anotar(kAhora.addSecs(-500), QStringLiteral("Comanda"), DocumentState::Held);
    const qint64 fallido = anotar(kAhora.addSecs(-400), QStringLiteral("Comanda"), DocumentState::Failed);
    const qint64 vencido = anotar(kAhora.addSecs(-300), QStringLiteral("Comanda"), DocumentState::Expired);
    const qint64 impreso = anotar(kAhora.addSecs(-200), QStringLiteral("Comanda"), DocumentState::Printed);
    const qint64 pendiente = anotar(kAhora.addSecs(-100), QStringLiteral("Comanda"), DocumentState::Pending);
    abrir();

    const auto color = [&](qint64 id, ColumnaTrabajo c) {
        return ventana->tabla->item(filaDe(id), static_cast<int>(c))->data(Qt::ForegroundRole);
    };
    const QVariant normal = color(impreso, ColumnaTrabajo::Documento);
    EXPECT_FALSE(normal.isValid());
    EXPECT_FALSE(color(pendiente, ColumnaTrabajo::Estado).isValid());
    for (const qint64 id : {retenido, fallido, vencido}) {
        for (const ColumnaTrabajo c : {ColumnaTrabajo::Numero, ColumnaTrabajo::Estado, ColumnaTrabajo::Motivo}) {
            EXPECT_TRUE(color(id, c).isValid()) << id;
        }
        EXPECT_TRUE(ventana->tabla->item(filaDe(id), static_cast<int>(ColumnaTrabajo::Estado))->font().bold());
    }
    EXPECT_FALSE(ventana->tabla->item(filaDe(impreso), static_cast<int>(ColumnaTrabajo::Estado))->font().bold());
}

TEST_F(VentanaTrabajos, AlActualizarSigueElegidoElMismoDocumento) {
    const qint64 primero = anotar(kAhora.addSecs(-300), QStringLiteral("Comanda"), DocumentState::Held);
    anotar(kAhora.addSecs(-200), QStringLiteral("Comanda"), DocumentState::Printed);
    frmTrabajos& v = abrir();
    ASSERT_TRUE(v.seleccionar(primero));
    ASSERT_EQ(filaDe(primero), 1);

    // A new document comes in on top and the one chosen gets printed meanwhile.
    anotar(kAhora.addSecs(-10), QStringLiteral("Factura"), DocumentState::Pending);
    paper::JournalDocument d = *diario->document(primero);
    d.state = DocumentState::Printed;
    diario->update(d);
    v.botonActualizar->click();

    EXPECT_EQ(filaDe(primero), 2);
    EXPECT_EQ(v.seleccionado(), primero);
    EXPECT_EQ(v.tabla->item(2, static_cast<int>(ColumnaTrabajo::Estado))->text(), QStringLiteral("impreso"));

    // Filtered out, it is chosen no more: the buttons have nothing to act on.
    v.soloSinImprimir->setChecked(true);
    EXPECT_EQ(v.seleccionado(), std::nullopt);
    EXPECT_FALSE(v.botonReimprimir->isEnabled());
    EXPECT_FALSE(v.botonDescartar->isEnabled());
}

TEST_F(VentanaTrabajos, SeRefrescaSoloMientrasSeVe) {
    frmTrabajos& v = abrir();
    EXPECT_FALSE(v.refresco.isActive());
    anotar(kAhora.addSecs(-10), QStringLiteral("Factura"), DocumentState::Pending);
    v.show();
    // Showing reads the journal again at once, then every two seconds.
    EXPECT_EQ(v.tabla->rowCount(), 1);
    EXPECT_TRUE(v.refresco.isActive());
    EXPECT_EQ(v.refresco.interval(), 2000);
    v.botonCerrar->click();
    EXPECT_FALSE(v.isVisible());
    EXPECT_FALSE(v.refresco.isActive());
}

// ---- the actions ----

TEST_F(VentanaTrabajos, ReimprimirActuaSobreElElegidoYMuestraSuEstadoNuevo) {
    const qint64 fallido = anotar(kAhora.addSecs(-400), QStringLiteral("Comanda"), DocumentState::Failed,
                                  QStringLiteral("La impresora rechazó el trabajo"));
    anotar(kAhora.addSecs(-100), QStringLiteral("Comanda"), DocumentState::Printed);
    frmTrabajos& v = abrir();

    ASSERT_TRUE(v.seleccionar(fallido));
    EXPECT_TRUE(v.botonReimprimir->isEnabled());
    v.botonReimprimir->click();

    EXPECT_EQ(pedidosReimpresion, std::vector<qint64>{fallido});
    EXPECT_TRUE(pedidosDescarte.empty());
    EXPECT_EQ(v.seleccionado(), fallido);
    const int fila = filaDe(fallido);
    EXPECT_EQ(v.tabla->item(fila, static_cast<int>(ColumnaTrabajo::Documento))->text(),
              QStringLiteral("Comanda (reimpresión)"));
    EXPECT_EQ(v.tabla->item(fila, static_cast<int>(ColumnaTrabajo::Estado))->text(), QStringLiteral("pendiente"));
    EXPECT_TRUE(v.tabla->item(fila, static_cast<int>(ColumnaTrabajo::Motivo))->text().isEmpty());
    EXPECT_TRUE(dialogos.only(testing::ScriptedDialogs::Kind::Message).empty());

    // Pending already: the queue's reason why not is shown.
    v.botonReimprimir->click();
    const auto mensajes = dialogos.only(testing::ScriptedDialogs::Kind::Message);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].text, QStringLiteral("El documento %1 ya está por imprimirse").arg(fallido));
    EXPECT_EQ(mensajes[0].icon, MessageIcon::Warning);
}

TEST_F(VentanaTrabajos, DescartarActuaSobreElElegidoYUnaNegativaSeMuestra) {
    const qint64 retenido = anotar(kAhora.addSecs(-400), QStringLiteral("Factura"), DocumentState::Held);
    const qint64 enviando = anotar(kAhora.addSecs(-100), QStringLiteral("Factura"), DocumentState::Sending);
    frmTrabajos& v = abrir();

    ASSERT_TRUE(v.seleccionar(retenido));
    v.botonDescartar->click();
    EXPECT_EQ(v.tabla->item(filaDe(retenido), static_cast<int>(ColumnaTrabajo::Estado))->text(),
              QStringLiteral("descartado"));
    EXPECT_TRUE(dialogos.only(testing::ScriptedDialogs::Kind::Message).empty());

    negativa = QStringLiteral("La cola de impresión no está en marcha");
    ASSERT_TRUE(v.seleccionar(enviando));
    v.botonDescartar->click();
    EXPECT_EQ(pedidosDescarte, (std::vector<qint64>{retenido, enviando}));
    const auto mensajes = dialogos.only(testing::ScriptedDialogs::Kind::Message);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0].text, QStringLiteral("La cola de impresión no está en marcha"));
    EXPECT_EQ(diario->document(enviando)->state, DocumentState::Sending);
}

// Sorted by the column clicked, narrowed by a search, worked from the keyboard; nothing is done
// without a yes.
TEST_F(VentanaTrabajos, SeOrdenaSeBuscaYSeManejaConElTecladoPreguntandoAntes) {
    const qint64 primero = anotar(kAhora.addSecs(-300), QStringLiteral("Comanda"), DocumentState::Failed,
                                  QStringLiteral("sin papel"), QStringLiteral("Mesa 9"));
    const qint64 segundo = anotar(kAhora.addSecs(-200), QStringLiteral("Factura"), DocumentState::Printed, {},
                                  QStringLiteral("Mesa 4"));
    const qint64 tercero = anotar(kAhora.addSecs(-100), QStringLiteral("Comanda"), DocumentState::Printed, {},
                                  QStringLiteral("Mesa 4"));
    frmTrabajos& v = abrir();
    v.show();
    v.tabla->horizontalHeader()->sectionClicked(static_cast<int>(ColumnaTrabajo::Numero));
    EXPECT_EQ(columna(ColumnaTrabajo::Numero),
              (QStringList{QString::number(primero), QString::number(segundo), QString::number(tercero)}));
    v.actualizar();  // a refresh keeps the order asked for
    EXPECT_EQ(columna(ColumnaTrabajo::Numero).first(), QString::number(primero));

    QTest::keyClicks(v.busqueda, QStringLiteral("mesa 4"));
    int visibles = 0;
    for (int fila = 0; fila < v.tabla->rowCount(); ++fila) visibles += v.tabla->isRowHidden(fila) ? 0 : 1;
    EXPECT_EQ(visibles, 2);
    v.busqueda->clear();

    ASSERT_TRUE(v.seleccionar(primero));
    v.tabla->setFocus();
    dialogos.confirms = false;
    QTest::keyClick(v.tabla, Qt::Key_Delete);
    QTest::keyClick(v.tabla, Qt::Key_Return);
    EXPECT_TRUE(pedidosDescarte.empty());
    EXPECT_TRUE(pedidosReimpresion.empty());
    EXPECT_EQ(dialogos.only(testing::ScriptedDialogs::Kind::Question).size(), 2u);
    dialogos.confirms = true;
    QTest::keyClick(v.tabla, Qt::Key_Return);
    EXPECT_EQ(pedidosReimpresion, std::vector<qint64>{primero});
    ASSERT_TRUE(v.seleccionar(segundo));
    QTest::keyClick(v.tabla, Qt::Key_Delete);
    EXPECT_EQ(pedidosDescarte, std::vector<qint64>{segundo});

    // Tab leaves the table; Esc closes the window.
    EXPECT_FALSE(v.tabla->tabKeyNavigation());
    QTest::keyClick(&v, Qt::Key_Escape);
    EXPECT_FALSE(v.isVisible());
}

TEST_F(VentanaTrabajos, SinNadaElegidoNoSePideNada) {
    anotar(kAhora.addSecs(-100), QStringLiteral("Factura"), DocumentState::Held);
    frmTrabajos& v = abrir();
    ASSERT_EQ(v.seleccionado(), std::nullopt);
    EXPECT_FALSE(v.botonReimprimir->isEnabled());
    EXPECT_FALSE(v.botonDescartar->isEnabled());
    v.reimprimirPulsado();
    v.descartarPulsado();
    EXPECT_TRUE(pedidosReimpresion.empty());
    EXPECT_TRUE(pedidosDescarte.empty());
    EXPECT_TRUE(dialogos.only(testing::ScriptedDialogs::Kind::Message).empty());
}

// ---- from the settings window ----

class TrabajosDesdeLosAjustes : public VentanaTrabajos {
protected:
    TrabajosDesdeLosAjustes() {
        QFile acceso(carpeta.filePath(QStringLiteral("Acceso")));
        if (acceso.open(QIODevice::WriteOnly)) acceso.write("123451234512345\r\n");
    }
    void abrirPrincipal(bool conTrabajos) {
        frmMain::Servicios partes{carpeta.path(), dialogos, [] {}, [](const QString&) {}, true};
        if (conTrabajos) {
            partes.trabajos.emplace(frmMain::Trabajos{*diario, reloj,
                                                      [this](qint64 id, const frmTrabajos::AlTerminar& alTerminar) {
                                                          pedidosReimpresion.push_back(id);
                                                          alTerminar(std::nullopt);
                                                      },
                                                      [](qint64, const frmTrabajos::AlTerminar& alTerminar) {
                                                          alTerminar(std::nullopt);
                                                      }});
        }
        principal = std::make_unique<frmMain>(std::move(partes));
    }
    std::unique_ptr<frmMain> principal;
};

TEST_F(TrabajosDesdeLosAjustes, ElBotonAbreLaVentanaSobreLosAjustes) {
    const qint64 retenido = anotar(kAhora.addSecs(-100), QStringLiteral("Factura"), DocumentState::Held);
    abrirPrincipal(true);
    // Opened modally, as a click on the tray icon does: the list must still take clicks.
    frmTrabajos* trabajos = nullptr;
    settings::frmImpresion* ajustes = nullptr;
    QTimer::singleShot(0, [&] {
        ajustes = principal->ajustesAbiertos();
        [&] {
            ASSERT_NE(ajustes, nullptr);
            EXPECT_TRUE(ajustes->botonTrabajos->isVisibleTo(ajustes));
            ajustes->botonTrabajos->click();
            trabajos = principal->trabajosAbiertos();
            ASSERT_NE(trabajos, nullptr);
            EXPECT_TRUE(trabajos->isVisible());
            EXPECT_TRUE(trabajos->isWindow());
            EXPECT_EQ(trabajos->tabla->rowCount(), 1);
            ajustes->botonTrabajos->click();
            EXPECT_EQ(principal->trabajosAbiertos(), trabajos);
            ASSERT_TRUE(trabajos->seleccionar(retenido));
            pulsarPorLaVentana(trabajos, trabajos->botonReimprimir);
        }();
        if (ajustes) ajustes->botonCerrar->click();
    });
    principal->abrirAjustes(true);
    EXPECT_EQ(pedidosReimpresion, std::vector<qint64>{retenido});
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The settings window took it along.
    EXPECT_EQ(principal->trabajosAbiertos(), nullptr);
}

TEST_F(TrabajosDesdeLosAjustes, SinDiarioNoHayBoton) {
    abrirPrincipal(false);
    principal->abrirAjustes(false);
    settings::frmImpresion* ajustes = principal->ajustesAbiertos();
    ASSERT_NE(ajustes, nullptr);
    EXPECT_FALSE(ajustes->botonTrabajos->isVisibleTo(ajustes));
    principal->abrirTrabajos(ajustes);
    EXPECT_EQ(principal->trabajosAbiertos(), nullptr);
}

// ---- from the tray menu ----

class MenuDeLaBandeja : public VentanaTrabajos {
protected:
    MenuDeLaBandeja() {
        QFile acceso(carpeta.filePath(QStringLiteral("Acceso")));
        if (acceso.open(QIODevice::WriteOnly)) acceso.write("123451234512345\r\n");
        frmMain::Servicios partes{carpeta.path(), dialogos, [this] { ++terminado; },
                                  [this](const QString& l) { respaldo << l; }, false};
        partes.trabajos.emplace(frmMain::Trabajos{
            *diario, reloj,
            [this](qint64 id, const frmTrabajos::AlTerminar& alTerminar) {
                pedidosReimpresion.push_back(id);
                alTerminar(negativa);
            },
            [](qint64, const frmTrabajos::AlTerminar& alTerminar) { alTerminar(std::nullopt); },
            [this](auto alTerminar) {
                ++preguntas;
                if (diferir) {
                    respuesta = alTerminar;
                } else {
                    alTerminar(impresoras);
                }
            },
            [this](const platform::PrinterSystem::PrinterState& impresora, const frmTrabajos::AlTerminar& alTerminar) {
                pruebas << impresora.name;
                alTerminar(negativa);
            }});
        partes.anotar = [this](const QString& l) { registro << l; };
        partes.abrirArchivo = [this](const QString& ruta) {
            abiertos << ruta;
            return abre;
        };
        principal = std::make_unique<frmMain>(std::move(partes));
    }

    // The entries of a submenu, as they read.
    static QStringList textos(QMenu* menu) {
        QStringList t;
        for (const QAction* a : menu->actions()) t << a->text();
        return t;
    }
    static QAction* entrada(QMenu* menu, const QString& texto) {
        for (QAction* a : menu->actions())
            if (a->text() == texto) return a;
        return nullptr;
    }

    frmTrabajos::Estados impresoras;
    int preguntas = 0;
    // The printers answer only when the test calls `respuesta`.
    bool diferir = false;
    std::function<void(frmTrabajos::Estados)> respuesta;
    QStringList pruebas;
    QStringList registro;
    QStringList respaldo;
    QStringList abiertos;
    bool abre = true;
    int terminado = 0;
    std::unique_ptr<frmMain> principal;
};

TEST_F(MenuDeLaBandeja, ReimprimeElUltimoImpresoYDiceQueEsperaEnCadaImpresora) {
    const auto cambiar = [&](qint64 id, const std::function<void(paper::JournalDocument&)>& cambio) {
        paper::JournalDocument d = *diario->document(id);
        cambio(d);
        diario->update(d);
        return id;
    };
    anotar(kAhora.addSecs(-300), QStringLiteral("Comanda"), DocumentState::Printed, {}, QStringLiteral("Mesa 4"),
           QStringLiteral("118"));
    // Made before it, held until the paper was put in: it reached paper last.
    const qint64 ultima = cambiar(anotar(kAhora.addSecs(-400), QStringLiteral("Comanda"), DocumentState::Printed, {},
                                         QStringLiteral("Mesa 7"), QStringLiteral("120")),
                                  [](auto& d) { d.updated = kAhora.addSecs(-50); });
    anotar(kAhora.addSecs(-20), QStringLiteral("Cajon"), DocumentState::Printed);
    anotar(kAhora.addSecs(-150), QStringLiteral("Comanda"), DocumentState::Held);
    // Waiting where it went or will go: a printer that is not installed sends it to the default
    // one, as does a printer that could not take it; an invoice names none.
    cambiar(anotar(kAhora.addSecs(-120), QStringLiteral("Comanda"), DocumentState::Held),
            [](auto& d) { d.requestedPrinter = QStringLiteral("Barra"); });
    const qint64 enviada = cambiar(anotar(kAhora.addSecs(-110), QStringLiteral("Comanda"), DocumentState::Sent),
                                   [](auto& d) { d.printer = QStringLiteral("Facturas"); });
    cambiar(anotar(kAhora.addSecs(-100), QStringLiteral("Factura"), DocumentState::Pending),
            [](auto& d) { d.requestedPrinter.clear(); });
    // A queue shown by its description, which documents name by its queue's name.
    impresoras = {{QStringLiteral("Cocina caliente"), QStringLiteral("CUPS (cocina)"), QStringLiteral("ESC/POS"),
                   QStringLiteral("lista"), {QStringLiteral("Rollo: 80 mm, 576 puntos")}, false, QStringLiteral("cocina")},
                  {QStringLiteral("Facturas"), QStringLiteral("CUPS (facturas)"), QStringLiteral("PDF"),
                   QStringLiteral("sin papel"), {}, true}};

    MenuBandeja& menu = principal->menuBandeja();
    emit menu.aboutToShow();
    // The drawer aside: opening it again is never a slip of the hand.
    EXPECT_EQ(menu.accionUltimo->text(), QStringLiteral("Reimprimir el último: Comanda, Mesa 7, pedido 120"));
    dialogos.confirms = false;
    menu.accionUltimo->trigger();
    EXPECT_TRUE(pedidosReimpresion.empty());
    dialogos.confirms = true;
    negativa = QStringLiteral("El sistema de impresión no confirma que el trabajo se canceló");
    menu.accionUltimo->trigger();
    EXPECT_EQ(pedidosReimpresion, std::vector<qint64>{ultima});
    ASSERT_EQ(dialogos.messages().size(), 1u);
    EXPECT_EQ(dialogos.messages().front().text, *negativa);

    // The printers are asked only when one of their submenus opens.
    EXPECT_EQ(preguntas, 0);
    emit menu.menuImpresoras->aboutToShow();
    EXPECT_EQ(preguntas, 1);
    EXPECT_EQ(textos(menu.menuImpresoras),
              QStringList({QStringLiteral("Cocina caliente: lista · CUPS (cocina), ESC/POS · 1 documento en espera"),
                           QStringLiteral("Facturas (predeterminada): sin papel · CUPS (facturas), PDF · 3 documentos "
                                          "en espera")}));
    EXPECT_EQ(menu.menuImpresoras->actions().first()->toolTip(), QStringLiteral("Rollo: 80 mm, 576 puntos"));
    menu.menuImpresoras->actions().first()->trigger();
    ASSERT_NE(principal->trabajosAbiertos(), nullptr);
    EXPECT_TRUE(principal->trabajosAbiertos()->isVisible());

    // Test pages, one that went out and one that did not; each told and written in the log.
    negativa.reset();
    entrada(menu.menuPruebas, QStringLiteral("Cocina caliente"))->trigger();
    negativa = QStringLiteral("Facturas: sin papel");
    entrada(menu.menuPruebas, QStringLiteral("Facturas"))->trigger();
    EXPECT_EQ(pruebas, QStringList({QStringLiteral("Cocina caliente"), QStringLiteral("Facturas")}));
    EXPECT_EQ(registro, QStringList({QStringLiteral("Página de prueba enviada a Cocina caliente"),
                                     QStringLiteral("La página de prueba para Facturas no salió: Facturas: sin papel")}));
    EXPECT_TRUE(respaldo.contains(
        QStringLiteral("Globo [informacion] Impresora: Página de prueba enviada a Cocina caliente")))
        << respaldo.join(u'\n').toStdString();

    // With that one discarded, the last is the one the printing system took last.
    cambiar(ultima, [](auto& d) { d.state = DocumentState::Discarded; });
    emit menu.aboutToShow();
    EXPECT_EQ(menu.accionUltimo->text(), QStringLiteral("Reimprimir el último: Comanda"));
    menu.accionUltimo->trigger();
    EXPECT_EQ(pedidosReimpresion.back(), enviada);

    // The printers answer after the menu is gone: the answer goes nowhere.
    diferir = true;
    const int antes = preguntas;
    emit menu.menuPruebas->aboutToShow();
    emit menu.menuImpresoras->aboutToShow();  // one question at a time
    EXPECT_EQ(preguntas, antes + 1);
    principal.reset();
    ASSERT_TRUE(respuesta);
    respuesta(impresoras);
}

TEST_F(MenuDeLaBandeja, UnClicLoAbreYUnDobleClicAbreLosAjustesSinElMenu) {
    QSystemTrayIcon& icono = principal->SysTray().icono();
    emit icono.activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(principal->menuBandeja().isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return principal->menuBandeja().isVisible(); }, 3000));
    principal->menuBandeja().hide();

    // Press, double click, and the one more click some notification areas add, while the
    // settings window waits.
    bool ajustes = false;
    QTimer::singleShot(0, [&] {
        emit icono.activated(QSystemTrayIcon::Trigger);
        ajustes = principal->ajustesAbiertos() != nullptr;
        if (ajustes) principal->ajustesAbiertos()->botonCerrar->click();
    });
    emit icono.activated(QSystemTrayIcon::Trigger);
    emit icono.activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(ajustes);
    QTest::qWait(QApplication::doubleClickInterval() + 200);
    EXPECT_FALSE(principal->menuBandeja().isVisible());
}

TEST_F(MenuDeLaBandeja, TrabajosAbiertoDesdeElMenuPasaSobreLosAjustesModales) {
    const qint64 retenido = anotar(kAhora.addSecs(-100), QStringLiteral("Factura"), DocumentState::Held);
    principal->menuBandeja().accionTrabajos->trigger();
    frmTrabajos* trabajos = principal->trabajosAbiertos();
    ASSERT_NE(trabajos, nullptr);
    EXPECT_EQ(trabajos->parentWidget(), nullptr);
    QTimer::singleShot(0, [&] {
        settings::frmImpresion* ajustes = principal->ajustesAbiertos();
        [&] {
            ASSERT_NE(ajustes, nullptr);
            ajustes->botonTrabajos->click();
            ASSERT_EQ(principal->trabajosAbiertos(), trabajos);
            ASSERT_TRUE(trabajos->seleccionar(retenido));
            pulsarPorLaVentana(trabajos, trabajos->botonReimprimir);
        }();
        if (ajustes) ajustes->botonCerrar->click();
    });
    principal->abrirAjustes(true);
    EXPECT_EQ(pedidosReimpresion, std::vector<qint64>{retenido});
}

TEST_F(MenuDeLaBandeja, ElRegistroSeAbreYSalirPreguntaYQuedaEscrito) {
    MenuBandeja& menu = principal->menuBandeja();
    const QString archivo = carpeta.filePath(QStringLiteral("kelmora.log"));
    menu.accionRegistro->trigger();
    ASSERT_EQ(dialogos.messages().size(), 1u);
    EXPECT_TRUE(dialogos.messages().back().text.startsWith(QStringLiteral("Todavía no hay registro: ")));
    EXPECT_TRUE(abiertos.isEmpty());

    QFile(archivo).open(QIODevice::WriteOnly);
    abre = false;
    menu.accionRegistro->trigger();
    ASSERT_EQ(dialogos.messages().size(), 2u);
    EXPECT_TRUE(dialogos.messages().back().text.endsWith(QDir::toNativeSeparators(archivo)));
    abre = true;
    menu.accionRegistro->trigger();
    EXPECT_EQ(dialogos.messages().size(), 2u);
    EXPECT_EQ(abiertos, QStringList({archivo, archivo}));

    dialogos.confirms = false;
    menu.accionSalir->trigger();
    EXPECT_EQ(terminado, 0);
    EXPECT_TRUE(registro.isEmpty());
    dialogos.confirms = true;
    menu.accionSalir->trigger();
    EXPECT_EQ(terminado, 1);
    EXPECT_EQ(registro, QStringList{QStringLiteral("Kelmora se cierra desde el menú de la bandeja")});
}

}  // namespace
}  // namespace kelmora::windows
