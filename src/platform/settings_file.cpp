#include "platform/settings_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

namespace kelmora::platform {

namespace {

using paper::escpos::CodePage;

constexpr int kMinDots = 200;
constexpr int kMaxDots = 1000;

QString fold(const QString& text) { return text.trimmed().toCaseFolded(); }

QString placeKey(const QString& section, const QString& key) { return fold(section) + u'\n' + fold(key); }

// A text file written by hand holds no control characters besides line ends, tabs and form feeds
// (and the Ctrl-Z that old editors leave at the end).
bool looksLikeText(const QByteArray& bytes) {
    return std::none_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' && byte != 0x1A;
    });
}

// Where each section's key sits in the file and the value as written, so that problems come out in
// file order and a value QSettings turned into something else is shown as the technician typed it.
// QSettings keeps neither.
struct Place {
    int line = 0;
    QString rawValue;
};

struct Problem {
    int line = INT_MAX;
    QString text;
};

// Also names the lines QSettings passes over: it only flags the whole file, and it flags comments
// that start with # as well.
QHash<QString, Place> placesInFile(const QString& fileName, QString text, std::vector<Problem>& problems) {
    QHash<QString, Place> places;
    QString section;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    const QStringList lines = text.split(u'\n');
    for (int index = 0; index < lines.size(); ++index) {
        const QString line = lines.at(index).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#')) continue;
        const auto badLine = [&](const QString& what) {
            problems.push_back({index, QStringLiteral("Línea no válida en %1, línea %2: %3: %4")
                                           .arg(fileName, QString::number(index + 1), line, what)});
        };
        if (line.startsWith(u'[')) {
            const qsizetype end = line.indexOf(u']');
            if (end < 0) badLine(QStringLiteral("falta el ]"));
            section = line.mid(1, end < 0 ? -1 : end - 1);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0) {
            badLine(QStringLiteral("se ignora"));
            continue;
        }
        QString value = line.mid(equals + 1);
        if (const qsizetype comment = value.indexOf(u';'); comment >= 0) value.truncate(comment);
        places.insert(placeKey(section, line.left(equals)), Place{index, value.trimmed()});
    }
    return places;
}

QString shownValue(const QVariant& value, const Place* place) {
    if (value.typeId() == QMetaType::QString) return value.toString();
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", "));
    return place != nullptr ? place->rawValue : value.toString();
}

std::optional<PrinterOutput> parseOutput(const QString& text) {
    const QString word = fold(text);
    if (word == u"escpos" || word == u"esc/pos") return PrinterOutput::EscPos;
    if (word == u"pdf") return PrinterOutput::Pdf;
    if (word == u"automatica" || word == u"automática") return PrinterOutput::Automatic;
    return std::nullopt;
}

std::optional<int> parseRoll(const QString& text) {
    QString word = fold(text);
    if (word.endsWith(u"mm")) word = word.chopped(2).trimmed();
    bool ok = false;
    const int roll = word.toInt(&ok);
    if (ok && (roll == 58 || roll == 80)) return roll;
    return std::nullopt;
}

std::optional<int> parseDots(const QString& text) {
    bool ok = false;
    const int dots = fold(text).toInt(&ok);
    if (ok && dots >= kMinDots && dots <= kMaxDots) return dots;
    return std::nullopt;
}

std::optional<CodePage> parseCodePage(const QString& text) {
    const QString word = fold(text);
    if (word == u"wpc1252") return CodePage::WPC1252;
    if (word == u"pc858") return CodePage::PC858;
    if (word == u"pc850") return CodePage::PC850;
    return std::nullopt;
}

std::optional<bool> parseYesNo(const QString& text) {
    const QString word = fold(text);
    if (word == u"si" || word == u"sí" || word == u"true" || word == u"1") return true;
    if (word == u"no" || word == u"false" || word == u"0") return false;
    return std::nullopt;
}

// omitir: the start commands a printer prints as garbage, by their names ("ESC R", "FS .", "GS P"),
// blanks and case aside; nullopt when one is none of them.
std::optional<unsigned> parseOmitted(const QString& text) {
    using paper::escpos::StartCommand;
    unsigned omitted = 0;
    for (const QString& item : text.split(u',', Qt::SkipEmptyParts)) {
        const QString name = fold(item).remove(u' ');
        if (name == u"escr") omitted |= static_cast<unsigned>(StartCommand::CharacterSet);
        else if (name == u"fs.") omitted |= static_cast<unsigned>(StartCommand::KanjiOff);
        else if (name == u"gsp") omitted |= static_cast<unsigned>(StartCommand::MotionUnits);
        else if (!name.isEmpty()) return std::nullopt;
    }
    return omitted;
}

std::optional<paper::escpos::Buzzer> parseBuzzer(const QString& text) {
    using paper::escpos::Buzzer;
    const QString word = fold(text);
    if (word == u"cajon" || word == u"cajón") return Buzzer::Drawer;
    if (const auto yes = parseYesNo(text)) return *yes ? Buzzer::Builtin : Buzzer::None;
    return std::nullopt;
}

std::optional<bool> parseRed(const QString& text) {
    const QString word = fold(text);
    if (word == u"rojo") return true;
    if (word == u"negro" || word == u"no") return false;
    return std::nullopt;
}

struct Entry {
    QString key;
    QString value;
    int line = INT_MAX;  // not found by the line scan: after the rest
};

struct Section {
    QString name;
    std::vector<Entry> entries;
};

QString invalidLine(const QString& fileName, const QString& section, const Entry& entry, const QString& fallback) {
    return QStringLiteral("Ajuste no válido en %1, [%2] %3=%4: se usa %5")
        .arg(fileName, section, entry.key, entry.value, fallback);
}

QString unreadableLine(const QString& fileName, const QString& reason) {
    return QStringLiteral("No se pudo leer %1 (%2): se usan los valores por defecto").arg(fileName, reason);
}

// Applies a section's keys in file order; a later key overrides an earlier one of the same name.
PrinterSettings applySection(const QString& fileName, const Section& section, std::vector<Problem>& problems) {
    PrinterSettings settings;
    std::vector<const Entry*> badDots;
    for (const Entry& entry : section.entries) {
        // A section without a name ([] in the file) names no printer: its keys are all ignored.
        const QString key = section.name.isEmpty() ? QString() : fold(entry.key);
        const auto invalid = [&](const QString& fallback) {
            problems.push_back({entry.line, invalidLine(fileName, section.name, entry, fallback)});
        };
        if (key == u"salida") {
            if (const auto output = parseOutput(entry.value)) settings.output = *output;
            else invalid(QStringLiteral("automatica"));
        } else if (key == u"rollo") {
            if (const auto roll = parseRoll(entry.value)) {
                settings.escpos.rollMm = *roll;
                settings.rollSet = true;
            } else {
                invalid(QStringLiteral("el del documento"));
            }
        } else if (key == u"puntos") {
            if (const auto dots = parseDots(entry.value)) settings.escpos.dotsPerLine = *dots;
            else badDots.push_back(&entry);  // its default depends on the roll, which may come later
        } else if (key == u"codigos") {
            if (const auto page = parseCodePage(entry.value)) settings.escpos.codePage = *page;
            else invalid(QStringLiteral("WPC1252"));
        } else if (key == u"cortador") {
            if (const auto cutter = parseYesNo(entry.value)) settings.escpos.hasCutter = *cutter;
            else invalid(QStringLiteral("sí"));
        } else if (key == u"omitir") {
            if (const auto omitted = parseOmitted(entry.value)) settings.escpos.omitted = *omitted;
            else invalid(QStringLiteral("ninguno (ESC R, FS . y GS P se envían)"));
        } else if (key == u"zumbador") {
            if (const auto buzzer = parseBuzzer(entry.value)) settings.escpos.buzzer = *buzzer;
            else invalid(QStringLiteral("no"));
        } else if (key == u"color") {
            if (const auto red = parseRed(entry.value)) settings.escpos.redCancellations = *red;
            else invalid(QStringLiteral("negro"));
        } else if (key == u"conexion" || key == u"conexión") {
            // Whether it names a printer is the direct printers' to say.
            settings.connection = entry.value.trimmed();
        } else if (key == u"estado") {
            if (const auto answers = parseYesNo(entry.value)) settings.answersStatus = *answers;
            else invalid(QStringLiteral("sí"));
        } else {
            problems.push_back({entry.line, QStringLiteral("Ajuste desconocido en %1, [%2] %3=%4: se ignora")
                                                .arg(fileName, section.name, entry.key, entry.value)});
        }
    }
    const QString usualDots = settings.escpos.rollMm == 58 ? QStringLiteral("384") : QStringLiteral("576");
    for (const Entry* entry : badDots)
        problems.push_back({entry->line, invalidLine(fileName, section.name, *entry, usualDots)});
    return settings;
}

// [General]'s whole numbers, with their bounds; a bad one keeps the default.
struct GeneralNumber {
    QString key;
    int minimum;
    int maximum;
};
const GeneralNumber kJournalDays{QStringLiteral("dias_trabajos"), 1, 366};
const GeneralNumber kPaperWait{QStringLiteral("espera_papel"), 5, 3600};
const GeneralNumber kOrderExpiry{QStringLiteral("vencimiento_comanda"), 1, 1440};
const QString kServerKey = QStringLiteral("servidor");
const QString kDefaultPrinterKey = QStringLiteral("predeterminada");

const QStringList kGeneralKeys{kServerKey, kJournalDays.key, kPaperWait.key, kOrderExpiry.key, kDefaultPrinterKey};

// `values` are [General]'s known keys as read, by folded key.
ServiceSettings readService(const QString& fileName, const QHash<QString, QString>& values,
                            const std::optional<QString>& serverInstead, QStringList& problems) {
    ServiceSettings service;
    if (const QString server = values.value(kServerKey); !server.isEmpty()) {
        if (isServerAddress(server)) {
            service.server = server;
        } else if (serverInstead) {
            problems.append(QStringLiteral("Ajuste no válido en %1, [General] servidor=%2: se usa %3")
                                .arg(fileName, server, *serverInstead));
        }
    }
    const auto number = [&](const GeneralNumber& setting, int fallback) {
        const QString text = values.value(setting.key);
        if (text.isEmpty()) return fallback;
        bool isNumber = false;
        const int value = text.trimmed().toInt(&isNumber);
        if (isNumber && value >= setting.minimum && value <= setting.maximum) return value;
        problems.append(QStringLiteral("Ajuste no válido en %1, [General] %2=%3: se usa %4 (de %5 a %6)")
                            .arg(fileName, setting.key, text)
                            .arg(fallback)
                            .arg(setting.minimum)
                            .arg(setting.maximum));
        return fallback;
    };
    service.journalDays = number(kJournalDays, service.journalDays);
    service.paperWait = std::chrono::seconds(number(kPaperWait, static_cast<int>(service.paperWait.count())));
    service.orderExpiry = std::chrono::minutes(number(kOrderExpiry, static_cast<int>(service.orderExpiry.count())));
    service.defaultPrinter = values.value(kDefaultPrinterKey);
    return service;
}

}  // namespace

bool isServerAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") && !url.host().isEmpty() &&
           (url.path().isEmpty() || url.path() == u"/") && !url.hasQuery() && !url.hasFragment();
}

SettingsFile SettingsFile::read(const QString& path, const std::optional<QString>& serverInstead) {
    SettingsFile result;
    const QFileInfo info(path);
    const QString fileName = info.fileName().isEmpty() ? kSettingsFileName : info.fileName();
    const auto fail = [&](const QString& reason) {
        result.problems_.append(unreadableLine(fileName, reason));
        return result;
    };

    // Checked before QSettings opens it: a folder or a pipe must not be read, nor a huge file held.
    if (!info.exists()) return result;
    if (info.isDir()) return fail(QStringLiteral("es una carpeta"));
    if (!info.isFile()) return fail(QStringLiteral("no es un archivo normal"));
    if (info.size() > kMaxBytes) return fail(QStringLiteral("ocupa más de 1 MB"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(QStringLiteral("no se puede abrir"));
    const QByteArray bytes = file.read(kMaxBytes + 1);  // it may have grown since it was looked at
    file.close();
    if (bytes.size() > kMaxBytes) return fail(QStringLiteral("ocupa más de 1 MB"));
    if (!looksLikeText(bytes)) return fail(QStringLiteral("no es un archivo de texto"));

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    const bool utf8 = !decoder.hasError();

    // Its FormatError is left aside: the lines that cause it are named one by one below.
    QSettings settings(path, QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    if (settings.status() == QSettings::AccessError) return fail(QStringLiteral("no se puede abrir"));

    if (!utf8) {
        result.problems_.append(QStringLiteral("%1 no está guardado como UTF-8: las letras con tilde pueden "
                                               "leerse mal")
                                    .arg(fileName));
    }

    std::vector<Problem> problems;
    QHash<QString, QString> general;  // [General]'s known keys, by folded key
    const QHash<QString, Place> places = placesInFile(fileName, text, problems);
    std::vector<Section> sections;
    QHash<QString, qsizetype> sectionIndex;  // by folded name: [Cocina] and [COCINA] are one
    for (const QString& fullKey : keys) {
        // The key is what follows the last slash, so that a description with a slash in it still
        // names a section.
        const qsizetype slash = fullKey.lastIndexOf(u'/');
        const QString sectionName = slash < 0 ? QStringLiteral("General") : fullKey.left(slash).trimmed();
        const QString key = fullKey.mid(slash + 1);
        if (key.startsWith(u'#')) continue;  // a line commented out with #
        if (fold(sectionName) == u"general") {
            // The service's own settings.
            if (kGeneralKeys.contains(fold(key))) {
                general.insert(fold(key), settings.value(fullKey).toString().trimmed());
            } else {
                // Keys before any section belong to [General] too.
                auto place = places.constFind(placeKey(sectionName, key));
                if (place == places.constEnd()) place = places.constFind(placeKey(QString(), key));
                problems.push_back({place != places.constEnd() ? place->line : INT_MAX,
                                    QStringLiteral("Ajuste desconocido en %1, [General] %2=%3: se ignora")
                                        .arg(fileName, key, settings.value(fullKey).toString())});
            }
            continue;
        }
        const auto placeFound = places.constFind(placeKey(sectionName, key));
        const Place* place = placeFound != places.constEnd() ? &*placeFound : nullptr;
        auto found = sectionIndex.constFind(fold(sectionName));
        if (found == sectionIndex.constEnd()) {
            found = sectionIndex.insert(fold(sectionName), static_cast<qsizetype>(sections.size()));
            sections.push_back({sectionName, {}});
        }
        sections[static_cast<size_t>(*found)].entries.push_back(
            {key, shownValue(settings.value(fullKey), place), place != nullptr ? place->line : INT_MAX});
    }

    for (Section& section : sections) {
        std::stable_sort(section.entries.begin(), section.entries.end(),
                         [](const Entry& a, const Entry& b) { return a.line < b.line; });
        const PrinterSettings& printer =
            *result.printers_.insert(fold(section.name), applySection(fileName, section, problems));
        if (!printer.connection.isEmpty() && !section.name.isEmpty()) {
            result.directPrinters_.append({section.name, printer});
        }
    }
    std::stable_sort(problems.begin(), problems.end(), [](const Problem& a, const Problem& b) { return a.line < b.line; });
    for (size_t index = 0; index < problems.size(); ++index) {
        const size_t left = problems.size() - index;
        if (result.problems_.size() >= kMaxProblems && left > 1) {
            result.problems_.append(
                QStringLiteral("Hay %1 problemas más en %2 que no se muestran").arg(left).arg(fileName));
            break;
        }
        result.problems_.append(problems[index].text);
    }
    result.service_ = readService(fileName, general, serverInstead, result.problems_);
    return result;
}

PrinterSettings SettingsFile::printer(const QStringList& names) const {
    for (const QString& name : names) {
        const QString key = fold(name);
        if (key.isEmpty()) continue;
        if (const auto found = printers_.constFind(key); found != printers_.constEnd()) return *found;
    }
    return {};
}

const QStringList& SettingsFile::problems() const { return problems_; }

}  // namespace kelmora::platform
