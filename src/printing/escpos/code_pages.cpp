#include "printing/escpos/code_pages.h"

#include <array>

namespace kelmora::paper::escpos {

namespace {

using UpperHalf = std::array<char16_t, 128>;  // bytes 0x80..0xFF; 0 where the page has nothing

// Windows-1252 0x80..0x9F; from 0xA0 on it is Latin-1, the byte is the code point.
constexpr std::array<char16_t, 32> kWindows1252Low = {
    0x20AC, 0x0000, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x0000, 0x017D, 0x0000, 0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x0000, 0x017E, 0x0178};

constexpr UpperHalf kPc850 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0};

constexpr UpperHalf makeWindows1252() {
    UpperHalf table{};
    for (std::size_t i = 0; i < kWindows1252Low.size(); ++i) table[i] = kWindows1252Low[i];
    for (std::size_t i = kWindows1252Low.size(); i < table.size(); ++i) table[i] = static_cast<char16_t>(0x80 + i);
    return table;
}

// PC858 is PC850 with the euro in place of the dotless i.
constexpr UpperHalf makePc858() {
    UpperHalf table = kPc850;
    table[0xD5 - 0x80] = 0x20AC;
    return table;
}

constexpr UpperHalf kWindows1252 = makeWindows1252();
constexpr UpperHalf kPc858 = makePc858();

const UpperHalf& upperHalf(CodePage page) {
    switch (page) {
        case CodePage::PC858: return kPc858;
        case CodePage::PC850: return kPc850;
        case CodePage::WPC1252: break;
    }
    return kWindows1252;
}

bool isControl(char16_t unit) { return unit < 0x20 || unit == 0x7F; }

}  // namespace

int codePageNumber(CodePage page) {
    switch (page) {
        case CodePage::PC858: return 19;
        case CodePage::PC850: return 2;
        case CodePage::WPC1252: break;
    }
    return 16;
}

bool codePageFromNumber(int number, CodePage* page) {
    for (const CodePage candidate : {CodePage::WPC1252, CodePage::PC858, CodePage::PC850}) {
        if (codePageNumber(candidate) == number) {
            *page = candidate;
            return true;
        }
    }
    return false;
}

char encodeCharacter(QChar character, CodePage page) {
    const char16_t unit = character.unicode();
    if (unit < 0x80) return isControl(unit) ? '?' : static_cast<char>(unit);
    // The C1 controls are no characters either, and U+0000 marks the holes of the tables.
    if (unit < 0xA0) return '?';
    const UpperHalf& table = upperHalf(page);
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i] == unit) return static_cast<char>(0x80 + i);
    }
    return '?';
}

QChar decodeByte(unsigned char byte, CodePage page) {
    if (byte < 0x80) return isControl(byte) ? QChar(QChar::ReplacementCharacter) : QChar(byte);
    const char16_t unit = upperHalf(page)[byte - 0x80];
    return unit == 0 ? QChar(QChar::ReplacementCharacter) : QChar(unit);
}

}  // namespace kelmora::paper::escpos
