#include "shell/codigo_sucursal.h"

#include "support/service_fakes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelmora::shell {
namespace {

using testing::ScriptedDialogs;

const QString k15 = QStringLiteral("123451234512345");

class CodigoSucursal : public ::testing::Test {
protected:
    QString carpeta() const { return carpetaTemporal_.path(); }
    QString ruta() const { return rutaAcceso(carpeta()); }
    void escribir(const QByteArray& bytes) const {
        QFile f(ruta());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray contenido() const {
        QFile f(ruta());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    static void esCorreccion(const ScriptedDialogs::Shown& p) {
        EXPECT_EQ(p.title, QStringLiteral("Codigo de sucursal"));
        EXPECT_EQ(p.text, QStringLiteral("No tiene registrado un codigo para esta sucursal, registrelo en el "
                                            "siguiente campo.\r\nEl codigo de sucursal tiene 15 digitos"));
    }

    QTemporaryDir carpetaTemporal_;
    ScriptedDialogs dialogos;
};

TEST(LeerLineas, FinesDeLineaYEntradaFinal) {
    QTemporaryDir carpetaTemporal;
    const auto lineas = [&](const QByteArray& bytes) {
        QFile f(carpetaTemporal.filePath(QStringLiteral("f")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        return leerLineas(f.fileName());
    };
    EXPECT_EQ(lineas("uno\r\ndos\r\n"), (QStringList{"uno", "dos", ""}));
    EXPECT_EQ(lineas("uno\rdos"), (QStringList{"uno", "dos", ""}));
    // A lone LF, as editors on Linux write it, ends a line too.
    EXPECT_EQ(lineas("uno\ndos\r\n"), (QStringList{"uno", "dos", ""}));
    EXPECT_EQ(lineas("uno\ndos\n"), (QStringList{"uno", "dos", ""}));
    EXPECT_EQ(lineas("uno\n\rdos"), (QStringList{"uno", "", "dos", ""}));
    EXPECT_EQ(lineas("sin fin"), (QStringList{"sin fin", ""}));
    EXPECT_EQ(lineas("a\r\n\r\n"), (QStringList{"a", "", ""}));
    EXPECT_EQ(lineas(""), (QStringList{""}));
    EXPECT_EQ(leerLineas(carpetaTemporal.filePath(QStringLiteral("no-existe"))), (QStringList{"", "", ""}));
    EXPECT_EQ(leerLineas(carpetaTemporal.path()), (QStringList{"", "", ""}));
}

TEST(CodigoAceptable, LargoYDigitosDesdeElSegundoCaracter) {
    EXPECT_TRUE(codigoAceptable(k15));
    EXPECT_TRUE(codigoAceptable(QStringLiteral("A12345678901234")));
    EXPECT_TRUE(codigoAceptable(QStringLiteral("-12345678901234")));
    EXPECT_TRUE(codigoAceptable(QStringLiteral("1234567890123456789012")));
    // Up to 256 characters: a code goes into every poll's address.
    EXPECT_TRUE(codigoAceptable(QStringLiteral("A") + QString(255, u'7')));
    EXPECT_FALSE(codigoAceptable(QStringLiteral("A") + QString(256, u'7')));
    EXPECT_FALSE(codigoAceptable(QString(10 * 1024 * 1024, u'7')));
    EXPECT_FALSE(codigoAceptable(QStringLiteral("12345678901234")));
    EXPECT_FALSE(codigoAceptable(QStringLiteral("12345678901234A")));
    EXPECT_FALSE(codigoAceptable(QStringLiteral("1234567 8901234")));
    EXPECT_FALSE(codigoAceptable(QStringLiteral(" 12345678901234 ")));
    EXPECT_FALSE(codigoAceptable(QStringLiteral("1234567890123.4")));
    EXPECT_FALSE(codigoAceptable(QString()));
}

TEST_F(CodigoSucursal, CodigoGuardadoSeAceptaSinPreguntar) {
    escribir(k15.toLatin1() + "\r\n");
    EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), k15);
    EXPECT_TRUE(dialogos.prompts().empty());
    EXPECT_EQ(contenido(), k15.toLatin1() + "\r\n");
}

TEST_F(CodigoSucursal, CodigosAceptadosTalCual) {
    for (const QByteArray& codigo : {QByteArray("A12345678901234"), QByteArray("1234512345123456")}) {
        escribir(codigo);  // the only line, without a line end
        EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), QString::fromLatin1(codigo));
        EXPECT_EQ(contenido(), codigo);
    }
    EXPECT_TRUE(dialogos.prompts().empty());
}

TEST_F(CodigoSucursal, CodigoCortoPideCorreccionYBorraLaSegundaLinea) {
    escribir("12345678901234\r\nTECNIKA\r\n");
    dialogos.answers = {QStringLiteral("12345678901234A"), QString(), k15};
    EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), k15);
    ASSERT_EQ(dialogos.prompts().size(), 3u);
    for (const auto& p : dialogos.prompts()) esCorreccion(p);
    EXPECT_EQ(contenido(), k15.toLatin1() + "\r\n");
    EXPECT_EQ(leerModoAcceso(carpeta()), QString());
    EXPECT_TRUE(dialogos.messages().empty());
}

TEST_F(CodigoSucursal, ArchivoVacioPideCorreccion) {
    escribir("");
    dialogos.answers = {k15};
    EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), k15);
    ASSERT_EQ(dialogos.prompts().size(), 1u);
    esCorreccion(dialogos.prompts()[0]);
}

TEST_F(CodigoSucursal, PrimerArranqueGuardaLaBienvenidaAntesDeRevisarla) {
    QList<QByteArray> contenidoAlPreguntar;
    dialogos.onPrompt = [&] { contenidoAlPreguntar.append(contenido()); };
    dialogos.answers = {QStringLiteral("12345"), k15};
    EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), k15);
    ASSERT_EQ(dialogos.prompts().size(), 2u);
    EXPECT_EQ(dialogos.prompts()[0].title, QStringLiteral("Sistema de impresion"));
    EXPECT_EQ(dialogos.prompts()[0].text,
              QStringLiteral("Bienvenido al sistema de Impresion de TavrelPOS. Escribe codigo de la sucursal y presiona "
                             "Aceptar para iniciar"));
    esCorreccion(dialogos.prompts()[1]);
    EXPECT_EQ(contenidoAlPreguntar, (QList<QByteArray>{"<missing>", "12345\r\n"}));
    EXPECT_EQ(contenido(), k15.toLatin1() + "\r\n");
}

TEST_F(CodigoSucursal, UnaPreguntaCanceladaTerminaSinCodigo) {
    // The welcome prompt cancelled on first start: nothing is stored and nothing more is asked.
    dialogos.answers = {std::nullopt, k15};
    EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), std::nullopt);
    EXPECT_EQ(dialogos.prompts().size(), 1u);
    EXPECT_EQ(contenido(), "<missing>");
    // A correction prompt cancelled: the stored code stays as it was.
    escribir("123\r\n");
    dialogos.shown.clear();
    dialogos.answers = {QStringLiteral("456"), std::nullopt, k15};
    EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), std::nullopt);
    EXPECT_EQ(dialogos.prompts().size(), 2u);
    EXPECT_EQ(contenido(), "123\r\n");
}

TEST_F(CodigoSucursal, ArchivoQueNoSePuedeEscribirSeDiceYSigueElCodigoEnMemoria) {
    // A folder named Acceso: it exists, cannot be read as text and cannot be written.
    ASSERT_TRUE(QDir(carpeta()).mkdir(kArchivoAcceso));
    dialogos.answers = {k15};
    EXPECT_EQ(leerCodigoSucursal(carpeta(), dialogos), k15);
    ASSERT_EQ(dialogos.messages().size(), 1u);
    EXPECT_TRUE(dialogos.messages()[0].text.contains(QDir::toNativeSeparators(ruta())))
        << dialogos.messages()[0].text.toStdString();
    EXPECT_EQ(dialogos.messages()[0].icon, platform::MessageIcon::Warning);
    EXPECT_FALSE(escribirCodigo(ruta(), k15, dialogos));
    EXPECT_EQ(dialogos.messages().size(), 2u);
}

TEST_F(CodigoSucursal, ModoDeAcceso) {
    const auto modo = [&](const QByteArray& bytes) {
        escribir(bytes);
        return esModoSoporte(leerModoAcceso(carpeta()));
    };
    EXPECT_TRUE(modo(k15.toLatin1() + "\r\nTECNIKA\r\n"));
    EXPECT_TRUE(modo(k15.toLatin1() + "\r\ntecnika"));
    EXPECT_TRUE(modo(k15.toLatin1() + "\r\nTecNika\r\nmas\r\n"));
    EXPECT_FALSE(modo(k15.toLatin1() + "\r\nTECNIKA \r\n"));
    EXPECT_FALSE(modo(k15.toLatin1() + "\r\n"));
    EXPECT_FALSE(modo(""));
    EXPECT_EQ(leerModoAcceso(carpeta()), QString());
    QFile::remove(ruta());
    EXPECT_EQ(leerModoAcceso(carpeta()), QString());
}

TEST_F(CodigoSucursal, CambioAceptadoSeGuarda) {
    escribir("999999999999999\r\nTECNIKA\r\n");
    dialogos.answers = {k15};
    EXPECT_EQ(cambiarCodigoSucursal(carpeta(), dialogos), k15);
    ASSERT_EQ(dialogos.prompts().size(), 1u);
    EXPECT_EQ(dialogos.prompts()[0].title, QStringLiteral("Sistema de impresion"));
    EXPECT_EQ(dialogos.prompts()[0].text, QStringLiteral("Escribe codigo de la sucursal y presiona Aceptar para iniciar"));
    EXPECT_EQ(contenido(), k15.toLatin1() + "\r\n");
}

TEST_F(CodigoSucursal, CambioConCodigoMaloSoloGuardaElAceptado) {
    escribir("999999999999999\r\n");
    QList<QByteArray> contenidoAlPreguntar;
    dialogos.onPrompt = [&] { contenidoAlPreguntar.append(contenido()); };
    dialogos.answers = {QStringLiteral("1234567890"), k15};
    EXPECT_EQ(cambiarCodigoSucursal(carpeta(), dialogos), k15);
    ASSERT_EQ(dialogos.prompts().size(), 2u);
    esCorreccion(dialogos.prompts()[1]);
    EXPECT_EQ(contenidoAlPreguntar, (QList<QByteArray>{"999999999999999\r\n", "999999999999999\r\n"}));
    EXPECT_EQ(contenido(), k15.toLatin1() + "\r\n");
}

TEST_F(CodigoSucursal, CancelarElCambioConservaElCodigo) {
    const QByteArray antes = "999999999999999\r\nTECNIKA\r\n";
    for (const auto& respuestas : {std::deque<std::optional<QString>>{std::nullopt},
                                   std::deque<std::optional<QString>>{QStringLiteral("123"), std::nullopt}}) {
        escribir(antes);
        dialogos.answers = respuestas;
        EXPECT_EQ(cambiarCodigoSucursal(carpeta(), dialogos), std::nullopt);
        EXPECT_EQ(contenido(), antes);
    }
}

TEST_F(CodigoSucursal, CambioQueNoSePuedeGuardarNoDevuelveCodigo) {
    ASSERT_TRUE(QDir(carpeta()).mkdir(kArchivoAcceso));
    dialogos.answers = {k15};
    EXPECT_EQ(cambiarCodigoSucursal(carpeta(), dialogos), std::nullopt);
    EXPECT_EQ(dialogos.messages().size(), 1u);
}

}  // namespace
}  // namespace kelmora::shell
