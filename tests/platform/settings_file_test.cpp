#include "platform/settings_file.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kelmora::platform;
using kelmora::paper::escpos::CodePage;

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    QString path() const { return dir_.filePath(kSettingsFileName); }

    void writeBytes(const QByteArray& bytes) {
        QFile file(path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    SettingsFile readBytes(const QByteArray& bytes) {
        writeBytes(bytes);
        return SettingsFile::read(path());
    }

    QTemporaryDir dir_;
};

void expectDefaults(const PrinterSettings& settings) {
    EXPECT_EQ(settings.output, PrinterOutput::Automatic);
    EXPECT_EQ(settings.escpos.rollMm, 80);
    EXPECT_EQ(settings.escpos.dotsPerLine, 0);
    EXPECT_EQ(settings.escpos.codePage, CodePage::WPC1252);
    EXPECT_TRUE(settings.escpos.hasCutter);
    EXPECT_EQ(settings.escpos.omitted, 0U);
    EXPECT_EQ(settings.escpos.buzzer, kelmora::paper::escpos::Buzzer::None);
    EXPECT_FALSE(settings.escpos.redCancellations);
}

void expectUnreadable(const SettingsFile& file, const QString& reason) {
    ASSERT_EQ(file.problems().size(), 1) << file.problems().join(u'\n').toStdString();
    EXPECT_EQ(file.problems().first(),
              QStringLiteral("No se pudo leer kelmora.ini (%1): se usan los valores por defecto").arg(reason));
    expectDefaults(file.printer({"Cocina"}));
}

}  // namespace

TEST_F(SettingsFileTest, AMissingFileGivesTheDefaultsSilently) {
    const SettingsFile file = SettingsFile::read(path());
    EXPECT_TRUE(file.problems().isEmpty());
    expectDefaults(file.printer({"Cocina", "Epson TM-T20"}));
}

TEST_F(SettingsFileTest, EveryKeyIsReadInAnyOfItsSpellings) {
    const SettingsFile file = readBytes(
        "; kelmora.ini\n"
        "[Cocina]                 ; la de la cocina\n"
        "salida=pdf               ; comentario\n"
        "rollo=58\n"
        "puntos=420\n"
        "codigos=pc858\n"
        "cortador=no\n"
        "omitir=fs., Gs P\n"
        "zumbador=sí\n"
        "color=Rojo\n"
        "[Barra]\n"
        "SALIDA = EscPos\n"
        "Rollo=80 mm\n"
        "codigos=PC850\n"
        "cortador=sí\n"
        "omitir=ESC R\n"
        "zumbador=cajón\n"
        "color=negro\n"
        "[Caja]\n"
        "salida=automática\n"
        "codigos=Wpc1252\n"
        "cortador=FALSE\n"
        "[Terraza]\n"
        "salida=\"escpos\"\n");
    EXPECT_TRUE(file.problems().isEmpty()) << file.problems().join(u'\n').toStdString();

    const PrinterSettings kitchen = file.printer({"Cocina"});
    EXPECT_EQ(kitchen.output, PrinterOutput::Pdf);
    EXPECT_EQ(kitchen.escpos.rollMm, 58);
    EXPECT_EQ(kitchen.escpos.dotsPerLine, 420);
    EXPECT_EQ(kitchen.escpos.codePage, CodePage::PC858);
    EXPECT_FALSE(kitchen.escpos.hasCutter);
    EXPECT_EQ(kitchen.escpos.omitted, 6U);
    EXPECT_EQ(kitchen.escpos.buzzer, kelmora::paper::escpos::Buzzer::Builtin);
    EXPECT_TRUE(kitchen.escpos.redCancellations);

    const PrinterSettings bar = file.printer({"Barra"});
    EXPECT_EQ(bar.output, PrinterOutput::EscPos);
    EXPECT_EQ(bar.escpos.rollMm, 80);
    EXPECT_EQ(bar.escpos.dotsPerLine, 0);
    EXPECT_EQ(bar.escpos.codePage, CodePage::PC850);
    EXPECT_TRUE(bar.escpos.hasCutter);
    EXPECT_EQ(bar.escpos.omitted, 1U);
    EXPECT_EQ(bar.escpos.buzzer, kelmora::paper::escpos::Buzzer::Drawer);
    EXPECT_FALSE(bar.escpos.redCancellations);

    EXPECT_EQ(file.printer({"Caja"}).output, PrinterOutput::Automatic);
    EXPECT_FALSE(file.printer({"Caja"}).escpos.hasCutter);
    EXPECT_EQ(file.printer({"Terraza"}).output, PrinterOutput::EscPos);
}

TEST_F(SettingsFileTest, ABadValueIsNamedWithItsDefaultAndTheRestOfTheSectionApplies) {
    const SettingsFile file = readBytes(
        "[Cocina]\n"
        "salida=papel\n"
        "rollo=90\n"
        "puntos=150\n"
        "codigos=CP437\n"
        "cortador=quizás\n"
        "omitir=ESC R, GS !\n"
        "zumbador=fuerte\n"
        "color=azul\n"
        "[Barra]\n"
        "puntos=1001\n"
        "rollo=58\n"
        "cortador=no\n"
        "codigos=PC850, PC858\n"
        "salida=\n");
    EXPECT_EQ(file.problems(),
              QStringList({
                  "Ajuste no válido en kelmora.ini, [Cocina] salida=papel: se usa automatica",
                  "Ajuste no válido en kelmora.ini, [Cocina] rollo=90: se usa el del documento",
                  "Ajuste no válido en kelmora.ini, [Cocina] puntos=150: se usa 576",
                  "Ajuste no válido en kelmora.ini, [Cocina] codigos=CP437: se usa WPC1252",
                  "Ajuste no válido en kelmora.ini, [Cocina] cortador=quizás: se usa sí",
                  "Ajuste no válido en kelmora.ini, [Cocina] omitir=ESC R, GS !: se usa ninguno (ESC R, FS . y GS P "
                  "se envían)",
                  "Ajuste no válido en kelmora.ini, [Cocina] zumbador=fuerte: se usa no",
                  "Ajuste no válido en kelmora.ini, [Cocina] color=azul: se usa negro",
                  // The usual dots follow the roll, even one set further down.
                  "Ajuste no válido en kelmora.ini, [Barra] puntos=1001: se usa 384",
                  "Ajuste no válido en kelmora.ini, [Barra] codigos=PC850, PC858: se usa WPC1252",
                  "Ajuste no válido en kelmora.ini, [Barra] salida=: se usa automatica",
              }));
    expectDefaults(file.printer({"Cocina"}));
    const PrinterSettings bar = file.printer({"Barra"});
    EXPECT_EQ(bar.escpos.rollMm, 58);
    EXPECT_EQ(bar.escpos.dotsPerLine, 0);
    EXPECT_FALSE(bar.escpos.hasCutter);
    EXPECT_EQ(bar.output, PrinterOutput::Automatic);
}

TEST_F(SettingsFileTest, ProblemsComeInFileOrderAcrossSections) {
    // QSettings hands keys back sorted; the console must follow the file.
    const SettingsFile file = readBytes("[Zeta]\nrollo=1\nvelocidad=alta\n[Alfa]\nsalida=x\n[Zeta]\ncodigos=y\n");
    EXPECT_EQ(file.problems(), QStringList({
                                   "Ajuste no válido en kelmora.ini, [Zeta] rollo=1: se usa el del documento",
                                   "Ajuste desconocido en kelmora.ini, [Zeta] velocidad=alta: se ignora",
                                   "Ajuste no válido en kelmora.ini, [Alfa] salida=x: se usa automatica",
                                   "Ajuste no válido en kelmora.ini, [Zeta] codigos=y: se usa WPC1252",
                               }));
}

TEST_F(SettingsFileTest, APrinterIsFoundByNameOrDescriptionWithoutRegardToCaseAndBlanks) {
    const SettingsFile file = readBytes("[  Cocina ]\nrollo=58\n[epson tm-t20 (barra)]\nsalida=pdf\n"
                                        "[COCINA]\ncortador=no\n");
    EXPECT_EQ(file.printer({"EPSON_TM_T20", "Cocina"}).escpos.rollMm, 58);  // by description
    EXPECT_EQ(file.printer({" cocina\t", "Otra"}).escpos.rollMm, 58);      // by name
    // Sections that differ only by case are one.
    EXPECT_FALSE(file.printer({"Cocina"}).escpos.hasCutter);
    EXPECT_EQ(file.printer({"Epson TM-T20 (Barra)  "}).output, PrinterOutput::Pdf);
    // The earliest of the names decides when both have a section.
    EXPECT_EQ(file.printer({"Epson TM-T20 (Barra)", "Cocina"}).output, PrinterOutput::Pdf);
    EXPECT_EQ(file.printer({"Epson TM-T20 (Barra)", "Cocina"}).escpos.rollMm, 80);
    expectDefaults(file.printer({"Caja", ""}));
    expectDefaults(file.printer({}));
}

TEST_F(SettingsFileTest, ASectionNameWithABlankIsReadAsWritten) {
    const SettingsFile file = readBytes("[Barra 1]\nrollo=58\n[Barra%202]\nrollo=58\n");
    EXPECT_TRUE(file.problems().isEmpty());
    EXPECT_EQ(file.printer({"barra 1"}).escpos.rollMm, 58);
    EXPECT_EQ(file.printer({"Barra 2"}).escpos.rollMm, 58);
    EXPECT_EQ(file.printer({"Barra"}).escpos.rollMm, 80);
}

TEST_F(SettingsFileTest, UnknownKeysAreNamedWhileCommentsAreSilent) {
    const SettingsFile file = readBytes(
        "\xEF\xBB\xBF"  // Notepad's byte order mark
        "intervalo=3\n"
        "[General]\nservidor=http://x\n"
        "[Cocina]\n"
        "# rollo=58\n"
        "; puntos=1\n"
        "velocidad=alta\n"
        "rect=@Rect(1 2 3 4)\n"
        "=\n"
        "[]\n"
        "rollo=58\n");
    EXPECT_EQ(file.problems(), QStringList({
                                   "Ajuste desconocido en kelmora.ini, [General] intervalo=3: se ignora",
                                   "Ajuste desconocido en kelmora.ini, [Cocina] velocidad=alta: se ignora",
                                   "Ajuste desconocido en kelmora.ini, [Cocina] rect=@Rect(1 2 3 4): se ignora",
                                   "Ajuste desconocido en kelmora.ini, [Cocina] =: se ignora",
                                   "Ajuste desconocido en kelmora.ini, [] rollo=58: se ignora",
                               }))
        << file.problems().join(u'\n').toStdString();
    expectDefaults(file.printer({"Cocina"}));
    expectDefaults(file.printer({"General"}));
    // The service's own settings, whichever case the section and key are written in.
    EXPECT_EQ(file.service().server, QStringLiteral("http://x"));
    EXPECT_EQ(readBytes("[general]\nSERVIDOR = https://y:8443\n").service().server, QStringLiteral("https://y:8443"));
    EXPECT_EQ(readBytes("[Cocina]\nrollo=58\n").service().server, std::nullopt);
}

TEST_F(SettingsFileTest, TheServiceSettingsKeepTheirDefaultsForBadValues) {
    writeBytes("[General]\nservidor=ftp://x\ndias_trabajos=0\nespera_papel=diez\nvencimiento_comanda=30\n"
               "[Cocina]\nrollo=59\n");
    const SettingsFile file = SettingsFile::read(path(), QStringLiteral("http://built.in"));
    EXPECT_EQ(file.problems(),
              QStringList({
                  "Ajuste no válido en kelmora.ini, [Cocina] rollo=59: se usa el del documento",
                  "Ajuste no válido en kelmora.ini, [General] servidor=ftp://x: se usa http://built.in",
                  "Ajuste no válido en kelmora.ini, [General] dias_trabajos=0: se usa 7 (de 1 a 366)",
                  "Ajuste no válido en kelmora.ini, [General] espera_papel=diez: se usa 60 (de 5 a 3600)",
              }))
        << file.problems().join(u'\n').toStdString();
    EXPECT_EQ(file.service().server, std::nullopt);
    EXPECT_EQ(file.service().journalDays, 7);
    EXPECT_EQ(file.service().paperWait, std::chrono::seconds(60));
    EXPECT_EQ(file.service().orderExpiry, std::chrono::minutes(30));

    // With the server named elsewhere, the file's is not the one used and goes unmentioned.
    EXPECT_EQ(SettingsFile::read(path()).problems().size(), 3);
    // The bounds themselves are taken.
    const SettingsFile bounds = readBytes("[General]\ndias_trabajos=366\nespera_papel=5\n");
    EXPECT_TRUE(bounds.problems().isEmpty());
    EXPECT_EQ(bounds.service().journalDays, 366);
    EXPECT_EQ(bounds.service().paperWait, std::chrono::seconds(5));
}

TEST_F(SettingsFileTest, AFileThatIsNotUtf8IsReadWithAWarning) {
    const SettingsFile file = readBytes("[Cocina]\nrollo=58\ncortador=s\xED\n");
    ASSERT_EQ(file.problems().size(), 2) << file.problems().join(u'\n').toStdString();
    EXPECT_EQ(file.problems().first(),
              "kelmora.ini no está guardado como UTF-8: las letras con tilde pueden leerse mal");
    EXPECT_TRUE(file.problems().at(1).startsWith("Ajuste no válido en kelmora.ini, [Cocina] cortador="));
    EXPECT_EQ(file.printer({"Cocina"}).escpos.rollMm, 58);
}

TEST_F(SettingsFileTest, WhatCannotBeReadGivesTheDefaultsAndOneLine) {
    {
        SCOPED_TRACE("a folder");
        ASSERT_TRUE(QDir(dir_.path()).mkdir(kSettingsFileName));
        expectUnreadable(SettingsFile::read(path()), "es una carpeta");
        ASSERT_TRUE(QDir(dir_.path()).rmdir(kSettingsFileName));
    }
    {
        SCOPED_TRACE("a pipe: opening it would wait for a writer forever");
        ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
        expectUnreadable(SettingsFile::read(path()), "no es un archivo normal");
        ASSERT_TRUE(QFile::remove(path()));
    }
    {
        SCOPED_TRACE("too large, though valid: not parsed at all");
        QByteArray bytes = "[Cocina]\nrollo=58\nvelocidad=alta\n";
        bytes.append(QByteArray(SettingsFile::kMaxBytes + 1 - bytes.size(), '\n'));
        expectUnreadable(readBytes(bytes), "ocupa más de 1 MB");
    }
    {
        SCOPED_TRACE("binary bytes");
        QByteArray bytes(64 * 1024, '\0');
        QRandomGenerator random(7);
        for (char& byte : bytes) byte = static_cast<char>(random.bounded(256));
        bytes.prepend("[Cocina]\nrollo=58\n");
        expectUnreadable(readBytes(bytes), "no es un archivo de texto");
    }
}

TEST_F(SettingsFileTest, AFileWithoutReadPermissionGivesTheDefaultsAndOneLine) {
    readBytes("[Cocina]\nrollo=58\n");
    ASSERT_TRUE(QFile::setPermissions(path(), QFileDevice::WriteOwner));
    if (QFile(path()).open(QIODevice::ReadOnly)) GTEST_SKIP() << "root reads it anyway";
    expectUnreadable(SettingsFile::read(path()), "no se puede abrir");
}

TEST_F(SettingsFileTest, LinesThatAreNoSettingAreNamedAndTheRestApplies) {
    const SettingsFile file = readBytes("[Cocina]\r\nrollo=58\r\nsolo texto\r\n[Barra\r\nrollo=58\r\n# comentario\r\n");
    EXPECT_EQ(file.problems(), QStringList({
                                   "Línea no válida en kelmora.ini, línea 3: solo texto: se ignora",
                                   "Línea no válida en kelmora.ini, línea 4: [Barra: falta el ]",
                               }));
    EXPECT_EQ(file.printer({"Cocina"}).escpos.rollMm, 58);
    EXPECT_EQ(file.printer({"Barra"}).escpos.rollMm, 58);
}

TEST_F(SettingsFileTest, ThousandsOfBadSectionsGiveACappedConsole) {
    QByteArray bytes;
    for (int index = 0; index < 5000; ++index)
        bytes += "[Impresora " + QByteArray::number(index) + "]\nrollo=90\n[x" + QByteArray::number(index) + "]]\ny\n";
    bytes += "[Cocina]\nrollo=58\n";
    const SettingsFile file = readBytes(bytes);
    ASSERT_EQ(file.problems().size(), SettingsFile::kMaxProblems + 1) << file.problems().join(u'\n').toStdString();
    EXPECT_EQ(file.problems().first(), "Ajuste no válido en kelmora.ini, [Impresora 0] rollo=90: se usa el del documento");
    EXPECT_EQ(file.problems().last(), "Hay 9950 problemas más en kelmora.ini que no se muestran");
    EXPECT_EQ(file.printer({"Cocina"}).escpos.rollMm, 58);
}
