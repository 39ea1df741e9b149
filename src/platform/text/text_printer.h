#pragma once

#include "platform/virtual_printers.h"
#include "printing/document/document.h"

#include <QString>

namespace kelmora::platform {

// The text preview: virtual printers whose documents are read as a character grid, a column one
// character cell whatever the font. For tests, previews and support.
using TextPrinterSystem = VirtualPrinterSystem;

// The document as text: one line per printed row, trailing blanks removed, LF line ends. With
// `withFonts` each line begins with its font state, "[NAME SIZE] " or "[NAME SIZE B] ".
QString renderText(const paper::Document& document, bool withFonts);

}  // namespace kelmora::platform
