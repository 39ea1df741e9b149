#include "shell/arranque.h"

namespace kelmora::shell {

void iniciarServicio(VistaServicio& vista, platform::Notifier& SysTray, platform::EventPump& eventos,
                     CicloConsulta& ciclo, bool soporte) {
    vista.mostrarVentana(soporte);
    eventos.processPendingEvents();
    vista.Init(textos::tooltipInicial);
    vista.SetIcon(EstadoIcono::Desconectado, textos::tooltipConectando);
    SysTray.ShowBalloonTip(textos::globoInicio, platform::BalloonIcon::Information, textos::tituloGloboInicio,
                           platform::kBalloonMilliseconds);
    ciclo.iniciar();
}

}  // namespace kelmora::shell
