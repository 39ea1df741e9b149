#include "printing/escpos/escpos_encoder.h"

#include "json/runtime_error.h"
#include "printing/document/clase_documento.h"
#include "printing/document/font_metric.h"
#include "printing/escpos/escpos_commands.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kelmora::paper::escpos {

namespace {

constexpr double kTwipsPerMm = font_metric::kTwipsPerInch / 25.4;
// Paper left below the last printed line: the cut's own feed takes it past the blade.
constexpr int kBottomMarginDots = 16;
// Without a cutter the paper is torn off at the bar, about 12 mm above the head.
constexpr int kTearBarDots = 96;
// The tallest raster one GS v 0 takes.
constexpr int kMaxRasterBand = 2303;
// Rows this large or larger are a ticket's big ones (the table, the banner, the total): double
// height on every roll, double width where the row still fits.
constexpr double kBigPoints = 14;
// Up to this many cells a move is made with blanks, cheaper than ESC $.
constexpr int kMaxBlankMove = 3;
// Kitchen printers: three beeps of 150 ms; a bell on the drawer connector rings 200 ms.
constexpr int kBeeps = 3;
constexpr int kBeepFiftyMs = 3;
constexpr int kBellMs = 200;

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

// What a driver needs to push the last line out (a blank row, a lone "."), and a receipt printer
// does not: its cut or its feed to the tear bar does that.
bool isFiller(const QString& text) {
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() || trimmed == u".";
}

// A row of one repeated rule character: cut to the paper's width rather than squeezed.
bool isDivider(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.size() < 2 || (trimmed.front() != u'=' && trimmed.front() != u'-')) return false;
    return trimmed.count(trimmed.front()) == trimmed.size();
}

// Pieces of at most `columns` columns, broken at blanks: the first keeps its indent when its first
// word fits after it, the others start at their first character. Only a word longer than a whole
// line is cut.
QStringList breakBetweenWords(const QString& text, qsizetype columns) {
    qsizetype start = 0;
    while (start < text.size() && text.at(start) == u' ') ++start;
    qsizetype firstEnd = text.indexOf(u' ', start);
    if (firstEnd < 0) firstEnd = text.size();
    if (firstEnd <= columns) start = 0;

    QStringList pieces;
    while (start < text.size()) {
        qsizetype end = std::min(text.size(), start + columns);
        if (end < text.size() && text.at(end) != u' ') {
            qsizetype blank = end;
            while (blank > start && text.at(blank - 1) != u' ') --blank;
            if (blank > start) end = blank;
        }
        pieces.append(text.mid(start, end - start));
        pieces.last().truncate(printedLength(pieces.last()));
        start = end;
        while (start < text.size() && text.at(start) == u' ') ++start;
    }
    return pieces;
}

// How a row is drawn: the printer font and magnification, the pitch from one character to the
// next, and the layout's column width, which places each word.
struct RowStyle {
    const PrinterFontSize* font = &kFontA;
    int widthMagnification = 1;
    int heightMagnification = 1;
    int pitch = kFontA.width;
    double unit = kFontA.width;

    int glyphWidth() const { return font->width * widthMagnification; }
    int glyphHeight() const { return font->height * heightMagnification; }
    // ESC SP counts in dots of the magnified character.
    int spacing() const { return pitch / widthMagnification - font->width; }
    int columnStart(qsizetype column) const { return roundToInt(static_cast<double>(column) * unit); }
    // The most columns a line of paper takes in this style.
    qsizetype columnsIn(int printable) const { return std::max(1, printable / pitch); }
};

// Font A when its glyph fits the column and the line; the glyph as large as fits; big rows double
// height, and double width when the row still fits. Words keep the preview's columns, unless the
// glyph is wider than a column (the row widens) or, with `closeUp`, the row is wider than the
// paper (the columns close up, down to the glyph). The pitch is whole dots, never below the glyph,
// so no character overlaps another.
RowStyle styleFor(double size, double advance, double lineDots, qsizetype length, int printable, bool closeUp) {
    RowStyle style;
    style.font = advance >= kFontA.width && lineDots >= kFontA.height ? &kFontA : &kFontB;
    const int fontWidth = style.font->width;
    style.widthMagnification = std::clamp(static_cast<int>(advance / fontWidth), 1, 8);
    style.heightMagnification = std::clamp(static_cast<int>(lineDots / style.font->height), 1, 8);
    if (size >= kBigPoints) {
        // Rounded, not cut down: a big row stays a step above the rows around it.
        style.heightMagnification = std::clamp(roundToInt(lineDots / style.font->height), 2, 8);
        if (style.widthMagnification < 2 && length * 2 * fontWidth <= printable) style.widthMagnification = 2;
    }
    const int m = style.widthMagnification;
    const double glyph = style.glyphWidth();
    style.unit = std::max(advance, glyph);
    if (closeUp && style.unit * static_cast<double>(length) > printable) {
        style.unit = std::max(glyph, static_cast<double>(printable) / static_cast<double>(length));
    }
    // The nearest whole pitch when the row still fits at it, else the one below the column.
    int cell = std::max(fontWidth, roundToInt(style.unit / m));
    if (closeUp && length * m * cell > printable) cell = std::max(fontWidth, static_cast<int>(style.unit / m));
    style.pitch = m * std::min(cell, fontWidth + 255);
    return style;
}

class Encoder {
public:
    Encoder(const Document& document, const EscPosProfile& profile, PictureRasterizer* pictures)
        : document_(document), profile_(profile), pictures_(pictures), printable_(profile.printableDots()) {
        double layoutMm = document.paperWidthMm;
        if (!(layoutMm > 0) || !std::isfinite(layoutMm)) layoutMm = profile.layoutRollMm();
        dotsPerTwip_ = printable_ / (layoutMm * kTwipsPerMm);
        kind_ = claseDocumento(document.kind);
    }

    QByteArray encode() {
        out_.reserve(4096);
        start();
        const bool red = profile_.redCancellations && kind_ == ClaseDocumento::Anulacion;
        if (red) out_.append(command::printColour(true));

        QList<const DocumentPicture*> pending;
        for (const DocumentPicture& picture : document_.pictures) pending.append(&picture);
        std::stable_sort(pending.begin(), pending.end(),
                         [](const DocumentPicture* a, const DocumentPicture* b) { return a->y < b->y; });
        qsizetype nextPicture = 0;

        qsizetype rows = document_.rows.size();
        while (rows > 0 && isFiller(document_.rows.at(rows - 1).text)) --rows;
        double top = 0;
        for (qsizetype i = 0; i < rows; ++i) {
            const DocumentRow& row = document_.rows.at(i);
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

        if (red) out_.append(command::printColour(false));
        if (profile_.hasCutter) {
            out_.append(command::feedAndPartialCut(kBottomMarginDots));
        } else {
            feed(kBottomMarginDots + kTearBarDots);
        }
        if (kind_ == ClaseDocumento::Comanda || kind_ == ClaseDocumento::Anulacion) sound();
        return out_;
    }

private:
    int dots(double twips) const { return roundToInt(twips * dotsPerTwip_); }

    // Nothing of the printer's own start-up state is trusted: its switches may have chosen a
    // country's character set, a Chinese/Kanji mode or another motion unit.
    void start() {
        out_.append(command::kInitialize);
        if (profile_.sends(StartCommand::CharacterSet)) out_.append(command::characterSetUsa());
        if (profile_.sends(StartCommand::KanjiOff)) out_.append(command::kanjiOff());
        out_.append(command::selectCodePage(codePageNumber(profile_.codePage)));
        if (profile_.sends(StartCommand::MotionUnits)) {
            const int dotsPerInch = static_cast<int>(EscPosProfile::kDotsPerInch);
            out_.append(command::motionUnits(dotsPerInch, dotsPerInch));
        }
    }

    // After the cut, so that the kitchen hears a ticket that is ready to take.
    void sound() {
        switch (profile_.buzzer) {
            case Buzzer::None:
                return;
            case Buzzer::Builtin:
                out_.append(command::buzzer(kBeeps, kBeepFiftyMs));
                return;
            case Buzzer::Drawer:
                out_.append(command::drawerPulse(5, kBellMs, kBellMs));
                return;
        }
    }

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
        const double advance = std::min(
            font_metric::characterAdvance(row.font.name, row.font.size) * dotsPerTwip_, static_cast<double>(printable_));
        if (!(advance > 0)) {
            printLine({}, RowStyle(), row.font.bold, lineDots);
            return;
        }

        QString text = row.text.left(length);
        if (isDivider(text)) {
            // As many rule characters as the paper takes at the row's own pitch.
            const RowStyle style = styleFor(row.font.size, advance, exactLineDots, length, printable_, false);
            text.truncate(std::min(length, style.columnsIn(printable_)));
            printLine(text, style, row.font.bold, lineDots);
            return;
        }
        const RowStyle style = styleFor(row.font.size, advance, exactLineDots, length, printable_, true);
        if (length * style.glyphWidth() <= printable_) {
            printLine(text, style, row.font.bold, lineDots);
            return;
        }
        // Too long even with the columns closed up to the glyph: the row goes on below.
        const QStringList pieces = breakBetweenWords(text, style.columnsIn(printable_));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0) shift_ += lineDots;
            printLine(pieces.at(i), style, row.font.bold, lineDots);
        }
    }

    // One line of paper: each word at its column, its characters a pitch apart, then the feed to
    // the next line's top. A word starts at least a glyph per blank after the one before, so words
    // never run together and nothing moves back. A glyph taller than the line takes the room it
    // needs, and what follows moves down.
    void printLine(const QString& text, const RowStyle& style, bool bold, int lineDots) {
        int line = lineDots;
        if (!text.isEmpty()) {
            setStyle(style, bold);
            if (style.glyphHeight() > line) {
                shift_ += style.glyphHeight() - line;
                line = style.glyphHeight();
            }
        }
        setLineSpacing(std::min(line, 255));
        int x = 0;
        int blanks = 0;
        bool wordStarts = true;
        for (qsizetype column = 0; column < text.size(); ++column) {
            const QChar unit = text.at(column);
            if (unit == u' ') {
                ++blanks;
                wordStarts = true;
                continue;
            }
            if (wordStarts) {
                const int start = std::max(style.columnStart(column), x + blanks * style.glyphWidth());
                moveTo(x, start, style.pitch);
                x = start;
                blanks = 0;
            }
            // A character outside the basic plane takes two columns and prints as one '?'; what
            // follows it is placed by its own column again.
            const bool pair = unit.isHighSurrogate() && column + 1 < text.size() && text.at(column + 1).isLowSurrogate();
            out_.append(pair ? '?' : encodeCharacter(unit, profile_.codePage));
            if (pair) ++column;
            wordStarts = pair;
            x += style.pitch;
        }
        out_.append(command::kLineFeed);
        paperY_ += std::min(line, 255);
        feed(line - 255);
    }

    // Forward only: blanks for a short move by whole cells, ESC $ for the rest.
    void moveTo(int x, int target, int pitch) {
        const int gap = target - x;
        if (gap <= 0) return;
        if (gap % pitch == 0 && gap / pitch <= kMaxBlankMove) {
            out_.append(QByteArray(gap / pitch, ' '));
        } else {
            out_.append(command::absolutePosition(target));
        }
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
        if (style.spacing() != spacing_) {
            out_.append(command::rightSpacing(style.spacing()));
            spacing_ = style.spacing();
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
    std::optional<ClaseDocumento> kind_;
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

QStringList EscPosProfile::describe() const {
    const auto yesNo = [](bool yes) { return yes ? QStringLiteral("sí") : QStringLiteral("no"); };
    QString codes = QStringLiteral("WPC1252");
    if (codePage == CodePage::PC858) codes = QStringLiteral("PC858");
    if (codePage == CodePage::PC850) codes = QStringLiteral("PC850");
    QString buzzerText = QStringLiteral("no");
    if (buzzer == Buzzer::Builtin) buzzerText = QStringLiteral("sí");
    if (buzzer == Buzzer::Drawer) buzzerText = QStringLiteral("en el conector del cajón");
    QStringList lines{QStringLiteral("Rollo: %1 mm, %2 puntos").arg(rollMm).arg(printableDots()),
                      QStringLiteral("Códigos: ") + codes, QStringLiteral("Cortador: ") + yesNo(hasCutter),
                      QStringLiteral("Zumbador: ") + buzzerText,
                      QStringLiteral("Anulaciones en rojo: ") + yesNo(redCancellations)};
    QStringList left;
    if (!sends(StartCommand::CharacterSet)) left << QStringLiteral("ESC R");
    if (!sends(StartCommand::KanjiOff)) left << QStringLiteral("FS .");
    if (!sends(StartCommand::MotionUnits)) left << QStringLiteral("GS P");
    if (!left.isEmpty()) lines << QStringLiteral("Omite: ") + left.join(QStringLiteral(", "));
    return lines;
}

QByteArray encodeEscPos(const Document& document, const EscPosProfile& profile, PictureRasterizer* pictures) {
    return Encoder(document, profile, pictures).encode();
}

}  // namespace kelmora::paper::escpos
