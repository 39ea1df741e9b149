#pragma once

#include <QString>

namespace kelmora::platform {

// Balloon icon kinds.
enum class BalloonIcon { None = 0, Information = 1, Warning = 2, Error = 3 };

// Every balloon of the system is shown this long.
constexpr int kBalloonMilliseconds = 30000;

// Tells the user something in a balloon of the tray icon.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void ShowBalloonTip(const QString& text, BalloonIcon icon, const QString& title, int timeoutMs) = 0;
};

}  // namespace kelmora::platform
