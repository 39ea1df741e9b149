// `kelmora demo`: one round against the embedded demo server, ending by itself.
#include "e2e_support.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

TEST(Demo, OneRoundPrintedAsPdfEndingWithWhereItIs) {
    QTemporaryDir work;
    auto kelmora = newKelmora({QStringLiteral("demo"), QStringLiteral("--headless")}, work.path());
    kelmora->start();
    ASSERT_TRUE(kelmora->waitForFinished(90000)) << "the demo did not end";
    const QString output = QString::fromUtf8(kelmora->readAllStandardOutput());
    EXPECT_EQ(kelmora->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelmora->exitCode(), 0) << QString::fromUtf8(kelmora->readAllStandardError()).toStdString();

    const QDir documents(QDir(work.path()).filePath(QStringLiteral("kelmora-demo")));
    EXPECT_TRUE(output.contains(QStringLiteral("los documentos están en ") + QDir::toNativeSeparators(documents.path())))
        << output.right(2000).toStdString();
    EXPECT_EQ(documents.entryList(QDir::Files, QDir::Name),
              (QStringList{"001-Cocina.pdf", "002-Bar.pdf", "003-Cocina.pdf", "004-Cocina.pdf", "005-Facturas.pdf",
                           "006-Facturas.raw", "007-Facturas.pdf", "008-Facturas.pdf"}));
    QFile drawer(documents.filePath(QStringLiteral("006-Facturas.raw")));
    ASSERT_TRUE(drawer.open(QIODevice::ReadOnly));
    EXPECT_EQ(drawer.readAll(), kDrawerPulse);

    const auto text = [&](const char* name) { return pdfText(documents.filePath(QString::fromLatin1(name))); };
    EXPECT_TRUE(text("002-Bar.pdf").contains(QStringLiteral("Limonada de coco")));
    EXPECT_TRUE(text("004-Cocina.pdf").contains(QStringLiteral("A N U L A C I O N!!")));
    const QString invoiceText = text("005-Facturas.pdf");
    EXPECT_TRUE(invoiceText.contains(QStringLiteral("FACTURA DE VENTA"))) << invoiceText.toStdString();
    EXPECT_TRUE(invoiceText.contains(QStringLiteral("IMPOCONSUMO 8%"))) << invoiceText.toStdString();
    EXPECT_TRUE(text("007-Facturas.pdf").contains(QStringLiteral("PRECUENTA")));
    EXPECT_TRUE(text("008-Facturas.pdf").contains(QStringLiteral("COTIZACION")));
    // The demo's program folder holds its branch code and logo.
    EXPECT_TRUE(QFile::exists(documents.filePath(QStringLiteral("programa/logo.bmp"))));
}

}  // namespace
}  // namespace kelmora::testing
