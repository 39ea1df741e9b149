// kelmora render, run as a separate process on answer files.
#include "support/test_support.h"

#include "json/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelmora::testing {
namespace {

const QStringList kImpresoras{QStringLiteral("--printers"), QStringLiteral("Facturas,Cocina,Bar")};

class Render : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString salida = tmp.filePath(QStringLiteral("salida"));
    QString errores;

    // Runs `kelmora render` with `opciones` on an answer file of tests/data/answers; the exit status.
    int render(const QStringList& opciones, const QString& respuesta) {
        QProcess proceso;
        proceso.start(QStringLiteral(KELMORA_EXE),
                      QStringList{QStringLiteral("render")} + opciones +
                          QStringList{dataPath(QStringLiteral("answers/") + respuesta), salida});
        EXPECT_TRUE(proceso.waitForFinished(60000));
        errores = QString::fromUtf8(proceso.readAllStandardError());
        return proceso.exitStatus() == QProcess::NormalExit ? proceso.exitCode() : -1;
    }
    QStringList archivos() const { return QDir(salida).entryList(QDir::Files, QDir::Name); }
    QByteArray archivo(const QString& nombre) const {
        QFile f(QDir(salida).filePath(nombre));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

TEST_F(Render, WritesDocumentsRawBytesAndBalloons) {
    ASSERT_EQ(render(kImpresoras + QStringList{"--locale", "es_CO", "--now", "2024-03-03T12:45:00"},
                     QStringLiteral("comandas_y_cajon.txt")),
              0)
        << errores.toStdString();
    EXPECT_EQ(archivos(), (QStringList{"001-Cocina.txt", "002-Bar.txt", "003-Cocina.txt", "004-Facturas.raw",
                                       "balloons.txt"}));
    for (const char* nombre : {"001-Cocina.txt", "002-Bar.txt", "003-Cocina.txt", "balloons.txt"}) {
        EXPECT_EQ(QString::fromUtf8(archivo(QString::fromUtf8(nombre))),
                  readDataFile(QStringLiteral("render/comandas_y_cajon/") + QString::fromUtf8(nombre)))
            << nombre;
    }
    EXPECT_EQ(archivo(QStringLiteral("004-Facturas.raw")), QByteArray::fromHex("1b70003cf0"));
}

TEST_F(Render, FallbackNotesAndErrorBalloons) {
    ASSERT_EQ(render(kImpresoras + QStringList{"--offline", "Cocina", "--fonts"}, QStringLiteral("comandas_y_cajon.txt")), 0);
    EXPECT_TRUE(archivo(QStringLiteral("001-Facturas.txt"))
                    .startsWith("[default 10] Error en Impresora Facturas\n[default 10]               MESA NUEVA\n"));

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
    EXPECT_TRUE(errores.contains(QStringLiteral("usage: kelmora render [options] ANSWER_FILE OUT_DIR"))) << errores.toStdString();
    EXPECT_EQ(render({"--locale", "xx_YY"}, QStringLiteral("comandas_y_cajon.txt")), 1);
    EXPECT_EQ(render({"--dir"}, QStringLiteral("comandas_y_cajon.txt")), 1);
    EXPECT_FALSE(QDir(salida).exists());
}

}  // namespace
}  // namespace kelmora::testing
