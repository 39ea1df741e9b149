#pragma once

#include "platform/events.h"
#include "platform/notifier.h"
#include "shell/ciclo_consulta.h"
#include "shell/vista_servicio.h"

namespace kelmora::shell {

// The start-up steps that follow the branch code: the main window is hidden unless `soporte`,
// pending events run once, the tray icon appears ("Conectando") with the start balloon, and polling
// begins.
void iniciarServicio(VistaServicio& vista, platform::Notifier& SysTray, platform::EventPump& eventos,
                     CicloConsulta& ciclo, bool soporte);

}  // namespace kelmora::shell
