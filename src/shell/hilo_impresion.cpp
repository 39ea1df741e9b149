#include "shell/hilo_impresion.h"

#include <QCoreApplication>

namespace kelmora::shell {

HiloImpresion::HiloImpresion() : trabajador_(std::make_unique<QObject>()) {
    hilo_.setObjectName(QStringLiteral("impresion"));
    trabajador_->moveToThread(&hilo_);
    hilo_.start();
}

HiloImpresion::~HiloImpresion() {
    detener();
    // Destroyed on its own thread's terms: the thread has ended, nothing runs on it any more.
    trabajador_.reset();
}

bool HiloImpresion::ejecutar(std::function<void()> trabajo, std::function<void()> alTerminar) {
    if (detenido_) return false;
    QMetaObject::invokeMethod(
        trabajador_.get(),
        [this, trabajo = std::move(trabajo), alTerminar = std::move(alTerminar)]() mutable {
            trabajo();
            QMetaObject::invokeMethod(&contexto_, std::move(alTerminar), Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    return false;
}

void HiloImpresion::detener() {
    if (detenido_.exchange(true)) return;
    // Asked to end behind the work it already took, so that work runs: a document marked as being
    // sent is sent, and what became of it is recorded.
    QMetaObject::invokeMethod(trabajador_.get(), [this] { hilo_.quit(); }, Qt::QueuedConnection);
    hilo_.wait();
    // The end of the work that was under way, so that what became of it is recorded.
    QCoreApplication::sendPostedEvents(&contexto_);
}

void AvisosDesdeOtroHilo::ShowBalloonTip(const QString& text, platform::BalloonIcon icon, const QString& title,
                                         int timeoutMs) {
    QMetaObject::invokeMethod(
        &contexto_, [this, text, icon, title, timeoutMs] { destino_.ShowBalloonTip(text, icon, title, timeoutMs); },
        Qt::QueuedConnection);
}

}  // namespace kelmora::shell
