#pragma once

#include <QString>

namespace kelmora::paper {

// The one font metric every printer measures with, so that a text that fits in the preview fits
// on paper and a column in the preview is a column on the roll. Lengths are in twips.
//  - "Courier N CPI" prints N characters per inch at 10 points;
//  - any other font advances 12 twips per character per point of size;
//  - a line is 24 twips high per point of size.
namespace font_metric {

constexpr double kTwipsPerInch = 1440.0;

double characterAdvance(const QString& fontName, double size);
double lineHeight(double size);
inline double textWidth(const QString& fontName, double size, const QString& text) {
    return characterAdvance(fontName, size) * static_cast<double>(text.size());
}

}  // namespace font_metric
}  // namespace kelmora::paper
