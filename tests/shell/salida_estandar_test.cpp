#include "shell/salida_estandar.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace kelmora::shell {
namespace {

// What was written to a temporary stream.
QString leido(std::FILE* f) {
    std::rewind(f);
    QByteArray bytes;
    char bloque[4096];
    std::size_t n;
    while ((n = std::fread(bloque, 1, sizeof bloque, f)) > 0) bytes.append(bloque, static_cast<qsizetype>(n));
    return QString::fromUtf8(bytes);
}

struct Salida {
    platform::FixedClock reloj{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9, 42))};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> estandar{std::tmpfile(), &std::fclose};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> errores{std::tmpfile(), &std::fclose};
    SalidaEstandar salida{reloj, estandar.get(), errores.get()};
};

TEST(SalidaEstandar, ConsolaIconosYGlobosVanALaSalidaConHora) {
    Salida s;
    s.salida.escribirConsola(QStringLiteral("Peticion HTTP: \r\n--"));
    s.salida.escribirConsola(QStringLiteral("{\"a\":\n1}"));
    s.salida.escribirConsola(QString());
    s.salida.SetIcon(EstadoIcono::Conectado, QStringLiteral("Conectado"));
    s.salida.ShowBalloonTip(QStringLiteral("Impreso en Cocina"), platform::BalloonIcon::Warning,
                            QStringLiteral("Comanda"), 30000);
    EXPECT_EQ(leido(s.estandar.get()),
              QStringLiteral("2024-03-03 17:05:09.042 Peticion HTTP: \n"
                             "2024-03-03 17:05:09.042 --\n"
                             "2024-03-03 17:05:09.042 {\"a\":\n"
                             "2024-03-03 17:05:09.042 1}\n"
                             "2024-03-03 17:05:09.042 \n"
                             "2024-03-03 17:05:09.042 Icono [conectado]: Conectado\n"
                             "2024-03-03 17:05:09.042 Globo [advertencia] Comanda: Impreso en Cocina\n"));
    EXPECT_EQ(leido(s.errores.get()), QString());
}

TEST(SalidaEstandar, MensajesALosErroresYNadaQuePreguntar) {
    Salida s;
    s.salida.showMessage(QStringLiteral("No se pudo"), platform::MessageIcon::Warning, QString());
    s.salida.showMessage(QStringLiteral("Imagen no Valida"), platform::MessageIcon::Error,
                         QStringLiteral("Error en la imagen"));
    EXPECT_EQ(s.salida.askText(QStringLiteral("t"), QStringLiteral("m")), std::nullopt);
    EXPECT_EQ(leido(s.errores.get()),
              QStringLiteral("2024-03-03 17:05:09.042 Mensaje [advertencia] Kelmora: No se pudo\n"
                             "2024-03-03 17:05:09.042 Mensaje [error] Error en la imagen: Imagen no Valida\n"));
    EXPECT_EQ(leido(s.estandar.get()), QString());
}

}  // namespace
}  // namespace kelmora::shell
