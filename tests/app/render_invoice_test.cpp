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

class RenderFactura : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString salida = tmp.filePath(QStringLiteral("salida"));

    // Renders an invoice answer of tests/data/invoices, sent as the server sends it: five
    // characters before the JSON. The program folder is empty, so no logo.
    void render(const QString& respuesta) {
        QFile archivo(tmp.filePath(QStringLiteral("respuesta.txt")));
        ASSERT_TRUE(archivo.open(QIODevice::WriteOnly));
        archivo.write("00000" + readDataFile(QStringLiteral("invoices/") + respuesta).toUtf8());
        archivo.close();
        ASSERT_TRUE(QDir(tmp.path()).mkdir(QStringLiteral("programa")));

        QProcess proceso;
        proceso.start(QStringLiteral(KELMORA_EXE),
                      {QStringLiteral("render"), QStringLiteral("--fonts"), QStringLiteral("--locale"),
                       QStringLiteral("en_US"), QStringLiteral("--dir"), tmp.filePath(QStringLiteral("programa")),
                       archivo.fileName(), salida});
        ASSERT_TRUE(proceso.waitForFinished(60000));
        EXPECT_EQ(proceso.exitCode(), 0) << proceso.readAllStandardError().toStdString();
    }
    QString leer(const QString& nombre) const {
        QFile f(QDir(salida).filePath(nombre));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<missing>");
    }
};

TEST_F(RenderFactura, MismosDocumentosQueEnElBanco) {
    for (const char* nombre : {"cotizacion_55", "domicilio"}) {
        SCOPED_TRACE(nombre);
        const QString base = QString::fromLatin1(nombre);
        render(base + QStringLiteral(".json"));
        QString esperado = readDataFile(QStringLiteral("invoices/") + base + QStringLiteral(".txt"));
        esperado.replace(QStringLiteral("@NIT@"), QStringLiteral(KELMORA_SOFTWARE_NIT));
        esperado.replace(QStringLiteral("@WEB@"), QStringLiteral(KELMORA_SOFTWARE_WEB));
        EXPECT_EQ(QDir(salida).entryList(QDir::Files, QDir::Name),
                  (QStringList{QStringLiteral("001-Facturas.txt"), QStringLiteral("balloons.txt")}));
        EXPECT_EQ(leer(QStringLiteral("001-Facturas.txt")), esperado);
        EXPECT_EQ(leer(QStringLiteral("balloons.txt")), u"1|Impresion de Factura|Factura enviada a Facturas\n");
        QDir(tmp.path()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(tmp.path()));
    }
}

}  // namespace
}  // namespace kelmora::testing
