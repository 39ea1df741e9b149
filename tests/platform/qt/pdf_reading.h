#pragma once

// Reading a painted PDF back with poppler's tools, as a person checking the paper would, and the
// graphical application that painting needs.
#include "json/qt_printers.h"
#include "printing/document/document.h"
#include "printing/document/font_metric.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QList>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace kelmora::testing {

// Fonts, and so painting, need a QGuiApplication; it runs off screen, with no display.
class GuiApplicationEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    void TearDown() override { application_.reset(); }

private:
    int argc_ = 1;
    char name_[8] = "kelmora";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> application_;
};

inline ::testing::Environment* const kGuiApplication =
    ::testing::AddGlobalTestEnvironment(new GuiApplicationEnvironment);

// Runs a tool on the PDF and gives what it wrote; an empty text (and a test failure) when the tool
// is missing or fails.
inline QString pdfTool(const QString& program, QStringList arguments, const QByteArray& pdf) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("document.pdf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return {};
    }
    file.close();
    arguments << path;
    if (program == u"pdftotext") arguments << QStringLiteral("-");
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed: " << process.errorString().toStdString() << " "
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text in physical layout. The reader's own guess of the character pitch may read a gap of one
// column as none where rows of many sizes share a page; a pitch below the narrowest column the
// tickets print (Courier 17 CPI at 7 points is 2.96 points) keeps every gap a blank.
constexpr double kReadingPitchPoints = 2;

inline QString pdfText(const QByteArray& pdf) {
    return pdfTool(QStringLiteral("pdftotext"),
                   {QStringLiteral("-layout"), QStringLiteral("-fixed"), QString::number(kReadingPitchPoints)}, pdf);
}

// The non-empty lines of a text, each trimmed and with every run of blanks made one blank: what
// survives of a row through text extraction, which may widen or narrow the gaps between words.
inline QStringList collapsedLines(const QString& text) {
    static const QRegularExpression blanks(QStringLiteral(" {2,}"));
    QStringList lines;
    for (QString line : text.split(u'\n')) {
        line.remove(u'\f');
        line = line.trimmed();
        line.replace(blanks, QStringLiteral(" "));
        if (!line.isEmpty()) lines.append(line);
    }
    return lines;
}

// A word as the reader places it: its box in points from the page's top-left corner.
struct PdfWord {
    QString text;
    double xMin = 0;
    double yMin = 0;
    double xMax = 0;
    double yMax = 0;
};

inline QList<PdfWord> pdfWords(const QByteArray& pdf) {
    static const QRegularExpression word(QStringLiteral(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*)</word>)re"));
    QList<PdfWord> words;
    const QString html = pdfTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox")}, pdf);
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        QString text = match.captured(5);
        text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
            .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        words.append(PdfWord{text, match.captured(1).toDouble(), match.captured(2).toDouble(),
                             match.captured(3).toDouble(), match.captured(4).toDouble()});
    }
    return words;
}

// How far a word read back may be from where the metric puts it, in points: far below a column.
constexpr double kPlacementTolerance = 0.05;

// Every word of the document's rows, read back at its place: from the left edge of its first
// column to the right edge of its last, in the advance of its row's font, on its row's line.
// Gives one line per word that is missing or misplaced, and per word read back that no row holds.
inline QStringList placementFaults(const paper::Document& document, const QList<PdfWord>& read) {
    QStringList faults;
    QList<bool> used(read.size(), false);
    double top = 0;
    int rowNumber = 0;
    for (const paper::DocumentRow& row : document.rows) {
        ++rowNumber;
        const double height = paper::font_metric::lineHeight(row.font.size) / 20;
        const double advance = paper::font_metric::characterAdvance(row.font.name, row.font.size) / 20;
        qsizetype column = 0;
        while (column < row.text.size()) {
            if (row.text.at(column) == u' ') {
                ++column;
                continue;
            }
            qsizetype end = column;
            while (end < row.text.size() && row.text.at(end) != u' ') ++end;
            const QString text = row.text.mid(column, end - column);
            const double xMin = static_cast<double>(column) * advance;
            const double xMax = static_cast<double>(end) * advance;
            bool found = false;
            for (qsizetype i = 0; i < read.size() && !found; ++i) {
                const PdfWord& w = read.at(i);
                const double middle = (w.yMin + w.yMax) / 2;
                if (used.at(i) || w.text != text || middle < top || middle > top + height) continue;
                if (std::abs(w.xMin - xMin) > kPlacementTolerance) continue;
                found = true;
                used[i] = true;
                if (std::abs(w.xMax - xMax) > kPlacementTolerance) {
                    faults << QStringLiteral("row %1: \"%2\" ends at %3 pt, not %4")
                                  .arg(rowNumber).arg(text).arg(w.xMax).arg(xMax);
                }
            }
            if (!found) {
                faults << QStringLiteral("row %1: \"%2\" not found at %3 pt on the line from %4 pt")
                              .arg(rowNumber).arg(text).arg(xMin).arg(top);
            }
            column = end;
        }
        top += height;
    }
    for (qsizetype i = 0; i < read.size(); ++i) {
        if (!used.at(i)) faults << QStringLiteral("\"%1\" read back at %2 pt is in no row").arg(read.at(i).text).arg(read.at(i).xMin);
    }
    return faults;
}

}  // namespace kelmora::testing
