#pragma once

#include "printing/escpos/escpos_interpreter.h"

#include <QImage>
#include <QString>

namespace kelmora::paper::escpos {

inline const QString kPaperFontFamily = QStringLiteral("DejaVu Sans Mono");
// The longest paper drawn, about 2 m: hostile data may feed far more.
constexpr int kMaxPaperImageDots = 16384;

// The paper as a picture at the printer's resolution, one pixel per dot, for the eye: rasters dot
// for dot, each character in its font's fixed cell (12×24 or 9×17 dots, magnified dot by dot), so
// that characters that overlap or run off the paper show; red ink in red; cuts as a dashed line.
// Needs a QGuiApplication (fonts).
QImage renderEscPosPaper(const EscPosPaper& paper);

}  // namespace kelmora::paper::escpos
