#pragma once

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/notifier.h"
#include "shell/bitacora.h"
#include "shell/vista_servicio.h"

#include <cstdio>

namespace kelmora::shell {

// The service without windows. The log's lines and the messages go to standard error, each line
// after a timestamp. Console entries, icon changes and balloons go to standard output only when
// `detallado` (--verbose): they come at every poll and carry the customers' names, phones and
// addresses, so by default they are dropped. Nothing can be asked.
class SalidaEstandar final : public VistaServicio,
                             public platform::Notifier,
                             public platform::Dialogs,
                             public Bitacora {
public:
    // `prioridades`: standard error goes to the system journal, which reads each line's priority
    // from a prefix ("<3>" error, "<4>" warning, "<6>" information).
    SalidaEstandar(const platform::Clock& reloj, std::FILE* salida, std::FILE* errores, bool detallado,
                   bool prioridades = false)
        : reloj_(reloj), salida_(salida), errores_(errores), detallado_(detallado), prioridades_(prioridades) {}

    void escribirConsola(const QString& texto) override;
    void limpiarConsola() override {}
    void mostrarBotonReloj(const QString&) override {}
    void mostrarVentana(bool) override {}
    void Init(const QString& tooltip) override;
    void SetIcon(EstadoIcono estado, const QString& tooltip) override;

    void ShowBalloonTip(const QString& text, platform::BalloonIcon icon, const QString& title, int timeoutMs) override;

    std::optional<QString> askText(const QString&, const QString&) override { return std::nullopt; }
    void showMessage(const QString& text, platform::MessageIcon icon, const QString& title) override;
    std::optional<QString> chooseFile(const QString&, const QStringList&) override { return std::nullopt; }
    bool confirm(const QString&, const QString&) override { return false; }

    // Bitacora: one line, whatever line breaks the text holds.
    void anotar(const QString& linea, Gravedad gravedad) override;

private:
    // Every line of the text after the timestamp, so a multi-line entry stays readable.
    void escribir(std::FILE* destino, const QString& texto, Gravedad gravedad = Gravedad::Nota);
    QByteArray prioridad(Gravedad gravedad) const;

    const platform::Clock& reloj_;
    std::FILE* salida_;
    std::FILE* errores_;
    bool detallado_;
    bool prioridades_;
};

}  // namespace kelmora::shell
