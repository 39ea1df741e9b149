#pragma once

#include "printing/document/document.h"

#include <QByteArray>
#include <QImage>
#include <QRawFont>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>

namespace kelmora::paper {

// Puts a document on paper as PDF: one continuous page as wide as the roll and as long as the
// document. Rows are drawn in one monospace font whose characters are exactly as wide as the
// shared font metric says, so a column on paper is the column of the text preview. Needs a
// QGuiApplication (fonts and images).
class PdfPainter {
public:
    static constexpr double kDefaultPaperWidthMm = 75;  // the wider of the two rolls
    static constexpr double kBottomMarginTwips = 288;   // paper left below the last line
    static constexpr double kPictureDotsPerInch = 203;  // a receipt printer's resolution
    static inline const QString kFontFamily = QStringLiteral("DejaVu Sans Mono");

    // `paperWidthMm`: the roll of documents that do not name one.
    explicit PdfPainter(double paperWidthMm = kDefaultPaperWidthMm);

    // Empty when documents can be painted; otherwise why not.
    QString cannotPaintReason();

    // The PDF of the document. Raises RuntimeError when it cannot be painted.
    QByteArray paint(const Document& document);

    // The page in twips: the roll's width, widened only for content that would not fit on it,
    // and the document's laid-out length plus a margin.
    QSizeF pageSize(const Document& document) const;

private:
    struct Face {
        QRawFont font;
        double advance = 0;  // of every character at the reference size
    };
    const Face& face(bool bold, bool italic);
    QImage scaledPicture(const DocumentPicture& picture);

    double paperWidthMm_;
    std::array<std::optional<Face>, 4> faces_;
    // The last picture scaled, as an invoice logo comes back on every invoice.
    QByteArray lastPictureBytes_;
    QSize lastPictureSize_;
    QImage lastPicture_;
};

}  // namespace kelmora::paper
