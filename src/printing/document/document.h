#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

namespace kelmora::paper {

struct FontState {
    QString name = QStringLiteral("default");
    double size = 10;
    bool bold = false;
    bool italic = false;  // the second style flag; tickets only ever switch it off

    bool operator==(const FontState&) const = default;
};

// A picture file loaded by its content, with its size in hundredths of a millimetre.
struct Picture {
    QByteArray bytes;
    int widthHimetric = 0;
    int heightHimetric = 0;
};

// One printed row of character cells, in the font it was printed in.
struct DocumentRow {
    FontState font;
    QString text;
};

// A picture painted at a position and size in twips from the top-left corner of the page.
struct DocumentPicture {
    FontState font;
    Picture picture;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// A document as the printer received it: rows in print order and pictures, ready for a backend
// to put on paper (a text preview, a PDF, a print queue).
struct Document {
    QString kind;  // what the document is, for the job's name
    double paperWidthMm = 0;  // the roll it is meant for; 0 when nobody said, and paper backends use their own
    QList<DocumentRow> rows;
    QList<DocumentPicture> pictures;
};

}  // namespace kelmora::paper
