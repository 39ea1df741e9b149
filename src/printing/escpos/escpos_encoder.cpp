#include "printing/escpos/escpos_encoder.h"

#include "json/runtime_error.h"
#include "printing/document/font_metric.h"
#include "printing/escpos/escpos_commands.h"

#include <algorithm>
#include <cmath>

namespace kelmora::paper::escpos {

namespace {

constexpr double kTwipsPerMm = font_metric::kTwipsPerInch / 25.4;
// Paper left below the last line before the cut, as on the PDF.
constexpr double kBottomMarginTwips = 288;
// Without a cutter the paper is torn off at the bar, about 12 mm above the head.
constexpr int kTearBarDots = 96;
// The tallest raster one GS v 0 takes.
constexpr int kMaxRasterBand = 2303;

// Far beyond any paper (about 80 m), so that no length overflows.
constexpr double kMaxDots = 1 << 24;

int roundToInt(double value) {
    return std::isfinite(value) ? static_cast<int>(std::lround(std::clamp(value, -kMaxDots, kMaxDots))) : 0;
}

// Rows end where their last non-blank character ends.
qsizetype printedLength(const QString& text) {
    qsizetype length = text.size();
    while (length > 0 && text.at(length - 1) == u' ') --length;
    return length;
}

// How a row is drawn: the printer font, its magnification and the exact column advance in dots.
struct RowStyle {
    const PrinterFontSize* font = &kFontA;
    int widthMagnification = 1;
    int heightMagnification = 1;
    double advance = 0;

    // The printer's cell closest to `desired` dots that is no narrower than the glyph, and the
    // right-side spacing (ESC SP, in units of the magnified dot) that gives it.
    int cell(int desired, int* spacing) const {
        const int m = widthMagnification;
        const int n = std::clamp((desired + m / 2) / m - font->width, 0, 255);
        if (spacing != nullptr) *spacing = n;
        return m * (font->width + n);
    }
    // Where column `column` starts, from the row's left edge.
    int columnStart(qsizetype column) const { return roundToInt(static_cast<double>(column) * advance); }
    // Where a row of `length` columns ends on paper.
    int end(qsizetype length) const {
        if (length <= 0) return 0;
        const int last = columnStart(length - 1);
        return last + cell(columnStart(length) - last, nullptr);
    }
};

// Font A only when its glyph fits both the column and the line; the glyph as large as fits. The
// line's exact height decides, not its rounded dots, so that a font state always prints alike.
RowStyle styleFor(double advance, double lineDots) {
    RowStyle style;
    style.advance = advance;
    style.font = advance >= kFontA.width && lineDots >= kFontA.height ? &kFontA : &kFontB;
    style.widthMagnification = std::clamp(static_cast<int>(advance / style.font->width), 1, 8);
    style.heightMagnification = std::clamp(static_cast<int>(lineDots / style.font->height), 1, 8);
    return style;
}

class Encoder {
public:
    Encoder(const Document& document, const EscPosProfile& profile, PictureRasterizer* pictures)
        : document_(document), profile_(profile), pictures_(pictures), printable_(profile.printableDots()) {
        double layoutMm = document.paperWidthMm;
        if (!(layoutMm > 0) || !std::isfinite(layoutMm)) layoutMm = profile.layoutRollMm();
        dotsPerTwip_ = printable_ / (layoutMm * kTwipsPerMm);
    }

    QByteArray encode() {
        out_.reserve(4096);
        out_.append(command::kInitialize);
        out_.append(command::selectCodePage(codePageNumber(profile_.codePage)));

        QList<const DocumentPicture*> pending;
        for (const DocumentPicture& picture : document_.pictures) pending.append(&picture);
        std::stable_sort(pending.begin(), pending.end(),
                         [](const DocumentPicture* a, const DocumentPicture* b) { return a->y < b->y; });
        qsizetype nextPicture = 0;

        double top = 0;
        for (const DocumentRow& row : document_.rows) {
            double height = font_metric::lineHeight(row.font.size);
            if (!(height > 0) || !std::isfinite(height)) height = 0;
            // A picture goes before the row its top falls in, as the PDF draws it over that row.
            while (nextPicture < pending.size() && pending.at(nextPicture)->y < top + height) {
                printPicture(*pending.at(nextPicture++));
            }
            printRow(row, dots(top), dots(top + height), height * dotsPerTwip_);
            top += height;
        }
        while (nextPicture < pending.size()) printPicture(*pending.at(nextPicture++));

        const int margin = std::min(dots(kBottomMarginTwips), 255);
        if (profile_.hasCutter) {
            out_.append(command::feedAndPartialCut(margin));
        } else {
            feed(margin + kTearBarDots);
        }
        return out_;
    }

private:
    int dots(double twips) const { return roundToInt(twips * dotsPerTwip_); }

    void printRow(const DocumentRow& row, int rowTop, int rowBottom, double exactLineDots) {
        const int lineDots = rowBottom - rowTop;
        const qsizetype length = printedLength(row.text);
        if (length == 0) {
            // A blank row is room, which a picture may already have taken: it moves nothing down.
            feed(rowBottom + shift_ - paperY_);
            return;
        }
        int y = rowTop + shift_;
        if (y < paperY_) {
            shift_ += paperY_ - y;
            y = paperY_;
        }
        feed(y - paperY_);

        // A column wider than the paper would be one that cannot print anyway.
        const double metricAdvance = std::min(
            font_metric::characterAdvance(row.font.name, row.font.size) * dotsPerTwip_, static_cast<double>(printable_));
        if (!(metricAdvance > 0)) {
            printLine({}, RowStyle(), row.font.bold, lineDots);
            return;
        }

        RowStyle style = styleFor(metricAdvance, exactLineDots);
        qsizetype perLine = length;
        if (style.end(length) > printable_) {
            // Narrower columns, down to font B's bare glyph; past that the row goes on below.
            const double narrowest = std::min(metricAdvance, static_cast<double>(kFontB.width));
            const double fitting = static_cast<double>(printable_) / static_cast<double>(length);
            style = styleFor(std::min(metricAdvance, std::max(fitting, narrowest)), exactLineDots);
            perLine = 1;
            while (perLine < length && style.end(perLine + 1) <= printable_) ++perLine;
        }
        const QString text = row.text.left(length);
        for (qsizetype start = 0; start < length; start += perLine) {
            QString piece = text.mid(start, perLine);
            piece.truncate(printedLength(piece));
            printLine(piece, style, row.font.bold, lineDots);
            if (start > 0) shift_ += lineDots;
        }
    }

    // One line of paper: the text in its columns, then the feed to the next line's top.
    void printLine(const QString& text, const RowStyle& style, bool bold, int lineDots) {
        if (!text.isEmpty()) setStyle(style, bold);
        setLineSpacing(std::min(lineDots, 255));
        int x = 0;
        for (qsizetype column = 0; column < text.size(); ++column) {
            const QChar unit = text.at(column);
            if (unit == u' ') continue;
            const int start = style.columnStart(column);
            int spacing = 0;
            const int cell = style.cell(style.columnStart(column + 1) - start, &spacing);
            if (x != start) out_.append(command::absolutePosition(start));
            if (spacing != spacing_) {
                out_.append(command::rightSpacing(spacing));
                spacing_ = spacing;
            }
            // A character outside the basic plane takes two columns and prints as one '?'.
            const bool pair = unit.isHighSurrogate() && column + 1 < text.size() && text.at(column + 1).isLowSurrogate();
            out_.append(pair ? '?' : encodeCharacter(unit, profile_.codePage));
            if (pair) ++column;
            x = start + cell;
        }
        out_.append(command::kLineFeed);
        paperY_ += std::min(lineDots, 255);
        feed(lineDots - 255);
    }

    void printPicture(const DocumentPicture& picture) {
        if (pictures_ == nullptr) return;
        if (!std::isfinite(picture.x) || !std::isfinite(picture.y)) return;
        if (!(picture.width > 0) || !(picture.height > 0)) return;
        double exactWidth = picture.width * dotsPerTwip_;
        double exactHeight = picture.height * dotsPerTwip_;
        if (exactWidth > printable_) {
            exactHeight = exactHeight * printable_ / exactWidth;
            exactWidth = printable_;
        }
        const int width = roundToInt(exactWidth);
        // One command takes 2303 rows: a taller picture is cut in bands, up to a metre of them.
        const int height = std::min(roundToInt(exactHeight), 8000);
        if (width <= 0 || height <= 0) return;
        const int left = std::clamp(dots(picture.x), 0, printable_ - width);
        int y = dots(picture.y) + shift_;
        if (y < paperY_) {
            shift_ += paperY_ - y;
            y = paperY_;
        }
        feed(y - paperY_);

        const MonochromeRaster raster = pictures_->rasterize(picture.picture, width, height);
        if (raster.width != width || raster.height != height ||
            raster.bits.size() != static_cast<qsizetype>(raster.bytesPerRow()) * height) {
            throw RuntimeError(QStringLiteral("Imagen no válida"));
        }
        // Padded on the left with white up to its place: a raster starts at the left margin.
        MonochromeRaster placed{left + width, 0, {}};
        for (int bandTop = 0; bandTop < height; bandTop += kMaxRasterBand) {
            placed.height = std::min(kMaxRasterBand, height - bandTop);
            placed.bits.fill(0, static_cast<qsizetype>(placed.bytesPerRow()) * placed.height);
            for (int row = 0; row < placed.height; ++row) {
                for (int column = 0; column < width; ++column) {
                    if (raster.isBlack(column, bandTop + row)) placed.setBlack(left + column, row);
                }
            }
            out_.append(command::rasterImage(placed.bytesPerRow(), placed.height));
            out_.append(placed.bits);
        }
        paperY_ += height;
    }

    void setStyle(const RowStyle& style, bool bold) {
        const bool fontB = style.font == &kFontB;
        if (fontB != fontB_) {
            // ESC ! also clears emphasis and size: both are set again below.
            out_.append(command::printMode(fontB));
            fontB_ = fontB;
            magnification_ = 0;
            bold_ = false;
        }
        const int magnification = command::magnification(style.widthMagnification, style.heightMagnification);
        if (magnification != magnification_) {
            out_.append(command::characterSize(magnification));
            magnification_ = magnification;
        }
        if (bold != bold_) {
            out_.append(command::emphasis(bold));
            bold_ = bold;
        }
    }

    void setLineSpacing(int dots) {
        if (dots == lineSpacing_) return;
        out_.append(command::lineSpacing(dots));
        lineSpacing_ = dots;
    }

    void feed(int dots) {
        while (dots > 0) {
            const int step = std::min(dots, 255);
            setLineSpacing(step);
            out_.append(command::kLineFeed);
            paperY_ += step;
            dots -= step;
        }
    }

    const Document& document_;
    const EscPosProfile& profile_;
    PictureRasterizer* pictures_;
    const int printable_;
    double dotsPerTwip_ = 0;
    QByteArray out_;

    int paperY_ = 0;  // dots of paper fed so far
    int shift_ = 0;   // how far below its layout place the paper is, after pushed-down content

    // The printer's state after ESC @; line spacing is the printer's own until set.
    bool fontB_ = false;
    int magnification_ = 0;
    bool bold_ = false;
    int spacing_ = 0;
    int lineSpacing_ = -1;
};

}  // namespace

int EscPosProfile::printableDots() const {
    if (dotsPerLine > 0) return dotsPerLine;
    return rollMm <= 58 ? 384 : 576;
}

double EscPosProfile::layoutRollMm() const { return rollMm <= 58 ? 55 : 75; }

void EscPosProfile::followLayout(double layoutMm) {
    if (layoutMm > 0) rollMm = layoutMm <= 58 ? 58 : 80;
}

QByteArray encodeEscPos(const Document& document, const EscPosProfile& profile, PictureRasterizer* pictures) {
    return Encoder(document, profile, pictures).encode();
}

}  // namespace kelmora::paper::escpos
