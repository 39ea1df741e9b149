#pragma once

// What the benches that print whole answers share: a tray that counts what went wrong, and a logo.
#include "platform/notifier.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>

namespace kelmora::bench {

// Warnings and errors are counted (and shown): an answer that did not print whole is no figure.
class CountingTray final : public platform::Notifier {
public:
    void ShowBalloonTip(const QString& text, platform::BalloonIcon icon, const QString&, int) override {
        if (icon == platform::BalloonIcon::Error || icon == platform::BalloonIcon::Warning) {
            std::fprintf(stderr, "balloon: %s\n", qPrintable(text));
            ++failures;
        }
    }
    int failures = 0;
};

// A logo of the usual size, drawn, written as a BMP at `path`.
inline bool writeLogo(const QString& path) {
    QImage logo(500, 184, QImage::Format_RGB32);
    logo.fill(Qt::white);
    QPainter painter(&logo);
    painter.setBrush(QColor(0xe0, 0x6c, 0x1b));
    painter.drawEllipse(QPointF(92, 92), 80, 80);
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 40));
    painter.drawText(QRectF(180, 40, 300, 100), QStringLiteral("El Fogón"));
    painter.end();
    return logo.save(path, "BMP");
}

}  // namespace kelmora::bench
