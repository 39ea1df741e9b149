#pragma once

#include "json/json_reader.h"
#include "platform/text/text_printer.h"
#include "printing/contexto_ticket.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace kelmora::testing {

// A balloon as the tray would have shown it.
struct Balloon {
    QString text;
    platform::BalloonIcon icon;
    QString title;
    int timeoutMs;
};

class RecordingNotifier final : public platform::Notifier {
public:
    void ShowBalloonTip(const QString& text, platform::BalloonIcon icon, const QString& title, int timeoutMs) override {
        balloons.push_back(Balloon{text, icon, title, timeoutMs});
    }
    std::vector<Balloon> balloons;
};

// Pictures of a given size, whatever the file: the logo arithmetic without image files.
class FakePictureLoader final : public platform::PictureLoader {
public:
    paper::Picture load(const QString& path) override;
    int widthHimetric = 13229;   // 500 px at 96 dpi
    int heightHimetric = 4868;   // 184 px
    bool fails = false;
    QStringList loaded;
};

// A whole print setup on virtual text printers: the fakes, the printer system, the print pieces
// and the ContextoTicket that the tickets print through. Locale en_US unless told otherwise, clock fixed.
struct PrintBench {
    explicit PrintBench(QStringList printers = {QStringLiteral("Facturas")}, QString defaultPrinter = {},
                        QLocale locale = QLocale(QLocale::English, QLocale::UnitedStates));

    RecordingNotifier notifier;
    FakePictureLoader pictures;
    platform::FixedClock clock{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9))};
    platform::TextPrinterSystem printers;
    ConfigImpresion config;
    SeleccionImpresora seleccion{printers, notifier};
    TextoTicket texto{seleccion, config};
    ContextoTicket impresion{config, seleccion, texto, notifier, clock, pictures, QStringLiteral(".")};

    // Replaces the settings list: pairs of name and value, all visible.
    void setSettings(const QList<std::pair<QString, QString>>& settings);
    // The text of every delivered document, in order, as "DEVICE\n<text>".
    QStringList documents(bool withFonts = false) const;
    // The text of the only delivered document (fails the test when there is not exactly one).
    QString onlyDocument(bool withFonts = false) const;
};

// Parses JSON that must be clean.
Value parseJson(const QString& json);

// A file under tests/data.
QString dataPath(const QString& relative);
QString readDataFile(const QString& relative);

// What of a text preview's lines a receipt printer's paper shows, to compare the two: each line's
// words one blank apart, a rule as its one character (one wider than the paper is cut to it), and
// without the lone "." a driver needs at the end, which the cut makes needless.
QStringList receiptLines(const QString& text);

}  // namespace kelmora::testing
