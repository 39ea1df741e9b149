#include "windows/menu_bandeja.h"

#include "shell/trabajos.h"

#include <QDir>
#include <QFileInfo>

namespace kelmora::windows {

namespace {

const QString kTituloImpresora = QStringLiteral("Impresora");

QString documentoLegible(const paper::JournalDocument& d) {
    const QString referencia = shell::referenciaDocumento(d);
    return referencia.isEmpty() ? shell::nombreDocumento(d) : shell::nombreDocumento(d) + QStringLiteral(", ") + referencia;
}

}  // namespace

QString lineaImpresora(const platform::PrinterSystem::PrinterState& impresora, int enEspera) {
    QString linea = impresora.name;
    if (impresora.isDefault) linea += QStringLiteral(" (predeterminada)");
    linea += QStringLiteral(": ") + (impresora.state.isEmpty() ? QStringLiteral("sin estado") : impresora.state);
    QStringList detalle;
    if (!impresora.reachedBy.isEmpty()) detalle << impresora.reachedBy;
    if (!impresora.output.isEmpty()) detalle << impresora.output;
    if (!detalle.isEmpty()) linea += QStringLiteral(" · ") + detalle.join(QStringLiteral(", "));
    if (enEspera > 0) {
        linea += enEspera == 1 ? QStringLiteral(" · 1 documento en espera")
                               : QStringLiteral(" · %1 documentos en espera").arg(enEspera);
    }
    return linea;
}

MenuBandeja::MenuBandeja(Servicios servicios, QWidget* parent) : QMenu(parent), s_(std::move(servicios)) {
    setToolTipsVisible(true);
    if (s_.diario != nullptr) {
        accionTrabajos = addAction(textosMenu::trabajos, this, [this] {
            if (s_.abrirTrabajos) s_.abrirTrabajos();
        });
        accionUltimo = addAction(textosMenu::reimprimirUltimo, this, &MenuBandeja::reimprimirUltimo);
    }
    if (s_.impresoras) {
        if (s_.paginaPrueba) menuPruebas = addMenu(textosMenu::paginaPrueba);
        menuImpresoras = addMenu(textosMenu::impresoras);
        for (QMenu* submenu : {menuPruebas, menuImpresoras}) {
            if (submenu != nullptr) connect(submenu, &QMenu::aboutToShow, this, &MenuBandeja::pedirImpresoras);
        }
    }
    addSeparator();
    accionRegistro = addAction(textosMenu::registro, this, &MenuBandeja::abrirRegistro);
    addSeparator();
    accionSalir = addAction(textosMenu::salir, this, &MenuBandeja::salirPulsado);
    connect(this, &QMenu::aboutToShow, this, &MenuBandeja::actualizar);
}

void MenuBandeja::actualizar() {
    if (s_.diario != nullptr && s_.reloj != nullptr) {
        const std::optional<paper::JournalDocument> ultimo =
            shell::ultimoImpreso(*s_.diario, s_.reloj->now().addDays(-frmTrabajos::kDiasListados));
        ultimo_ = ultimo ? std::optional<qint64>(ultimo->id) : std::nullopt;
        accionUltimo->setText(ultimo ? textosMenu::reimprimirUltimo + QStringLiteral(": ") + documentoLegible(*ultimo)
                                     : textosMenu::reimprimirUltimo);
        accionUltimo->setEnabled(ultimo.has_value());
    }
}

void MenuBandeja::pedirImpresoras() {
    if (!s_.impresoras || pidiendo_) return;
    pidiendo_ = true;
    for (QMenu* submenu : {menuPruebas, menuImpresoras}) {
        if (submenu == nullptr) continue;
        submenu->clear();
        submenu->addAction(textosMenu::consultando)->setEnabled(false);
    }
    s_.impresoras([this, vivo = vivo_](const frmTrabajos::Estados& estados) {
        if (!*vivo) return;
        pidiendo_ = false;
        mostrarImpresoras(estados);
    });
}

void MenuBandeja::mostrarImpresoras(const frmTrabajos::Estados& estados) {
    const QList<int> enEspera =
        s_.diario != nullptr ? shell::documentosEnEspera(*s_.diario, estados) : QList<int>(estados.size(), 0);
    for (QMenu* submenu : {menuPruebas, menuImpresoras}) {
        if (submenu == nullptr) continue;
        submenu->clear();
        if (estados.isEmpty()) submenu->addAction(QStringLiteral("No hay ninguna impresora"))->setEnabled(false);
    }
    for (qsizetype i = 0; i < estados.size(); ++i) {
        const Impresora& impresora = estados.at(i);
        if (menuPruebas != nullptr) {
            menuPruebas->addAction(impresora.name, this, [this, impresora] { enviarPrueba(impresora); });
        }
        QAction* linea = menuImpresoras->addAction(
            lineaImpresora(impresora, enEspera.at(i)), this, [this] {
                if (s_.abrirTrabajos) s_.abrirTrabajos();
            });
        linea->setToolTip(impresora.settings.join(u'\n'));
    }
}

void MenuBandeja::enviarPrueba(const Impresora& impresora) {
    s_.paginaPrueba(impresora, [this, vivo = vivo_, nombre = impresora.name](std::optional<QString> motivo) {
        if (!*vivo) return;
        const QString texto = motivo ? QStringLiteral("La página de prueba para %1 no salió: %2").arg(nombre, *motivo)
                                     : QStringLiteral("Página de prueba enviada a ") + nombre;
        if (s_.anotar) s_.anotar(texto);
        s_.avisos.ShowBalloonTip(texto, motivo ? platform::BalloonIcon::Warning : platform::BalloonIcon::Information,
                                 kTituloImpresora, platform::kBalloonMilliseconds);
    });
}

void MenuBandeja::reimprimirUltimo() {
    if (!ultimo_ || !s_.reimprimir || s_.diario == nullptr) return;
    const std::optional<paper::JournalDocument> d = s_.diario->document(*ultimo_);
    if (!d) return;
    if (!s_.dialogos.confirm(textosTrabajos::reimprimir,
                             QStringLiteral("¿Imprimir de nuevo el documento %1 (%2), encabezado «REIMPRESIÓN»?")
                                 .arg(d->id)
                                 .arg(documentoLegible(*d)))) {
        return;
    }
    s_.reimprimir(d->id, [this, vivo = vivo_](std::optional<QString> motivo) {
        if (*vivo && motivo) {
            s_.dialogos.showMessage(*motivo, platform::MessageIcon::Warning, textosTrabajos::tituloNoSePudo);
        }
    });
}

void MenuBandeja::abrirRegistro() {
    const QString ruta = QDir::toNativeSeparators(s_.registro);
    const QString titulo = QStringLiteral("Registro");
    if (!QFileInfo::exists(s_.registro)) {
        s_.dialogos.showMessage(QStringLiteral("Todavía no hay registro: ") + ruta, platform::MessageIcon::Information,
                                titulo);
        return;
    }
    if (!s_.abrirArchivo || !s_.abrirArchivo(s_.registro)) {
        s_.dialogos.showMessage(QStringLiteral("No se pudo abrir el registro. Ábralo con un editor de texto: ") + ruta,
                                platform::MessageIcon::Warning, titulo);
    }
}

void MenuBandeja::salirPulsado() {
    if (!s_.dialogos.confirm(textosMenu::salir,
                             QStringLiteral("¿Cerrar el servicio de impresión? Mientras no esté en marcha no sale "
                                            "ningún ticket de esta sucursal."))) {
        return;
    }
    if (s_.anotar) s_.anotar(QStringLiteral("Kelmora se cierra desde el menú de la bandeja"));
    if (s_.salir) s_.salir();
}

}  // namespace kelmora::windows
