#pragma once

#include <QString>

namespace kelmora::app {

// The program folder when --dir gives none: the executable's folder when it can be written, else
// the user's application data folder. The service and the commands that read its files agree on it.
QString defaultFolder();

}  // namespace kelmora::app
