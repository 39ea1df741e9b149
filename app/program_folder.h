#pragma once

#include <QString>

namespace kelmora::app {

// The program folder when --dir gives none: the executable's folder when it is the user's own
// (never under /usr), else the user's application data folder. The service and the commands that read its files agree on it.
QString defaultFolder();

}  // namespace kelmora::app
