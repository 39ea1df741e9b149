#pragma once

// The service's settings file, written by hand by the technician who installs the branch:
//
//   ; kelmora.ini, in the program folder. Comments start with ; (also after a value) or #.
//   [General]                ; the settings of the service
//   servidor=https://central.example.com   ; the central server (the command line's --server wins)
//   dias_trabajos=7          ; days the journal of documents keeps them (1..366)
//   espera_papel=60          ; seconds a sent document may wait in a queue that reports a problem
//                            ; before it counts as not printed (5..3600)
//   vencimiento_comanda=20   ; minutes after which a kitchen order or cancellation that no printer
//                            ; took is no longer printed by itself (1..1440)
//   predeterminada=Facturas  ; the default printer (invoices, fallback) when it should not be
//                            ; the system's default
//
//   [Cocina]                 ; a print queue, by its name or its description (e.g. [Barra 1]),
//                            ; without regard to case and blanks at the ends
//   salida=escpos            ; escpos, pdf or automatica (default: automatica: queues without a
//                            ; driver get ESC/POS, queues with a driver get PDF)
//   rollo=80                 ; 58 or 80 (default: the roll of the document, 55 mm on 58, 75 mm on 80)
//   puntos=576               ; dots per line the head reaches, 200..1000
//                            ; (default: 576 on 80 mm, 384 on 58 mm)
//   codigos=WPC1252          ; WPC1252, PC858 or PC850 (default WPC1252), any case
//   cortador=si              ; si or no (default si); also sí, true/false, 1/0
//   omitir=FS .              ; start commands this printer prints as garbage, left out: ESC R
//                            ; (character set), FS . (Chinese/Kanji mode off), GS P (motion
//                            ; units), separated by commas (default: none, all are sent)
//   zumbador=si              ; after each kitchen ticket and cancellation: si (the buzzer of the
//                            ; common kitchen printers, ESC B), cajon (a bell or buzzer on the
//                            ; drawer connector's pin 5) or no (default no)
//   color=rojo               ; rojo: cancellations in red on a two-colour printer (default negro)
//   conexion=socket://192.168.1.50   ; the receipt printer itself, not a CUPS queue: TCP
//                            ; (socket://HOST[:PORT], port 9100 by default) or the USB printer
//                            ; device (/dev/usb/lp0); it gets ESC/POS, status read and confirmed
//   estado=no                ; the printer cannot report its status (no return channel): what
//                            ; was sent counts as printed (default si)
//
// The file is UTF-8 text (with or without a byte order mark). Key names and values are read
// without regard to case. A value that is not valid keeps that key's default, and the rest of the
// section still applies; each one, each unknown key and each line that is neither a section, a
// key=value nor a comment is one line on the console.
//
// The receipt printer's profile is read here as plain fields: its declaration alone, so
// kelmora_platform does not link the encoder (kelmora_escpos).

#include "printing/escpos/escpos_profile.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace kelmora::platform {

inline const QString kSettingsFileName = QStringLiteral("kelmora.ini");

// Automatic: raw queues get ESC/POS, queues with a driver get PDF.
enum class PrinterOutput { Automatic, EscPos, Pdf };

struct PrinterSettings {
    PrinterOutput output = PrinterOutput::Automatic;
    // Roll, dots per line, code page, cutter, start commands left out, buzzer and colour for
    // ESC/POS output.
    paper::escpos::EscPosProfile escpos;
    // The file names the roll; otherwise a receipt printer prints on the roll the document was
    // laid out for (55 mm on a 58 mm roll, 75 mm on an 80 mm one).
    bool rollSet = false;
    // How to reach the receipt printer itself (socket://HOST[:PORT] or a device path); empty: a
    // CUPS queue.
    QString connection;
    // False: it has no return channel, nothing is asked of it.
    bool answersStatus = true;
};

// A printer reached directly, under its section's name as written.
struct DirectPrinterSettings {
    QString name;
    PrinterSettings settings;
};


// An address of the central server: http or https, a host, an optional port.
bool isServerAddress(const QString& address);

// The service's own settings, in [General].
struct ServiceSettings {
    std::optional<QString> server;         // servidor, when it is a server address
    int journalDays = 7;                   // dias_trabajos, 1..366
    std::chrono::seconds paperWait{60};    // espera_papel, 5..3600
    std::chrono::minutes orderExpiry{20};  // vencimiento_comanda, 1..1440
    QString defaultPrinter;                // predeterminada; empty: the system's default
};

class SettingsFile {
public:
    // Reads the INI file at `path`. A missing file means the defaults, silently. An unreadable file,
    // one that is not a regular file, not text (control bytes), or larger than kMaxBytes means the
    // defaults and one problem line. Each bad value (or unknown key) is one problem line naming the
    // file, the section, the key and the value, and saying which default is used instead.
    // `serverInstead` is the server used when the file's servidor is not an address, named in its
    // problem line; without it (the command line names the server) a bad servidor goes unmentioned.
    static SettingsFile read(const QString& path, const std::optional<QString>& serverInstead = std::nullopt);
    static constexpr qint64 kMaxBytes = 1024 * 1024;
    // Past this many problem lines, one more line tells how many were left out, so that a broken
    // file cannot flood the console.
    static constexpr int kMaxProblems = 50;

    // The settings of the printer known by any of `names` (its queue name and its description),
    // compared without regard to case and blanks at the ends; the defaults when no section names it.
    // When several sections match, the one named by the earliest of `names` wins.
    PrinterSettings printer(const QStringList& names) const;

    const ServiceSettings& service() const { return service_; }
    // The printers reached directly: the sections with a conexion, as written.
    const QList<DirectPrinterSettings>& directPrinters() const { return directPrinters_; }

    // Spanish lines for the console, one per problem: those of the file's lines in file order, then
    // those of [General]'s values.
    const QStringList& problems() const;

private:
    QHash<QString, PrinterSettings> printers_;  // by section name, trimmed and case-folded
    QStringList problems_;
    ServiceSettings service_;
    QList<DirectPrinterSettings> directPrinters_;
};

}  // namespace kelmora::platform
