#include "printing/escpos/escpos_interpreter.h"

#include "printing/escpos/code_pages.h"
#include "printing/escpos/escpos_commands.h"
#include "printing/escpos/escpos_profile.h"

#include <algorithm>
#include <initializer_list>
#include <utility>
#include <cmath>
#include <optional>
#include <cstring>

namespace kelmora::paper::escpos {

namespace {

// The line spacing after ESC @ and ESC 2: about 1/6 inch.
constexpr int kDefaultLineSpacing = 30;
// What an international character set other than the USA's changes.
constexpr char kNationalCharacters[] = "#$@[\\]^`{|}~";
constexpr qint64 kMaxPaperDots = 1 << 30;

class Interpreter {
public:
    Interpreter(const QByteArray& bytes, int dotsPerLine, const PrinterStart& start) : in_(bytes), start_(start) {
        paper_.dotsPerLine = std::max(1, dotsPerLine);
        resetState();
    }

    EscPosPaper run() {
        while (at_ < in_.size()) step();
        flushLine();
        paper_.length = y_;
        return std::move(paper_);
    }

private:
    int byteAt(qsizetype i) const { return static_cast<unsigned char>(in_.at(i)); }
    bool has(qsizetype count) const { return in_.size() - at_ >= count; }

    void unknown(qsizetype count) {
        count = std::min(count, in_.size() - at_);
        paper_.unknown.append(UnknownBytes{at_, in_.mid(at_, count)});
        at_ += count;
    }

    // A command of `length` bytes in all; false (and the rest recorded) when the data ends first.
    bool take(qsizetype length) {
        if (has(length)) return true;
        unknown(in_.size() - at_);
        return false;
    }

    void step() {
        const int byte = byteAt(at_);
        if (byte == command::kEsc) return escape();
        if (byte == command::kGs) return groupSeparator();
        if (byte == command::kFs) return fileSeparator();
        if (byte == command::kLineFeed) {
            ++at_;
            flushLine();
            feedBy(lineSpacing_);
            return;
        }
        if (byte == command::kCarriageReturn) {
            ++at_;  // without automatic line feed a carriage return does nothing
            return;
        }
        if (byte < 0x20 || byte == 0x7F) return unknown(1);
        ++at_;
        if (kanji_ && byte >= 0x80) {
            // A two-byte character of the Chinese/Kanji set, none of ours.
            if (at_ < in_.size()) ++at_;
            return print(QChar(QChar::ReplacementCharacter));
        }
        if (characterSet_ != 0 && byte < 0x80 && std::strchr(kNationalCharacters, byte) != nullptr) {
            return print(QChar(QChar::ReplacementCharacter));
        }
        // Without ESC t the printer is on a page of its own, which is none of ours.
        print(page_ || byte < 0x80 ? decodeByte(static_cast<unsigned char>(byte), page_.value_or(CodePage::WPC1252))
                                   : QChar(QChar::ReplacementCharacter));
    }

    void fileSeparator() {
        if (!take(2)) return;
        const int code = byteAt(at_ + 1);
        if (code != '.' && code != '&') return unknown(2);
        kanji_ = code == '&';
        at_ += 2;
    }

    int across(int units) const { return static_cast<int>(std::lround(units * dotsPerUnitX_)); }
    int down(int units) const { return static_cast<int>(std::lround(units * dotsPerUnitY_)); }

    void escape() {
        if (!take(2)) return;
        const int code = byteAt(at_ + 1);
        const auto parameter = [&](int& n) {
            if (!take(3)) return false;
            n = byteAt(at_ + 2);
            at_ += 3;
            return true;
        };
        int n = 0;
        switch (code) {
            case '@':
                at_ += 2;
                line_.clear();
                x_ = 0;
                resetState();
                return;
            case '2':
                at_ += 2;
                lineSpacing_ = kDefaultLineSpacing;
                return;
            case 't':
                if (parameter(n)) {
                    CodePage page = CodePage::WPC1252;
                    page_ = codePageFromNumber(n, &page) ? std::optional(page) : std::nullopt;
                }
                return;
            case '!':
                if (parameter(n)) {
                    fontB_ = (n & 0x01) != 0;
                    bold_ = (n & 0x08) != 0;
                    heightMagnification_ = (n & 0x10) != 0 ? 2 : 1;
                    widthMagnification_ = (n & 0x20) != 0 ? 2 : 1;
                }
                return;
            case 'M':
                if (parameter(n)) fontB_ = (n & 0x01) != 0;
                return;
            case 'E':
                if (parameter(n)) bold_ = (n & 0x01) != 0;
                return;
            case 'r':
                if (parameter(n)) red_ = (n & 0x01) != 0;
                return;
            case 'R':
                if (parameter(n)) characterSet_ = n;
                return;
            case 'B':
                if (!take(4)) return;
                ++paper_.beeps;
                at_ += 4;
                return;
            case '(':
                return escapeParenthesis();
            case ' ':
                if (parameter(n)) spacing_ = across(n);
                return;
            case '3':
                if (parameter(n)) lineSpacing_ = down(n);
                return;
            case 'a':
                if (parameter(n)) justification_ = n % 48;  // 0..2 and '0'..'2' alike
                return;
            case 'd':
                if (parameter(n)) {
                    flushLine();
                    feedBy(n * lineSpacing_);
                }
                return;
            case 'J':
                if (parameter(n)) {
                    flushLine();
                    feedBy(down(n));
                }
                return;
            case '$':
                if (!take(4)) return;
                n = across(byteAt(at_ + 2) | (byteAt(at_ + 3) << 8));
                at_ += 4;
                // A position past the edge is ignored, as the printer does.
                if (n < paper_.dotsPerLine) moveTo(n);
                return;
            case 'p':
                if (!take(5)) return;
                paper_.pulses.append(
                    DrawerPulse{(byteAt(at_ + 2) & 0x01) != 0 ? 5 : 2, byteAt(at_ + 3) * 2, byteAt(at_ + 4) * 2});
                at_ += 5;
                return;
            case '\\':
                // Relative position, two's complement for leftwards.
                if (!take(4)) return;
                n = across(static_cast<qint16>(byteAt(at_ + 2) | (byteAt(at_ + 3) << 8)));
                at_ += 4;
                if (x_ + n >= 0 && x_ + n < paper_.dotsPerLine) moveTo(x_ + n);
                return;
            default:
                skipUndrawn(code, {{'-', 1}, {'G', 1}, {'V', 1}, {'{', 1}, {'U', 1}, {'c', 2}});
        }
    }

    void moveTo(int x) {
        if (x < x_) ++paper_.backwardMoves;
        x_ = x;
    }

    // ESC ( A pL pH ...: the buzzer of some printers, its parameters counted by pL pH.
    void escapeParenthesis() {
        if (!take(5)) return;
        const qsizetype length = 5 + (byteAt(at_ + 3) | (byteAt(at_ + 4) << 8));
        if (byteAt(at_ + 2) != 'A') return unknown(std::min(length, in_.size() - at_));
        if (!take(length)) return;
        ++paper_.beeps;
        at_ += length;
    }

    // A command that changes nothing the paper model draws (underline, rotation, barcode settings
    // ...): listed with its parameters, so that they do not print as text. Others: the two bytes.
    void skipUndrawn(int code, std::initializer_list<std::pair<char, int>> parameterCounts) {
        for (const auto& [known, count] : parameterCounts) {
            if (code == known) return unknown(2 + count);
        }
        unknown(2);
    }

    void groupSeparator() {
        if (!take(2)) return;
        const int code = byteAt(at_ + 1);
        if (code == '!') {
            if (!take(3)) return;
            const int n = byteAt(at_ + 2);
            widthMagnification_ = ((n >> 4) & 0x07) + 1;
            heightMagnification_ = (n & 0x07) + 1;
            at_ += 3;
            return;
        }
        if (code == 'V') return cut();
        if (code == 'v') return raster();
        if (code == 'P') {
            if (!take(4)) return;
            // 0 keeps the printer's own unit.
            if (const int x = byteAt(at_ + 2); x > 0) dotsPerUnitX_ = EscPosProfile::kDotsPerInch / x;
            if (const int y = byteAt(at_ + 3); y > 0) dotsPerUnitY_ = EscPosProfile::kDotsPerInch / y;
            at_ += 4;
            return;
        }
        skipUndrawn(code, {{'B', 1}, {'H', 1}, {'f', 1}, {'h', 1}, {'w', 1}, {'a', 1}, {'L', 2}, {'W', 2}});
    }

    void cut() {
        if (!take(3)) return;
        const int mode = byteAt(at_ + 2);
        // Full cuts are the even modes of each pair, partial ones the odd: 0/1, 48/49, 65/66 ...
        const bool withFeed = mode == 65 || mode == 66 || mode == 97 || mode == 98 || mode == 103 || mode == 104;
        const bool plain = mode == 0 || mode == 1 || mode == 48 || mode == 49;
        if (!withFeed && !plain) return unknown(3);
        const bool partial = mode == 1 || mode == 49 || mode == 66 || mode == 98 || mode == 104;
        int feed = 0;
        if (withFeed) {
            if (!take(4)) return;
            feed = byteAt(at_ + 3);
        }
        at_ += withFeed ? 4 : 3;
        flushLine();
        feedBy(down(feed));
        paper_.cuts.append(PaperCut{y_, partial});
    }

    void raster() {
        if (!take(8) || byteAt(at_ + 2) != '0') {
            if (at_ < in_.size()) unknown(2);
            return;
        }
        const int bytesPerRow = byteAt(at_ + 4) | (byteAt(at_ + 5) << 8);
        const int height = byteAt(at_ + 6) | (byteAt(at_ + 7) << 8);
        const qsizetype start = at_;
        at_ += 8;
        const qsizetype wanted = static_cast<qsizetype>(bytesPerRow) * height;
        const qsizetype available = std::min(wanted, in_.size() - at_);
        flushLine();
        // Data cut short prints the rows that arrived.
        const int rows = bytesPerRow == 0 ? 0 : static_cast<int>(available / bytesPerRow);
        if (available < wanted) paper_.unknown.append(UnknownBytes{start, in_.mid(start, 8)});
        if (rows > 0) {
            PaperRaster image{0, y_, MonochromeRaster{bytesPerRow * 8, rows, in_.mid(at_, qsizetype{bytesPerRow} * rows)}};
            paper_.rasters.append(std::move(image));
            feedBy(rows);
        }
        at_ += available;
    }

    // Hostile data may feed kilometres; the count stops well before it could overflow.
    void feedBy(int dots) { y_ = static_cast<int>(std::min<qint64>(qint64{y_} + dots, kMaxPaperDots)); }

    void resetState() {
        kanji_ = start_.kanji;
        characterSet_ = start_.characterSet;
        dotsPerUnitX_ = EscPosProfile::kDotsPerInch / std::max(1, start_.motionUnitsX);
        dotsPerUnitY_ = EscPosProfile::kDotsPerInch / std::max(1, start_.motionUnitsY);
        red_ = false;
        page_.reset();
        fontB_ = false;
        bold_ = false;
        widthMagnification_ = 1;
        heightMagnification_ = 1;
        spacing_ = 0;
        lineSpacing_ = kDefaultLineSpacing;
        justification_ = 0;
    }

    void print(QChar character) {
        const PrinterFontSize& font = fontB_ ? kFontB : kFontA;
        const int glyph = widthMagnification_ * font.width;
        const int cell = widthMagnification_ * (font.width + spacing_);
        // A character that does not fit goes to the next line.
        if (x_ > 0 && x_ + glyph > paper_.dotsPerLine) {
            flushLine();
            feedBy(lineSpacing_);
        }
        if (character == u' ') {
            // A blank moves on by its cell and leaves no ink.
            x_ = std::min(x_ + cell, paper_.dotsPerLine);
            return;
        }
        if (line_.isEmpty() || line_.last().font != (fontB_ ? PrinterFont::B : PrinterFont::A) ||
            line_.last().bold != bold_ || line_.last().red != red_ ||
            line_.last().widthMagnification != widthMagnification_ ||
            line_.last().heightMagnification != heightMagnification_) {
            PaperTextRow row;
            row.font = fontB_ ? PrinterFont::B : PrinterFont::A;
            row.bold = bold_;
            row.red = red_;
            row.widthMagnification = widthMagnification_;
            row.heightMagnification = heightMagnification_;
            line_.append(row);
        }
        line_.last().glyphs.append(PaperGlyph{character, x_, cell});
        x_ = std::min(x_ + cell, paper_.dotsPerLine);
    }

    // Prints what the line holds at the current height; the caller feeds.
    void flushLine() {
        if (!line_.isEmpty()) {
            int shift = 0;
            if (justification_ == 1 || justification_ == 2) {
                int end = 0;
                for (const PaperTextRow& row : line_) {
                    for (const PaperGlyph& glyph : row.glyphs) end = std::max(end, glyph.x + glyph.advance);
                }
                const int free = std::max(0, paper_.dotsPerLine - end);
                shift = justification_ == 1 ? free / 2 : free;
            }
            for (PaperTextRow& row : line_) {
                row.y = y_;
                row.lineHeight = lineSpacing_;
                for (PaperGlyph& glyph : row.glyphs) glyph.x += shift;
                paper_.rows.append(std::move(row));
            }
            line_.clear();
        }
        x_ = 0;
    }

    const QByteArray& in_;
    const PrinterStart start_;
    qsizetype at_ = 0;
    EscPosPaper paper_;

    bool kanji_ = false;
    int characterSet_ = 0;
    double dotsPerUnitX_ = 1;
    double dotsPerUnitY_ = 1;
    bool red_ = false;
    std::optional<CodePage> page_;
    bool fontB_ = false;
    bool bold_ = false;
    int widthMagnification_ = 1;
    int heightMagnification_ = 1;
    int spacing_ = 0;
    int lineSpacing_ = kDefaultLineSpacing;
    int justification_ = 0;
    int x_ = 0;
    int y_ = 0;
    QList<PaperTextRow> line_;
};

}  // namespace

int PaperTextRow::glyphWidth() const { return widthMagnification * (font == PrinterFont::B ? kFontB : kFontA).width; }

int PaperTextRow::glyphHeight() const {
    return heightMagnification * (font == PrinterFont::B ? kFontB : kFontA).height;
}

QString PaperTextRow::text() const {
    QList<PaperGlyph> ordered = glyphs;
    std::stable_sort(ordered.begin(), ordered.end(), [](const PaperGlyph& a, const PaperGlyph& b) { return a.x < b.x; });
    QString out;
    int next = 0;
    int cell = ordered.isEmpty() ? 1 : std::max(1, ordered.first().advance);
    for (const PaperGlyph& glyph : ordered) {
        const int gap = glyph.x - next;
        if (gap > 0) out += QString(static_cast<qsizetype>(std::lround(static_cast<double>(gap) / cell)), u' ');
        out += glyph.character;
        next = glyph.x + glyph.advance;
        cell = std::max(1, glyph.advance);
    }
    return out;
}

EscPosPaper interpretEscPos(const QByteArray& bytes, int dotsPerLine, const PrinterStart& start) {
    return Interpreter(bytes, dotsPerLine, start).run();
}

}  // namespace kelmora::paper::escpos
