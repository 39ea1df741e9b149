#include "shell/arranque.h"
#include "shell/ciclo_consulta.h"

#include "json/runtime_error.h"
#include "support/service_fakes.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace kelmora::shell {
namespace {

using testing::FakePageLoader;
using testing::FakeTimeLine;
using testing::FakeTimer;
using testing::RecordingView;

const QString kCodigo = QStringLiteral("123451234512345");
// Five leading characters, then a payload with something to print.
const QString kRespuesta = QStringLiteral(
    "xxxxx{\"config\":[],\"comanda\":[{\"id\":1}],\"anulaciones\":[],\"factura\":[],\"abrirCajon\":false,"
    "\"idsLeidos\":[7]}");

// A cycle on fake time, with a dispatcher that reads the payload as the real one does.
struct Banco {
    FakeTimeLine tiempo;
    FakeTimer reloj{tiempo};
    FakeTimer limite{tiempo};
    FakePageLoader cargador;
    RecordingView vista;
    std::vector<Value> despachados;
    std::function<void(const Value&)> alDespachar;
    CicloConsulta ciclo{CicloConsulta::Servicios{vista, cargador, reloj, limite,
                                              [this](const Value& datos, const QString&) {
                                                  datos[u"config"].toCollection();
                                                  datos[u"idsLeidos"].toCollection();
                                                  if (alDespachar) alDespachar(datos);
                                                  despachados.push_back(datos);
                                              }},
                        urlConsulta(QStringLiteral("https://central.example:8443"), kCodigo)};

    Banco() { ciclo.iniciar(); }

    // Ticks until the next fetch starts; how many it took.
    int ticksHastaConsulta(int maximo = 100) {
        const auto antes = cargador.requests.size();
        for (int i = 1; i <= maximo; ++i) {
            tiempo.advance(limites::intervaloConsultaMs);
            if (cargador.requests.size() > antes) return i;
        }
        return -1;
    }
    // A poll started and answered.
    void consultaRespondida(const QString& cuerpo) {
        ASSERT_EQ(ticksHastaConsulta(1), 1);
        cargador.complete(cuerpo);
    }
};

TEST(CicloConsultaRitmo, PrimeraConsultaUnIntervaloDespuesDelArranque) {
    Banco b;
    b.tiempo.advance(1499);
    EXPECT_TRUE(b.cargador.requests.empty());
    EXPECT_TRUE(b.vista.console.isEmpty());
    b.tiempo.advance(1);
    ASSERT_EQ(b.cargador.requests.size(), 1u);
    EXPECT_EQ(b.cargador.limitBytes, 32 * 1024 * 1024);
}

TEST(CicloConsultaRitmo, LaConsolaMuestraLaUrlQueSePide) {
    Banco b;
    b.tiempo.advance(1500);
    ASSERT_EQ(b.cargador.requests.size(), 1u);
    const QString pedida = b.cargador.requests[0].toString(QUrl::FullyEncoded);
    EXPECT_EQ(pedida, QStringLiteral("https://central.example:8443/?r=servicio/getImpresiones&idSyA=123451234512345"));
    EXPECT_EQ(b.vista.console, (QStringList{QStringLiteral("Peticion HTTP: \r\n--"), pedida}));
}

TEST(CicloConsultaRitmo, CadaConsultaEmpiezaConLaConsolaVacia) {
    Banco b;
    b.consultaRespondida(kRespuesta);
    b.tiempo.advance(1500);
    ASSERT_EQ(b.cargador.requests.size(), 2u);
    EXPECT_EQ(b.vista.console.size(), 2);
    EXPECT_EQ(b.vista.events.count(QStringLiteral("limpiar")), 2);
}

TEST(CicloConsultaRitmo, UrlConCodigoQueNoPuedeTerminarLaConsulta) {
    EXPECT_EQ(urlConsulta(QStringLiteral("http://10.0.0.5/"), QStringLiteral("#12345678901234")).toString(
                  QUrl::FullyEncoded),
              QStringLiteral("http://10.0.0.5/?r=servicio/getImpresiones&idSyA=%2312345678901234"));
}

TEST(CicloConsultaRespuesta, RespuestaNormalSeDespachaYCambiaLosIconos) {
    Banco b;
    b.tiempo.advance(1500);
    b.cargador.status(QStringLiteral("HTTP 200 OK"));
    b.cargador.complete(kRespuesta);
    ASSERT_EQ(b.despachados.size(), 1u);
    EXPECT_EQ(b.despachados[0][u"idsLeidos"].toCollection().Count(), 1);
    EXPECT_FALSE(b.ciclo.ocupado());
    EXPECT_EQ(b.vista.console.mid(2), (QStringList{textos::separadorEstado, QStringLiteral("HTTP 200 OK"), kRespuesta,
                                                   QStringLiteral("Respuesta: "), QStringLiteral("--")}));
    ASSERT_EQ(b.vista.icons.size(), 2u);
    EXPECT_EQ(b.vista.icons[0], std::make_pair(EstadoIcono::OK, QStringLiteral("Sincronizacion satisfactoria")));
    EXPECT_EQ(b.vista.icons[1], std::make_pair(EstadoIcono::Conectado, QStringLiteral("Conectado")));
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
}

TEST(CicloConsultaRespuesta, SinLosCincoCaracteresLaLecturaFalla) {
    Banco b;
    b.consultaRespondida(kRespuesta.mid(5));
    EXPECT_TRUE(b.despachados.empty());
    ASSERT_GE(b.vista.console.size(), 6);
    EXPECT_EQ(b.vista.console[4], QStringLiteral("--"));
    EXPECT_FALSE(b.vista.console[5].isEmpty());
    EXPECT_FALSE(b.ciclo.ocupado());
    EXPECT_EQ(b.vista.icons.back().second, QStringLiteral("Conectado"));
}

TEST(CicloConsultaRespuesta, RespuestaDeCincoCaracteresOMenosRegistraElErrorDelLector) {
    for (const QString& cuerpo : {QStringLiteral("12345"), QStringLiteral("ab"), QString()}) {
        Banco b;
        b.consultaRespondida(cuerpo);
        EXPECT_TRUE(b.despachados.empty());
        JsonReader lector;
        lector.leerJSON(QString());
        ASSERT_EQ(b.vista.console.size(), 6) << cuerpo.toStdString();
        EXPECT_EQ(b.vista.console.mid(2),
                  (QStringList{cuerpo, QStringLiteral("Respuesta: "), QStringLiteral("--"), lector.erroresJSON()}));
        EXPECT_FALSE(lector.erroresJSON().isEmpty());
        EXPECT_FALSE(b.ciclo.ocupado());
        EXPECT_EQ(b.vista.icons.size(), 2u);
        EXPECT_EQ(b.ticksHastaConsulta(), 1);
    }
}

TEST(CicloConsultaRespuesta, UnArregloComoRespuestaDetieneLaConsultaVeintiunTicks) {
    Banco b;
    b.consultaRespondida(QStringLiteral("xxxxx[1,2,3]"));
    EXPECT_TRUE(b.despachados.empty());
    EXPECT_TRUE(b.ciclo.ocupado());
    EXPECT_TRUE(b.vista.icons.empty());
    // The failure is told on the console, after the handling's own lines.
    EXPECT_EQ(b.vista.console.mid(3),
              (QStringList{QStringLiteral("Respuesta: "), QStringLiteral("--"),
                           QStringLiteral("Error al procesar la respuesta: ") + errors::objectRequired}));
    // 20 ticks skipped, the 21st clears the flag, the 22nd polls.
    for (int tic = 1; tic <= 20; ++tic) {
        b.tiempo.advance(1500);
        EXPECT_EQ(b.ciclo.contadorEspera(), tic);
        EXPECT_TRUE(b.ciclo.ocupado());
    }
    b.tiempo.advance(1500);
    EXPECT_FALSE(b.ciclo.ocupado());
    EXPECT_EQ(b.ciclo.contadorEspera(), 0);
    EXPECT_EQ(b.cargador.requests.size(), 1u);
    b.tiempo.advance(1500);
    EXPECT_EQ(b.cargador.requests.size(), 2u);
}

TEST(CicloConsultaRespuesta, UnFalloDelDespachoSeEscribeEnLaConsola) {
    Banco b;
    b.alDespachar = [](const Value&) { throw RuntimeError(errors::invalidUseOfNull); };
    b.consultaRespondida(kRespuesta);
    EXPECT_TRUE(b.ciclo.ocupado());
    EXPECT_EQ(b.vista.console.last(), QStringLiteral("Error al procesar la respuesta: Uso no válido de Null"));
    EXPECT_EQ(b.ticksHastaConsulta(), 22);
}

TEST(CicloConsultaRespuesta, TicksDuranteElDespachoSoloCuentan) {
    Banco b;
    // The invoice printer lets pending events run: the ticks that come in meanwhile start nothing.
    b.alDespachar = [&b](const Value&) { b.tiempo.advance(3 * 1500); };
    b.consultaRespondida(kRespuesta);
    EXPECT_EQ(b.cargador.requests.size(), 1u);
    EXPECT_EQ(b.ciclo.contadorEspera(), 3);
    EXPECT_FALSE(b.ciclo.ocupado());
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
}

TEST(CicloConsultaEspera, UnaRespuestaLentaSeAtiende) {
    Banco b;
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    // Three seconds without an answer: two ticks pass, the fetch stays.
    b.tiempo.advance(3000);
    EXPECT_EQ(b.cargador.requests.size(), 1u);
    EXPECT_EQ(b.cargador.abandoned, 0);
    EXPECT_TRUE(b.ciclo.consultaEnCurso());
    b.cargador.complete(kRespuesta);
    EXPECT_EQ(b.despachados.size(), 1u);
    EXPECT_FALSE(b.ciclo.consultaEnCurso());
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
}

TEST(CicloConsultaEspera, SinRespuestaEnVeinteSegundosSeAbandona) {
    Banco b;
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    b.tiempo.advance(19999);
    EXPECT_EQ(b.cargador.abandoned, 0);
    EXPECT_TRUE(b.cargador.underWay);
    b.tiempo.advance(1);
    EXPECT_EQ(b.cargador.abandoned, 1);
    EXPECT_FALSE(b.ciclo.consultaEnCurso());
    EXPECT_EQ(b.vista.console.last(), QStringLiteral("Peticion abandonada: el servidor no respondio en 20 segundos"));
    ASSERT_EQ(b.vista.icons.size(), 1u);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Desconectado, QStringLiteral("Sin conexion con el servidor")));
    EXPECT_EQ(b.cargador.requests.size(), 1u);
    // The next tick polls again.
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
    EXPECT_EQ(b.cargador.requests.size(), 2u);
}

TEST(CicloConsultaEspera, UnaRespuestaAtendidaApagaElLimite) {
    Banco b;
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    b.tiempo.advance(15000);
    b.cargador.complete(kRespuesta);
    // The next fetch gets its own 20 s.
    ASSERT_EQ(b.ticksHastaConsulta(), 1);
    b.tiempo.advance(19000);
    EXPECT_EQ(b.cargador.abandoned, 0);
}

TEST(CicloConsultaEspera, RespuestaDemasiadoGrandeSeDescartaYSigueLaConsulta) {
    Banco b;
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    b.cargador.fail(platform::PageLoader::Failure::TooLarge, QStringLiteral("more than 33554432 bytes"));
    EXPECT_EQ(b.vista.console.last(), QStringLiteral("Respuesta descartada: supera el limite de 32 MiB"));
    EXPECT_TRUE(b.despachados.empty());
    EXPECT_FALSE(b.ciclo.ocupado());
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
}

TEST(CicloConsultaEspera, SinConexionSeDiceYSigueLaConsulta) {
    Banco b;
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    b.cargador.fail(platform::PageLoader::Failure::Transport, QStringLiteral("Connection refused"));
    EXPECT_EQ(b.vista.console.last(), QStringLiteral("Sin respuesta del servidor: Connection refused"));
    ASSERT_EQ(b.vista.icons.size(), 1u);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Desconectado, QStringLiteral("Sin conexion con el servidor")));
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
    // The time-out of the failed fetch does not strike the next one early.
    b.tiempo.advance(19000);
    EXPECT_EQ(b.cargador.abandoned, 0);
    // A redirect elsewhere is a failed poll that says where it pointed.
    b.cargador.fail(platform::PageLoader::Failure::Redirect, QStringLiteral("http://otro.example/"));
    EXPECT_EQ(b.vista.console.last(), QStringLiteral("Redirección rechazada: el servidor apuntó a http://otro.example/"));
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
}

// The tray tells the truth: no server, documents not on paper, or all well; and the log says only
// when the server stops or starts answering again.
TEST(CicloConsultaBandeja, DiceSiElServidorRespondeYCuantosTicketsFaltan) {
    Banco b;
    testing::RecordingLog bitacora;
    b.ciclo.setBitacora(bitacora);
    const QString vacia = QStringLiteral("12345{\"config\":[],\"idsLeidos\":[]}");
    b.consultaRespondida(vacia);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Conectado, QStringLiteral("Conectado")));
    b.consultaRespondida(vacia);
    EXPECT_TRUE(bitacora.lines.isEmpty());

    // Held documents: the error picture with their count, until they print.
    b.ciclo.mostrarSinImprimir(3);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Error, QStringLiteral("3 tickets sin imprimir")));
    b.consultaRespondida(vacia);
    ASSERT_GE(b.vista.icons.size(), 2u);
    EXPECT_EQ(b.vista.icons[b.vista.icons.size() - 2].first, EstadoIcono::OK);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Error, QStringLiteral("3 tickets sin imprimir")));
    b.ciclo.mostrarSinImprimir(1);
    EXPECT_EQ(b.vista.icons.back().second, QStringLiteral("1 ticket sin imprimir"));

    // The server goes away: disconnected, and the count stays beside it; said once in the log.
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    b.cargador.fail(platform::PageLoader::Failure::Transport, QStringLiteral("Connection refused"));
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    b.cargador.fail(platform::PageLoader::Failure::Transport, QStringLiteral("Connection refused"));
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Desconectado,
                                              QStringLiteral("Sin conexion con el servidor; 1 ticket sin imprimir")));
    b.ciclo.mostrarSinImprimir(2);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Desconectado,
                                              QStringLiteral("Sin conexion con el servidor; 2 tickets sin imprimir")));
    b.ciclo.mostrarSinImprimir(0);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Desconectado, QStringLiteral("Sin conexion con el servidor")));
    EXPECT_EQ(bitacora.lines, QStringList{QStringLiteral("El servidor no responde: Connection refused")});
    EXPECT_EQ(bitacora.gravedades, QList{Gravedad::Advertencia});

    // The first answer puts "Conectado" back, and says so.
    b.consultaRespondida(vacia);
    EXPECT_EQ(b.vista.icons.back(), std::pair(EstadoIcono::Conectado, QStringLiteral("Conectado")));
    EXPECT_EQ(bitacora.lines.size(), 2);
    EXPECT_EQ(bitacora.lines.last(), QStringLiteral("El servidor responde de nuevo"));
}

TEST(CicloConsultaPausa, DosPulsacionesVuelvenAPausarYLaConsultaSigue) {
    Banco b;
    b.ciclo.pausarOReanudar();
    EXPECT_EQ(b.vista.button, QStringLiteral("Reanudar Reloj"));
    EXPECT_FALSE(b.ciclo.temporizadorActivo());
    b.tiempo.advance(60000);
    EXPECT_TRUE(b.cargador.requests.empty());
    b.ciclo.pausarOReanudar();
    EXPECT_EQ(b.vista.button, QStringLiteral("Pausar Reloj"));
    EXPECT_EQ(b.ticksHastaConsulta(), 1);
}

TEST(CicloConsultaPausa, PausadoConLaBanderaPuestaLaEsperaNoAvanza) {
    Banco b;
    b.consultaRespondida(QStringLiteral("xxxxx[]"));
    ASSERT_TRUE(b.ciclo.ocupado());
    b.tiempo.advance(5 * 1500);
    ASSERT_EQ(b.ciclo.contadorEspera(), 5);
    b.ciclo.pausarOReanudar();
    b.tiempo.advance(100 * 1500);
    EXPECT_TRUE(b.ciclo.ocupado());
    EXPECT_EQ(b.ciclo.contadorEspera(), 5);
    b.ciclo.pausarOReanudar();
    // The 16 ticks left of the wait, then the poll.
    EXPECT_EQ(b.ticksHastaConsulta(), 17);
}

TEST(CicloConsultaPausa, UnaConsultaEnCursoTerminaAunqueSePause) {
    Banco b;
    ASSERT_EQ(b.ticksHastaConsulta(1), 1);
    b.ciclo.pausarOReanudar();
    b.cargador.complete(kRespuesta);
    EXPECT_EQ(b.despachados.size(), 1u);
    b.tiempo.advance(60000);
    EXPECT_EQ(b.cargador.requests.size(), 1u);
}

TEST(Arranque, OcultaLaVentanaMuestraElIconoYEmpiezaAConsultar) {
    for (const bool soporte : {false, true}) {
        Banco b;
        b.reloj.stop();
        testing::RecordingNotifier avisos;
        platform::NoEventPump eventos;
        iniciarServicio(b.vista, avisos, eventos, b.ciclo, soporte);
        EXPECT_EQ(b.vista.events,
                  (QStringList{soporte ? QStringLiteral("ventana visible") : QStringLiteral("ventana oculta"),
                               QStringLiteral("Init: Kelmora Tavrel"), QStringLiteral("SetIcon: Conectando")}));
        EXPECT_EQ(b.vista.icons[0].first, EstadoIcono::Desconectado);
        ASSERT_EQ(avisos.balloons.size(), 1u);
        EXPECT_EQ(avisos.balloons[0].text, QStringLiteral("Sistema funcionando correctamente"));
        EXPECT_EQ(avisos.balloons[0].icon, platform::BalloonIcon::Information);
        EXPECT_EQ(avisos.balloons[0].title, QStringLiteral("Sistema de impresora"));
        EXPECT_EQ(avisos.balloons[0].timeoutMs, 30000);
        EXPECT_TRUE(b.ciclo.temporizadorActivo());
        EXPECT_EQ(b.reloj.interval(), 1500);
    }
}

}  // namespace
}  // namespace kelmora::shell
