#pragma once

#include <QIcon>

namespace kelmora::tray {

// The pictures of the service, drawn rather than shipped so they stay sharp at every size a
// notification area asks for.
QIcon iconoAplicacion();    // a printer: the windows' icon and the tray's first picture
QIcon iconoConectado();     // green dot: the last poll was handled
QIcon iconoDesconectado();  // grey dot with a red bar: not yet connected
QIcon iconoOK();            // blue dot with a tick: an answer was just handled
QIcon iconoError();         // red dot with a cross

}  // namespace kelmora::tray
