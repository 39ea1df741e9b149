#include "printing/document/font_metric.h"

#include <QRegularExpression>

namespace kelmora::paper::font_metric {

double characterAdvance(const QString& fontName, double size) {
    static const QRegularExpression cpi(QStringLiteral("^Courier (\\d+(?:\\.\\d+)?) CPI$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto match = cpi.match(fontName);
    if (match.hasMatch()) {
        const double perInch = match.captured(1).toDouble();
        if (perInch > 0) return kTwipsPerInch / perInch * size / 10.0;
    }
    return 12.0 * size;
}

double lineHeight(double size) { return 24.0 * size; }

}  // namespace kelmora::paper::font_metric
