// `kelmora demo`: one round against the embedded demo server, ending by itself.
#include "e2e_apoyo.h"

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

TEST(Demo, UnaRondaImpresaEnPdfYTerminaDiciendoDonde) {
    QTemporaryDir trabajo;
    auto kelmora = nuevoKelmora({QStringLiteral("demo"), QStringLiteral("--headless")}, trabajo.path());
    kelmora->start();
    ASSERT_TRUE(kelmora->waitForFinished(90000)) << "the demo did not end";
    const QString salida = QString::fromUtf8(kelmora->readAllStandardOutput());
    EXPECT_EQ(kelmora->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelmora->exitCode(), 0) << QString::fromUtf8(kelmora->readAllStandardError()).toStdString();

    const QDir documentos(QDir(trabajo.path()).filePath(QStringLiteral("kelmora-demo")));
    EXPECT_TRUE(salida.contains(QStringLiteral("the documents are in ") + QDir::toNativeSeparators(documentos.path())))
        << salida.right(2000).toStdString();
    EXPECT_EQ(documentos.entryList(QDir::Files, QDir::Name),
              (QStringList{"001-Cocina.pdf", "002-Bar.pdf", "003-Cocina.pdf", "004-Cocina.pdf", "005-Facturas.pdf",
                           "006-Facturas.raw", "007-Facturas.pdf", "008-Facturas.pdf"}));
    QFile cajon(documentos.filePath(QStringLiteral("006-Facturas.raw")));
    ASSERT_TRUE(cajon.open(QIODevice::ReadOnly));
    EXPECT_EQ(cajon.readAll(), kPulsoCajon);

    const auto texto = [&](const char* nombre) { return textoPdf(documentos.filePath(QString::fromLatin1(nombre))); };
    EXPECT_TRUE(texto("002-Bar.pdf").contains(QStringLiteral("Limonada de coco")));
    EXPECT_TRUE(texto("004-Cocina.pdf").contains(QStringLiteral("A N U L A C I O N!!")));
    const QString factura = texto("005-Facturas.pdf");
    EXPECT_TRUE(factura.contains(QStringLiteral("FACTURA DE VENTA"))) << factura.toStdString();
    EXPECT_TRUE(factura.contains(QStringLiteral("IMPOCONSUMO 8%"))) << factura.toStdString();
    EXPECT_TRUE(texto("007-Facturas.pdf").contains(QStringLiteral("PRECUENTA")));
    EXPECT_TRUE(texto("008-Facturas.pdf").contains(QStringLiteral("COTIZACION")));
    // The demo's program folder holds its branch code and logo.
    EXPECT_TRUE(QFile::exists(documentos.filePath(QStringLiteral("programa/logo.bmp"))));
}

}  // namespace
}  // namespace kelmora::testing
