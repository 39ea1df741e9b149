#include "shell/salida_estandar.h"

#include "shell/arranque.h"
#include "shell/ciclo_consulta.h"
#include "support/service_fakes.h"

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
    explicit Salida(bool detallado) : salida{reloj, estandar.get(), errores.get(), detallado} {}

    platform::FixedClock reloj{QDateTime(QDate(2024, 3, 3), QTime(17, 5, 9, 42))};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> estandar{std::tmpfile(), &std::fclose};
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> errores{std::tmpfile(), &std::fclose};
    SalidaEstandar salida;
};

TEST(SalidaEstandar, ConDetalleConsolaIconosYGlobosVanALaSalidaConHora) {
    Salida s(true);
    s.salida.escribirConsola(QStringLiteral("Peticion HTTP: \r\n--"));
    s.salida.escribirConsola(QStringLiteral("{\"a\":\n1}"));
    s.salida.escribirConsola(QString());
    s.salida.Init(QStringLiteral("Kelmora Tavrel"));
    s.salida.SetIcon(EstadoIcono::Conectado, QStringLiteral("Conectado"));
    s.salida.ShowBalloonTip(QStringLiteral("Impreso en Cocina"), platform::BalloonIcon::Warning,
                            QStringLiteral("Comanda"), 30000);
    EXPECT_EQ(leido(s.estandar.get()),
              QStringLiteral("2024-03-03 17:05:09.042 Peticion HTTP: \n"
                             "2024-03-03 17:05:09.042 --\n"
                             "2024-03-03 17:05:09.042 {\"a\":\n"
                             "2024-03-03 17:05:09.042 1}\n"
                             "2024-03-03 17:05:09.042 \n"
                             "2024-03-03 17:05:09.042 Icono: Kelmora Tavrel\n"
                             "2024-03-03 17:05:09.042 Icono [conectado]: Conectado\n"
                             "2024-03-03 17:05:09.042 Globo [advertencia] Comanda: Impreso en Cocina\n"));
    EXPECT_EQ(leido(s.errores.get()), QString());
}

TEST(SalidaEstandar, MensajesALosErroresYNadaQuePreguntarConDetalleOSinEl) {
    for (const bool detallado : {false, true}) {
        SCOPED_TRACE(detallado ? "con detalle" : "sin detalle");
        Salida s(detallado);
        s.salida.showMessage(QStringLiteral("No se pudo"), platform::MessageIcon::Warning, QString());
        s.salida.showMessage(QStringLiteral("Imagen no Valida"), platform::MessageIcon::Error,
                             QStringLiteral("Error en la imagen"));
        EXPECT_EQ(s.salida.askText(QStringLiteral("t"), QStringLiteral("m")), std::nullopt);
        EXPECT_EQ(leido(s.errores.get()),
                  QStringLiteral("2024-03-03 17:05:09.042 Mensaje [advertencia] Kelmora: No se pudo\n"
                                 "2024-03-03 17:05:09.042 Mensaje [error] Error en la imagen: Imagen no Valida\n"));
        EXPECT_EQ(leido(s.estandar.get()), QString());
    }
}

TEST(SalidaEstandarRegistro, CadaAnotacionEsUnaLineaConHoraEnLosErrores) {
    for (const bool detallado : {false, true}) {
        SCOPED_TRACE(detallado ? "con detalle" : "sin detalle");
        Salida s(detallado);
        Bitacora& bitacora = s.salida;
        bitacora.anotar(QStringLiteral("El servidor no responde"));
        // A server's text may bring its own line breaks; a line must stay one line.
        bitacora.anotar(QStringLiteral("Error en Cocina:\r\nsin papel\n"));
        bitacora.anotar(QStringLiteral("a\rb\n\nc"));
        EXPECT_EQ(leido(s.errores.get()), QStringLiteral("2024-03-03 17:05:09.042 El servidor no responde\n"
                                                         "2024-03-03 17:05:09.042 Error en Cocina: | sin papel\n"
                                                         "2024-03-03 17:05:09.042 a | b | c\n"));
        EXPECT_EQ(leido(s.estandar.get()), QString());
    }
}

// An hour of polls that the server answers with nothing to print, through the real start-up and
// poll cycle, with the standard output as their window and tray. How many polls went out, and
// what reached each stream.
struct HoraVacia {
    std::size_t consultas = 0;
    QString salida;
    QString errores;
};
HoraVacia unaHoraSinTrabajos(bool detallado) {
    const QString vacia = QStringLiteral(
        "00000{\"config\":[],\"comanda\":[],\"anulaciones\":[],\"factura\":[],\"abrirCajon\":false,\"idsLeidos\":[]}");
    Salida s(detallado);
    testing::FakeTimeLine tiempo;
    testing::FakeTimer reloj{tiempo};
    testing::FakeTimer limite{tiempo};
    testing::FakePageLoader cargador;
    platform::NoEventPump eventos;
    CicloConsulta ciclo{CicloConsulta::Servicios{s.salida, cargador, reloj, limite, [](const Value&, const QString&) {}},
                        urlConsulta(QStringLiteral("https://central.example"), QStringLiteral("123451234512345"))};
    iniciarServicio(s.salida, s.salida, eventos, ciclo, false);
    for (int i = 0; i < 3600 * 1000 / limites::intervaloConsultaMs; ++i) {
        tiempo.advance(limites::intervaloConsultaMs);
        if (!cargador.underWay) break;
        cargador.status(QStringLiteral("HTTP 200 OK"));
        cargador.complete(vacia);
    }
    return {cargador.requests.size(), leido(s.estandar.get()), leido(s.errores.get())};
}

TEST(SalidaEstandarRegistro, UnaHoraDeConsultasVaciasNoEscribeNadaSinDetalle) {
    const HoraVacia sinDetalle = unaHoraSinTrabajos(false);
    EXPECT_EQ(sinDetalle.consultas, 2400u);
    EXPECT_EQ(sinDetalle.salida, QString()) << sinDetalle.salida.left(2000).toStdString();
    EXPECT_EQ(sinDetalle.errores, QString()) << sinDetalle.errores.left(2000).toStdString();

    // With --verbose every poll's exchange is there.
    const HoraVacia conDetalle = unaHoraSinTrabajos(true);
    EXPECT_EQ(conDetalle.consultas, 2400u);
    EXPECT_EQ(conDetalle.salida.count(QStringLiteral(" Peticion HTTP: \n")), 2400);
    EXPECT_EQ(conDetalle.salida.count(QStringLiteral(" Icono [conectado]: Conectado\n")), 2400);
    EXPECT_EQ(conDetalle.errores, QString());
}

}  // namespace
}  // namespace kelmora::shell
