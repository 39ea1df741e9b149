#pragma once

#include "json/decimal.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

namespace kelmora::paper {

// A line for the printer, built of items printed one after the other: texts, numbers and moves
// to a 1-based character column of the current font.
class PrinterLine {
public:
    PrinterLine() = default;
    explicit PrinterLine(QString text) { this->text(std::move(text)); }

    PrinterLine& text(QString text);
    // A number gets a blank before it for the sign and one after it.
    PrinterLine& number(const Decimal& number, const QLocale& locale);
    // Below 1 means column 1. A column left of the current position continues on the next line.
    PrinterLine& column(int column);

    // The printed rows, each as text on the character grid (leading blanks place the items).
    // A line ends in at least one row; moves to the left add rows.
    QStringList layOut() const;

private:
    struct Item {
        bool isColumn = false;
        int column = 0;
        QString text;
    };
    QList<Item> items_;
};

}  // namespace kelmora::paper
