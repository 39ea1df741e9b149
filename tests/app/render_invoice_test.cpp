// Invoices through kelmora render, run as a separate process: the same documents as on the
// printer bench, and their balloons.
#include "support/test_support.h"

#include "json/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

class RenderInvoice : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString outDir = tmp.filePath(QStringLiteral("salida"));

    // Renders an invoice answer of tests/data/invoices, sent as the server sends it: five
    // characters before the JSON. The program folder is empty, so no logo.
    void render(const QString& answerFile) {
        QFile file(tmp.filePath(QStringLiteral("respuesta.txt")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("00000" + readDataFile(QStringLiteral("invoices/") + answerFile).toUtf8());
        file.close();
        ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("programa")));

        QProcess process;
        process.start(QStringLiteral(KELMORA_EXE),
                      {QStringLiteral("render"), QStringLiteral("--fonts"), QStringLiteral("--locale"),
                       QStringLiteral("en_US"), QStringLiteral("--dir"), tmp.filePath(QStringLiteral("programa")),
                       file.fileName(), outDir});
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }
    QString readOutput(const QString& name) const {
        QFile f(QDir(outDir).filePath(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
    }
};

TEST_F(RenderInvoice, SameDocumentsAsTheGoldens) {
    for (const char* name : {"cotizacion_55", "domicilio"}) {
        SCOPED_TRACE(name);
        const QString base = QString::fromLatin1(name);
        render(base + QStringLiteral(".json"));
        QString expected = readDataFile(QStringLiteral("invoices/") + base + QStringLiteral(".txt"));
        expected.replace(QStringLiteral("@NIT@"), QStringLiteral(KELMORA_SOFTWARE_NIT));
        expected.replace(QStringLiteral("@WEB@"), QStringLiteral(KELMORA_SOFTWARE_WEB));
        EXPECT_EQ(QDir(outDir).entryList(QDir::Files, QDir::Name),
                  (QStringList{QStringLiteral("001-Facturas.txt"), QStringLiteral("balloons.txt")}));
        EXPECT_EQ(readOutput(QStringLiteral("001-Facturas.txt")), expected);
        EXPECT_EQ(readOutput(QStringLiteral("balloons.txt")), u"1|Impresion de Factura|Factura enviada a Facturas\n");
        QDir(tmp.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(tmp.path()));
    }
}

}  // namespace
}  // namespace kelmora::testing
