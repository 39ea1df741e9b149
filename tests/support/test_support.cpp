#include "support/test_support.h"

#include "json/runtime_error.h"

#include <QFile>

#include <gtest/gtest.h>

namespace kelmora::testing {

paper::Picture FakePictureLoader::load(const QString& path) {
    loaded.append(path);
    if (fails) throw RuntimeError(QStringLiteral("Imagen no válida"));
    return paper::Picture{QByteArray("picture"), widthHimetric, heightHimetric};
}

PrintBench::PrintBench(QStringList printerNames, QString defaultPrinter, QLocale locale)
    : printers(platform::TextPrinterSystem::Options{std::move(printerNames), std::move(defaultPrinter), {}}),
      config(std::move(locale)) {}

void PrintBench::setSettings(const QList<std::pair<QString, QString>>& settings) {
    Collection entries;
    for (const auto& [name, value] : settings) {
        Dictionary entry;
        entry.add(QStringLiteral("Nombre"), name);
        entry.add(QStringLiteral("Descripcion"), value);
        entry.add(QStringLiteral("Visible"), QStringLiteral("1"));
        entries.add(entry);
    }
    config.actualizar(entries);
}

QStringList PrintBench::documents(bool withFonts) const {
    QStringList out;
    for (const auto& d : printers.delivered()) {
        if (d.isRaw) {
            out.append(d.deviceName + QStringLiteral("\n<raw ") + QString::fromLatin1(d.raw.toHex(' ')) + u'>');
        } else {
            out.append(d.deviceName + u'\n' + platform::renderText(d.document, withFonts));
        }
    }
    return out;
}

QString PrintBench::onlyDocument(bool withFonts) const {
    const QStringList all = documents(withFonts);
    EXPECT_EQ(all.size(), 1) << all.join(QStringLiteral("\n----\n")).toStdString();
    return all.isEmpty() ? QString() : all.first().section(u'\n', 1);
}

Value parseJson(const QString& json) {
    JsonReader reader;
    Value value = reader.leerJSON(json);
    EXPECT_EQ(reader.erroresJSON().toStdString(), "") << json.left(200).toStdString();
    return value;
}

QString dataPath(const QString& relative) { return QStringLiteral(KELMORA_TEST_DATA "/") + relative; }

QString readDataFile(const QString& relative) {
    QFile file(dataPath(relative));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative.toStdString();
    return QString::fromUtf8(file.readAll());
}

QStringList receiptLines(const QString& text) {
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        QString words = line.simplified();
        if (words.size() > 1 && words.count(words.front()) == words.size() && QStringLiteral("=-").contains(words.front())) {
            words.truncate(1);
        }
        if (!words.isEmpty()) lines.append(words);
    }
    if (!lines.isEmpty() && lines.last() == u".") lines.removeLast();
    return lines;
}

}  // namespace kelmora::testing
