#include "printing/pdf/pdf_painter.h"

#include "json/runtime_error.h"
#include "printing/document/font_metric.h"

#include <QBuffer>
#include <QFont>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

namespace kelmora::paper {

namespace {

constexpr double kTwipsPerMm = font_metric::kTwipsPerInch / 25.4;
constexpr double kTwipsPerPoint = 20;
// Glyphs are drawn from one size of each face and scaled to the row's font; the scale is exact.
constexpr double kReferencePixelSize = 1000;

// Rows end where their last non-blank character ends.
qsizetype printedLength(const QString& text) {
    qsizetype length = text.size();
    while (length > 0 && text.at(length - 1) == u' ') --length;
    return length;
}

}  // namespace

PdfPainter::PdfPainter(double paperWidthMm) : paperWidthMm_(paperWidthMm) {}

QString PdfPainter::cannotPaintReason() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return QStringLiteral("Para dibujar hace falta la aplicación gráfica, que no está en marcha");
    }
    const Face& regular = face(false, false);
    // Another monospace font in its place still keeps the columns: its advance is measured.
    if (!regular.font.isValid() || regular.advance <= 0) {
        return QStringLiteral("No se encuentra ninguna fuente para dibujar (se espera %1)").arg(kFontFamily);
    }
    return {};
}

const PdfPainter::Face& PdfPainter::face(bool bold, bool italic) {
    std::optional<Face>& slot = faces_[(bold ? 1U : 0U) + (italic ? 2U : 0U)];
    if (!slot) {
        QFont font(kFontFamily);
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        font.setBold(bold);
        font.setItalic(italic);
        font.setHintingPreference(QFont::PreferNoHinting);
        Face loaded{QRawFont::fromFont(font), 0};
        if (loaded.font.isValid()) {
            loaded.font.setPixelSize(kReferencePixelSize);
            const auto glyphs = loaded.font.glyphIndexesForString(QStringLiteral("0"));
            const auto advances = loaded.font.advancesForGlyphIndexes(glyphs, QRawFont::UseDesignMetrics);
            if (!advances.isEmpty()) loaded.advance = advances.first().x();
        }
        slot = std::move(loaded);
    }
    return *slot;
}

QSizeF PdfPainter::pageSize(const Document& document) const {
    const double roll = (document.paperWidthMm > 0 ? document.paperWidthMm : paperWidthMm_) * kTwipsPerMm;
    double width = roll;
    double length = 0;
    for (const DocumentRow& row : document.rows) {
        const double advance = font_metric::characterAdvance(row.font.name, row.font.size);
        width = std::max(width, advance * static_cast<double>(printedLength(row.text)));
        length += font_metric::lineHeight(row.font.size);
    }
    for (const DocumentPicture& picture : document.pictures) {
        width = std::max(width, picture.x + picture.width);
        length = std::max(length, picture.y + picture.height);
    }
    return {width, length + kBottomMarginTwips};
}

QImage PdfPainter::scaledPicture(const DocumentPicture& picture) {
    const QSize dots(std::max(1, static_cast<int>(std::lround(picture.width / font_metric::kTwipsPerInch *
                                                              kPictureDotsPerInch))),
                     std::max(1, static_cast<int>(std::lround(picture.height / font_metric::kTwipsPerInch *
                                                              kPictureDotsPerInch))));
    if (picture.picture.bytes == lastPictureBytes_ && dots == lastPictureSize_ && !lastPicture_.isNull()) {
        return lastPicture_;
    }
    const QImage image = QImage::fromData(picture.picture.bytes);
    if (image.isNull()) throw RuntimeError(QStringLiteral("Imagen no válida"));
    lastPicture_ = image.scaled(dots, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    lastPictureBytes_ = picture.picture.bytes;
    lastPictureSize_ = dots;
    return lastPicture_;
}

QByteArray PdfPainter::paint(const Document& document) {
    if (const QString reason = cannotPaintReason(); !reason.isEmpty()) throw RuntimeError(reason);

    const QSizeF page = pageSize(document);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setCreator(QStringLiteral("Kelmora"));
    writer.setTitle(document.kind);
    // One device unit is one twip, the unit of the metric and of the pictures.
    writer.setResolution(static_cast<int>(font_metric::kTwipsPerInch));
    const QSizeF points(std::ceil(page.width() / kTwipsPerPoint), std::ceil(page.height() / kTwipsPerPoint));
    writer.setPageLayout(QPageLayout(QPageSize(points, QPageSize::Point, {}, QPageSize::ExactMatch),
                                     QPageLayout::Portrait, QMarginsF()));

    QPainter painter;
    if (!painter.begin(&writer)) throw RuntimeError(QStringLiteral("No se puede empezar a dibujar"));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    for (const DocumentPicture& picture : document.pictures) {
        if (picture.width <= 0 || picture.height <= 0) continue;
        painter.drawImage(QRectF(picture.x, picture.y, picture.width, picture.height), scaledPicture(picture));
    }

    double top = 0;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    for (const DocumentRow& row : document.rows) {
        const double lineHeight = font_metric::lineHeight(row.font.size);
        const double advance = font_metric::characterAdvance(row.font.name, row.font.size);
        const QString text = row.text.left(printedLength(row.text));
        if (!text.isEmpty() && advance > 0 && row.font.size > 0) {
            const Face& f = face(row.font.bold, row.font.italic);
            const double scale = row.font.size * kTwipsPerPoint / kReferencePixelSize;
            const double ascent = f.font.ascent() * scale;
            const double descent = f.font.descent() * scale;
            const double baseline = top + (lineHeight - ascent - descent) / 2 + ascent;

            // One glyph per character, each in its own column: a column is a UTF-16 unit, as in
            // the preview. Characters the font lacks leave their column blank.
            const QList<quint32> indexes = f.font.glyphIndexesForString(text);
            glyphs.clear();
            positions.clear();
            qsizetype column = 0;
            for (qsizetype i = 0; i < indexes.size() && column < text.size(); ++i) {
                const quint32 glyph = indexes.at(i);
                if (glyph != 0) {
                    glyphs.append(glyph);
                    positions.append(QPointF(static_cast<double>(column) * f.advance, 0));
                }
                const bool pair = text.at(column).isHighSurrogate() && column + 1 < text.size() &&
                                  text.at(column + 1).isLowSurrogate();
                column += pair ? 2 : 1;
            }
            if (!glyphs.isEmpty()) {
                QGlyphRun run;
                run.setRawFont(f.font);
                run.setGlyphIndexes(glyphs);
                run.setPositions(positions);
                painter.save();
                painter.translate(0, baseline);
                painter.scale(advance / f.advance, scale);
                painter.drawGlyphRun(QPointF(0, 0), run);
                painter.restore();
            }
        }
        top += lineHeight;
    }

    if (!painter.end()) throw RuntimeError(QStringLiteral("No se puede terminar de dibujar"));
    return pdf;
}

}  // namespace kelmora::paper
