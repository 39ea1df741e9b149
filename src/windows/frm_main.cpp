#include "windows/frm_main.h"

#include "platform/rotating_log.h"
#include "tray/iconos.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

namespace kelmora::windows {

namespace {

// The request object of the socket path, which the service never starts: only its fields show.
const QString kHostPeticion;
const QString kMetodoPeticion = QStringLiteral("POST");
const QString kRutaPeticion = QStringLiteral("/");

}  // namespace

frmMain::frmMain(Servicios servicios)
    : iconoConectado(tray::iconoConectado()),
      iconoDesconectado(tray::iconoDesconectado()),
      iconoOK(tray::iconoOK()),
      iconoError(tray::iconoError()),
      s_(std::move(servicios)),
      SysTray_(
          [this](const QString& linea) {
              escribirConsola(linea);
              if (s_.respaldo) s_.respaldo(linea);
          },
          s_.hayBandeja) {
    setWindowTitle(kTituloPrincipal);
    setWindowIcon(tray::iconoAplicacion());

    consola = new QPlainTextEdit(this);
    consola->setReadOnly(true);
    consola->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    consola->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    consola->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    botonReloj = new QPushButton(QStringLiteral("Pausar Reloj"), this);
    lblDatos = new QLabel(this);
    lblDatos->setText(kHostPeticion + u'\n' + kMetodoPeticion + u'\n' + kRutaPeticion + u'\n');
    lblDatos->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* pie = new QHBoxLayout;
    pie->addWidget(lblDatos, 1);
    pie->addWidget(botonReloj, 0, Qt::AlignBottom);
    auto* columna = new QVBoxLayout(this);
    columna->addWidget(consola, 1);
    columna->addLayout(pie);
    resize(780, 480);

    connect(botonReloj, &QPushButton::clicked, this, &frmMain::relojPulsado);
    MenuBandeja::Servicios menu{nullptr, nullptr, s_.dialogos, SysTray_};
    if (s_.trabajos) {
        menu.diario = &s_.trabajos->diario;
        menu.reloj = &s_.trabajos->reloj;
        menu.reimprimir = s_.trabajos->reimprimir;
        menu.impresoras = s_.trabajos->impresoras;
        menu.paginaPrueba = s_.trabajos->paginaPrueba;
        // Over the settings window while it waits modally: it would block a window of its own.
        menu.abrirTrabajos = [this] {
            abrirTrabajos(ajustes_ && QApplication::activeModalWidget() == ajustes_ ? ajustes_.data() : nullptr);
        };
    }
    menu.registro = QDir(s_.carpetaPrograma).filePath(platform::kLogFileName);
    menu.abrirArchivo = s_.abrirArchivo ? s_.abrirArchivo : [](const QString& ruta) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(ruta));
    };
    menu.anotar = s_.anotar;
    menu.salir = s_.terminarProceso;
    menu_ = std::make_unique<MenuBandeja>(std::move(menu));
    menu_->setWindowIcon(windowIcon());

    clicSimple_.setSingleShot(true);
    clicSimple_.setInterval(QApplication::doubleClickInterval());
    connect(&clicSimple_, &QTimer::timeout, this, [this] { abrirMenu(); });
    connect(&SysTray_, &tray::clsSystray::LeftClick, this, [this] {
        // Some notification areas end a double click with one more click, which comes while the
        // settings window it opened waits: it opens nothing.
        if (dobleClic_.isValid() && dobleClic_.elapsed() < QApplication::doubleClickInterval()) return;
        if (!menu_->isVisible()) clicSimple_.start();
    });
    connect(&SysTray_, &tray::clsSystray::DoubleClick, this, [this] {
        clicSimple_.stop();
        dobleClic_.start();
        abrirAjustes(true);
    });
    connect(&SysTray_, &tray::clsSystray::RightClick, this, [this] { abrirAjustes(true); });
    connect(&SysTray_, &tray::clsSystray::BalloonClicked, this, [this] { abrirAjustes(false); });
}

frmMain::~frmMain() {
    if (trabajos_) delete trabajos_.data();
    if (ajustes_) delete ajustes_.data();
}

void frmMain::escribirConsola(const QString& texto) {
    // Each entry ends with a line end; the widget keeps one line end per line, whatever the text used.
    static const QRegularExpression finDeLinea(QStringLiteral("\r\n|\r"));
    QString entrada = texto;
    entrada.replace(finDeLinea, QStringLiteral("\n"));
    QTextCursor cursor(consola->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(entrada + u'\n');
    consola->setTextCursor(cursor);
    consola->ensureCursorVisible();
}

void frmMain::limpiarConsola() { consola->clear(); }

void frmMain::mostrarBotonReloj(const QString& caption) { botonReloj->setText(caption); }

void frmMain::mostrarVentana(bool visible) { setVisible(visible || !SysTray_.hayBandeja()); }

void frmMain::Init(const QString& tooltip) { SysTray_.Init(this, tooltip); }

void frmMain::SetIcon(shell::EstadoIcono estado, const QString& tooltip) {
    switch (estado) {
    case shell::EstadoIcono::Desconectado:
        SysTray_.SetIcon(iconoDesconectado, tooltip);
        return;
    case shell::EstadoIcono::Conectado:
        SysTray_.SetIcon(iconoConectado, tooltip);
        return;
    case shell::EstadoIcono::OK:
        SysTray_.SetIcon(iconoOK, tooltip);
        return;
    case shell::EstadoIcono::Error:
        SysTray_.SetIcon(iconoError, tooltip);
        return;
    }
}

void frmMain::abrirAjustes(bool modal) {
    if (ajustes_) {
        ajustes_->raise();
        ajustes_->activateWindow();
        return;
    }
    // A window of its own, not a child: it shows while the main window is hidden.
    settings::frmImpresion::Servicios servicios{s_.carpetaPrograma, s_.dialogos, windowIcon(), s_.terminarProceso};
    if (s_.trabajos) servicios.abrirTrabajos = [this](QWidget* ajustes) { abrirTrabajos(ajustes); };
    auto* ventana = new settings::frmImpresion(std::move(servicios));
    ventana->setAttribute(Qt::WA_DeleteOnClose);
    ajustes_ = ventana;
    if (modal) {
        ventana->exec();
    } else {
        ventana->show();
    }
}

void frmMain::abrirTrabajos(QWidget* ventana) {
    if (!s_.trabajos) return;
    if (trabajos_) {
        // Open on its own, it is blocked by a settings window waiting modally: it goes over it.
        if (ventana != nullptr && trabajos_->parentWidget() != ventana && QApplication::activeModalWidget() == ventana) {
            trabajos_->setParent(ventana, trabajos_->windowFlags());
            trabajos_->show();
        }
        trabajos_->raise();
        trabajos_->activateWindow();
        return;
    }
    auto* trabajos = new frmTrabajos(frmTrabajos::Servicios{s_.trabajos->diario, s_.trabajos->reloj, s_.dialogos,
                                                         s_.trabajos->reimprimir, s_.trabajos->descartar,
                                                         s_.trabajos->impresoras},
                                     ventana);
    trabajos->setAttribute(Qt::WA_DeleteOnClose);
    trabajos->setWindowIcon(windowIcon());
    trabajos_ = trabajos;
    trabajos->show();
}

void frmMain::abrirMenu() {
    // Next to the icon, below it or above it as the notification area is at the top or the
    // bottom; where the pointer is when the icon's place is not known.
    const QRect icono = SysTray_.icono().geometry();
    QPoint donde = QCursor::pos();
    if (icono.isValid() && icono.topLeft() != QPoint(0, 0)) {
        const QScreen* pantalla = QGuiApplication::screenAt(icono.center());
        const bool abajo = pantalla != nullptr && icono.center().y() > pantalla->geometry().center().y();
        donde = abajo ? QPoint(icono.left(), icono.top() - menu_->sizeHint().height()) : icono.bottomLeft() + QPoint(0, 1);
    }
    menu_->popup(donde);
    // Over whatever window has the focus, as the notification area gives none.
    menu_->activateWindow();
}

void frmMain::closeEvent(QCloseEvent* evento) {
    SysTray_.delIcon();
    evento->accept();
    emit descargada();
}

}  // namespace kelmora::windows
