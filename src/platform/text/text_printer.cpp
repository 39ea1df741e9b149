#include "platform/text/text_printer.h"

#include <QLocale>

namespace kelmora::platform {

using paper::Document;
using paper::DocumentRow;

QString renderText(const Document& document, bool withFonts) {
    QString out;
    for (const DocumentRow& row : document.rows) {
        QString line;
        if (withFonts) {
            line = u'[' + row.font.name + u' ' +
                   QLocale::c().toString(row.font.size, 'g', QLocale::FloatingPointShortest) +
                   (row.font.bold ? QStringLiteral(" B] ") : QStringLiteral("] "));
        }
        line += row.text;
        while (line.endsWith(u' ')) line.chop(1);
        out += line + u'\n';
    }
    return out;
}

}  // namespace kelmora::platform
