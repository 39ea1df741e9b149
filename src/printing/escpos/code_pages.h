#pragma once

#include <QChar>

namespace kelmora::paper::escpos {

// The character tables a receipt printer is switched to with ESC t n. The printer's own default
// after ESC @ is none of them, so every job names its page.
enum class CodePage {
    WPC1252,  // Windows Latin 1, ESC t 16: the one with € that most printers carry
    PC858,    // DOS Latin 1 with €, ESC t 19
    PC850,    // DOS Latin 1, ESC t 2: no €
};

// The n of ESC t n.
int codePageNumber(CodePage page);
// The page that ESC t n selects; false when the number is none of ours.
bool codePageFromNumber(int number, CodePage* page);

// The byte that prints `character` in the page: printable ASCII as itself, anything the page
// lacks, and every control character, as '?'. A printer must never see a byte from the data that
// it would take as a command.
char encodeCharacter(QChar character, CodePage page);

// The character a byte of text prints in the page; U+FFFD for a byte the page leaves undefined
// and for control bytes.
QChar decodeByte(unsigned char byte, CodePage page);

}  // namespace kelmora::paper::escpos
