#include "printing/document/printer_line.h"

namespace kelmora::paper {

PrinterLine& PrinterLine::text(QString text) {
    items_.append(Item{false, 0, std::move(text)});
    return *this;
}

PrinterLine& PrinterLine::number(const Decimal& number, const QLocale& locale) {
    const QString digits = number.abs().toText(locale);
    const QString sign = number.isNegative() ? locale.negativeSign() : QStringLiteral(" ");
    return text(sign + digits + u' ');
}

PrinterLine& PrinterLine::column(int column) {
    items_.append(Item{true, std::max(column, 1), {}});
    return *this;
}

QStringList PrinterLine::layOut() const {
    QStringList rows{QString()};
    for (const Item& item : items_) {
        QString& row = rows.last();
        if (!item.isColumn) {
            row += item.text;
            continue;
        }
        const qsizetype position = row.size() + 1;  // the 1-based column the next character takes
        if (item.column < position) {
            rows.append(QString(item.column - 1, u' '));
        } else {
            row += QString(item.column - position, u' ');
        }
    }
    return rows;
}

}  // namespace kelmora::paper
