// kelmora render, run as a separate process on answer files.
#include "support/test_support.h"

#include "json/qt_printers.h"
#include "printing/escpos/escpos_interpreter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

namespace kelmora::testing {
namespace {

const QStringList kImpresoras{QStringLiteral("--printers"), QStringLiteral("Facturas,Cocina,Bar")};

// A line of paper as its words: characters a cell apart make a word, a gap is a blank.
QString paperLine(const paper::escpos::PaperTextRow& row) {
    QList<paper::escpos::PaperGlyph> glyphs = row.glyphs;
    std::stable_sort(glyphs.begin(), glyphs.end(), [](const auto& a, const auto& b) { return a.x < b.x; });
    QString line;
    int next = 0;
    for (const auto& glyph : glyphs) {
        if (!line.isEmpty() && glyph.x != next) line += u' ';
        line += glyph.character;
        next = glyph.x + glyph.advance;
    }
    return line;
}

class Render : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString salida = tmp.filePath(QStringLiteral("salida"));
    QString errores;

    // Runs `kelmora render` with `opciones` on an answer file of tests/data/answers; the exit status.
    int render(const QStringList& opciones, const QString& respuesta) {
        return renderFile(opciones, dataPath(QStringLiteral("answers/") + respuesta));
    }
    // The same on a payload file of tests/data, sent as the server sends it: five characters first.
    int renderPayload(const QStringList& options, const QString& payload) {
        QFile file(tmp.filePath(QStringLiteral("answer.txt")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("00000" + readDataFile(payload).toUtf8());
        file.close();
        return renderFile(options, file.fileName());
    }
    int renderFile(const QStringList& options, const QString& answerPath) {
        QProcess proceso;
        proceso.start(QStringLiteral(KELMORA_EXE),
                      QStringList{QStringLiteral("render")} + options + QStringList{answerPath, salida});
        EXPECT_TRUE(proceso.waitForFinished(60000));
        errores = QString::fromUtf8(proceso.readAllStandardError());
        return proceso.exitStatus() == QProcess::NormalExit ? proceso.exitCode() : -1;
    }
    QStringList archivos() const { return QDir(salida).entryList(QDir::Files, QDir::Name); }
    QByteArray archivo(const QString& nombre) const {
        QFile f(QDir(salida).filePath(nombre));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // The text previews and balloons of comandas_y_cajon.txt, as kept in tests/data.
    void expectComandasYCajonPreviews() const {
        for (const char* nombre : {"001-Cocina.txt", "002-Bar.txt", "003-Cocina.txt", "balloons.txt"}) {
            EXPECT_EQ(QString::fromUtf8(archivo(QString::fromUtf8(nombre))),
                      readDataFile(QStringLiteral("render/comandas_y_cajon/") + QString::fromUtf8(nombre)))
                << nombre;
        }
    }

    // What a receipt printer left for document `name` (NNN-DEVICE): its bytes, read back as a printer
    // whose head reaches `dots` dots, print the rows of the text preview, and the picture is that paper.
    paper::escpos::EscPosPaper expectReceipt(const QString& name, int dots) const {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = archivo(name + QStringLiteral(".escpos"));
        EXPECT_TRUE(bytes.startsWith(QByteArray::fromHex("1b40")));  // initialize
        EXPECT_TRUE(bytes.contains(QByteArray::fromHex("1b7410")));  // code page WPC1252
        EXPECT_EQ(bytes.chopped(1).right(3), QByteArray::fromHex("1d5642"));  // feed and cut, last

        const paper::escpos::EscPosPaper paper = paper::escpos::interpretEscPos(bytes, dots);
        EXPECT_TRUE(paper.unknown.isEmpty());
        QStringList paperLines;
        for (const paper::escpos::PaperTextRow& row : paper.rows) paperLines.append(paperLine(row));
        EXPECT_EQ(receiptLines(paperLines.join(u'\n')), receiptLines(QString::fromUtf8(archivo(name + QStringLiteral(".txt")))));

        QImage picture;
        EXPECT_TRUE(picture.loadFromData(archivo(name + QStringLiteral(".png")), "PNG"));
        EXPECT_EQ(picture.width(), dots);
        EXPECT_GE(picture.height(), paper.length);
        // Ink only where the printer puts it: in the characters' cells (emphasis one dot wider),
        // the rasters and the cut's line.
        QImage cells(picture.size(), QImage::Format_Grayscale8);
        cells.fill(0);
        const auto allow = [&](int left, int top, int width, int height) {
            for (int y = std::max(0, top); y < std::min(cells.height(), top + height); ++y) {
                for (int x = std::max(0, left); x < std::min(cells.width(), left + width); ++x) cells.scanLine(y)[x] = 1;
            }
        };
        for (const auto& row : paper.rows) {
            for (const auto& glyph : row.glyphs) allow(glyph.x, row.y, row.glyphWidth() + (row.bold ? 1 : 0), row.glyphHeight());
        }
        for (const auto& raster : paper.rasters) allow(raster.x, raster.y, raster.dots.width, raster.dots.height);
        for (const auto& cut : paper.cuts) allow(0, cut.y, cells.width(), 1);
        int dark = 0;
        int stray = 0;
        const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
        for (int y = 0; y < grey.height(); ++y) {
            for (int x = 0; x < grey.width(); ++x) {
                if (grey.constScanLine(y)[x] >= 128) continue;
                ++dark;
                stray += cells.constScanLine(y)[x] == 0 ? 1 : 0;
            }
        }
        EXPECT_GT(dark, 0);  // something is printed on it
        EXPECT_EQ(stray, 0);
        return paper;
    }
};

TEST_F(Render, WritesDocumentsRawBytesAndBalloons) {
    ASSERT_EQ(render(kImpresoras + QStringList{"--locale", "es_CO", "--now", "2024-03-03T12:45:00"},
                     QStringLiteral("comandas_y_cajon.txt")),
              0)
        << errores.toStdString();
    EXPECT_EQ(archivos(), (QStringList{"001-Cocina.txt", "002-Bar.txt", "003-Cocina.txt", "004-Facturas.raw",
                                       "balloons.txt"}));
    expectComandasYCajonPreviews();
    EXPECT_EQ(archivo(QStringLiteral("004-Facturas.raw")), QByteArray::fromHex("1b70003cf0"));
}

TEST_F(Render, ReceiptPrintersWriteTheirBytesAndPaperBesideTheText) {
    ASSERT_EQ(render(kImpresoras + QStringList{"--locale", "es_CO", "--now", "2024-03-03T12:45:00", "--escpos",
                                               "Cocina,Facturas"},
                     QStringLiteral("comandas_y_cajon.txt")),
              0)
        << errores.toStdString();
    EXPECT_EQ(archivos(), (QStringList{"001-Cocina.escpos", "001-Cocina.png", "001-Cocina.txt", "002-Bar.txt",
                                       "003-Cocina.escpos", "003-Cocina.png", "003-Cocina.txt", "004-Facturas.raw",
                                       "balloons.txt"}));
    expectComandasYCajonPreviews();
    // The drawer's pulse goes to a receipt printer as it came.
    EXPECT_EQ(archivo(QStringLiteral("004-Facturas.raw")), QByteArray::fromHex("1b70003cf0"));
    // Laid out for 75 mm: the 80 mm roll.
    expectReceipt(QStringLiteral("001-Cocina"), 576);
    expectReceipt(QStringLiteral("003-Cocina"), 576);

    // Laid out for 55 mm: the 58 mm roll. No logo in the program folder.
    QDir(salida).removeRecursively();
    ASSERT_EQ(renderPayload({"--escpos", "Facturas", "--dir", tmp.path()}, QStringLiteral("invoices/cotizacion_55.json")), 0)
        << errores.toStdString();
    EXPECT_EQ(archivos(), (QStringList{"001-Facturas.escpos", "001-Facturas.png", "001-Facturas.txt", "balloons.txt"}));
    EXPECT_TRUE(expectReceipt(QStringLiteral("001-Facturas"), 384).rasters.isEmpty());
    EXPECT_TRUE(archivo(QStringLiteral("001-Facturas.escpos")).contains("\x1c."));

    // The program folder's kelmora.ini sets the printer up: its roll and its start.
    QFile ini(tmp.filePath(QStringLiteral("kelmora.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[facturas]\nrollo=80\nomitir=FS .\n");
    ini.close();
    QDir(salida).removeRecursively();
    ASSERT_EQ(renderPayload({"--escpos", "Facturas", "--dir", tmp.path()}, QStringLiteral("invoices/cotizacion_55.json")), 0)
        << errores.toStdString();
    expectReceipt(QStringLiteral("001-Facturas"), 576);
    EXPECT_FALSE(archivo(QStringLiteral("001-Facturas.escpos")).contains("\x1c."));
}

TEST_F(Render, TheInvoiceLogoPrintsAsDitheredDots) {
    const QString program = tmp.filePath(QStringLiteral("program"));
    ASSERT_TRUE(QDir().mkpath(program));
    ASSERT_TRUE(QFile::copy(dataPath(QStringLiteral("settings/logo-rojo.gif")), program + QStringLiteral("/logo.bmp")));
    ASSERT_EQ(renderPayload({"--printers", "Facturas", "--escpos", "Facturas", "--locale", "es_CO", "--dir", program},
                            QStringLiteral("invoices/cuenta_cerrada.json")),
              0)
        << errores.toStdString();
    const paper::escpos::EscPosPaper paper = expectReceipt(QStringLiteral("001-Facturas"), 576);
    ASSERT_EQ(paper.rasters.size(), 1);
    const paper::escpos::MonochromeRaster& logo = paper.rasters.first().dots;
    int black = 0;
    for (int y = 0; y < logo.height; ++y) {
        for (int x = 0; x < logo.width; ++x) black += logo.isBlack(x, y) ? 1 : 0;
    }
    // Neither blank nor a solid block: the logo's colours as a density of dots.
    EXPECT_GT(black, 0);
    EXPECT_LT(black, logo.width * logo.height);
    // The logo comes first, above the text.
    ASSERT_FALSE(paper.rows.isEmpty());
    EXPECT_LE(paper.rasters.first().y + logo.height, paper.rows.first().y);
}

TEST_F(Render, FallbackNotesAndErrorBalloons) {
    ASSERT_EQ(render(kImpresoras + QStringList{"--offline", "Cocina", "--fonts"}, QStringLiteral("comandas_y_cajon.txt")), 0);
    EXPECT_TRUE(archivo(QStringLiteral("001-Facturas.txt"))
                    .startsWith("[default 10] Error en Impresora Facturas\n[default 10]               MESA NUEVA\n"));
    // Its balloon is a warning that names the kitchen's printer and why it was passed over.
    EXPECT_TRUE(QString::fromUtf8(archivo(QStringLiteral("balloons.txt")))
                    .startsWith(QStringLiteral("2|Impresion de comanda|Comanda enviada a Facturas en lugar de Cocina "
                                               "(La impresora Cocina está fuera de línea)\n")))
        << archivo(QStringLiteral("balloons.txt")).toStdString();

    QDir(salida).removeRecursively();
    ASSERT_EQ(render(kImpresoras + QStringList{"--offline", "Cocina,Facturas"}, QStringLiteral("comandas_y_cajon.txt")), 0);
    EXPECT_EQ(archivos(), (QStringList{"001-Bar.txt", "balloons.txt"}));
    const QString error = QStringLiteral("3|Error al imprimir|Error al imprimir, La impresora Facturas no esta "
                                         "disponible. \\nLa impresora Facturas está fuera de línea La impresora Facturas está fuera de línea");
    EXPECT_EQ(QString::fromUtf8(archivo(QStringLiteral("balloons.txt"))).split(u'\n'),
              (QStringList{error, "1|Impresion de comanda|Comanda enviada a Bar", error, error, ""}));
}

TEST_F(Render, AnUncaughtErrorEndsTheDispatchAndKeepsWhatWasWritten) {
    EXPECT_EQ(render(kImpresoras, QStringLiteral("anulacion_sin_productos.txt")), 3);
    EXPECT_EQ(errores.trimmed(), "No coinciden los tipos");
    // The second cancellation is abandoned and the drawer is never reached.
    EXPECT_EQ(archivos(), (QStringList{"001-Cocina.txt", "002-Cocina.txt", "balloons.txt"}));
}

TEST_F(Render, BadInputExitsWithOne) {
    EXPECT_EQ(render({}, QStringLiteral("respuesta_rota.txt")), 1);
    EXPECT_TRUE(errores.contains(QStringLiteral("Missing '}'"))) << errores.toStdString();
    EXPECT_FALSE(QDir(salida).exists());

    EXPECT_EQ(render({"--now", "ayer"}, QStringLiteral("comandas_y_cajon.txt")), 1);
    EXPECT_TRUE(errores.contains(QStringLiteral("uso: kelmora render [opciones] ARCHIVO_RESPUESTA CARPETA_SALIDA"))) << errores.toStdString();
    EXPECT_EQ(render({"--locale", "xx_YY"}, QStringLiteral("comandas_y_cajon.txt")), 1);
    EXPECT_EQ(render({"--dir"}, QStringLiteral("comandas_y_cajon.txt")), 1);
    EXPECT_EQ(render(kImpresoras + QStringList{"--escpos", "Cocina,Caja"}, QStringLiteral("comandas_y_cajon.txt")), 1);
    EXPECT_TRUE(errores.contains(QStringLiteral("no está entre las de --printers: Caja"))) << errores.toStdString();
    EXPECT_EQ(render({"--system", "--escpos", "Facturas"}, QStringLiteral("comandas_y_cajon.txt")), 1);
    EXPECT_TRUE(errores.contains(QStringLiteral("--escpos no se aplican"))) << errores.toStdString();
    EXPECT_FALSE(QDir(salida).exists());
}

}  // namespace
}  // namespace kelmora::testing
