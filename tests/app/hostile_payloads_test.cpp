// Hostile answers through the real `kelmora render`: every one must end as the service would end
// it (a printed ticket, a warning balloon, a stopped dispatch, a logged JSON fault), never in a
// crash, a hang or unbounded output.
#include "json/runtime_error.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <variant>

namespace kelmora {
namespace {

// How a render ended, in the service's terms.
enum class Final {
    Printed,  // exit 0, no warning balloon
    Balloon,  // exit 0, the kitchen printer caught an error in a warning balloon
    Stopped,  // exit 3: an error no ticket caught ended the dispatch; its description on stderr
    Logged,   // exit 1: the JSON reader's faults on stderr, nothing dispatched
    Crashed,  // a signal, another exit status, or no end within the time limit
};

const char* nombre(Final f) {
    switch (f) {
    case Final::Printed: return "printed";
    case Final::Balloon: return "balloon";
    case Final::Stopped: return "stopped";
    case Final::Logged: return "logged";
    case Final::Crashed: return "CRASHED";
    }
    return "?";
}

const QStringList kDescripcionesConocidas{errors::typeMismatch,        errors::invalidUseOfNull, errors::overflow,
                                          errors::divisionByZero,      errors::subscriptOutOfRange,
                                          errors::objectRequired,      errors::outOfMemory};

struct Resultado {
    Final final = Final::Crashed;
    int estado = -1;
    QString errores;          // stderr
    QStringList archivos;     // what the virtual printers left, balloons.txt aside
    QStringList globos;       // balloons.txt, one line each
    QString documentos;       // every document's text, joined
    qint64 bytesSalida = 0;   // everything written to the output folder
    qint64 milisegundos = 0;

    bool hayGlobo(const QString& prefijo) const {
        return std::any_of(globos.begin(), globos.end(), [&](const QString& g) { return g.startsWith(prefijo); });
    }
    bool abrioCajon() const { return archivos.contains(QStringLiteral("Facturas.raw")); }
    bool imprimioFactura() const { return hayGlobo(QStringLiteral("1|Impresion de Factura|Factura enviada a ")); }
    bool imprimioAnulacion() const { return documentos.contains(QStringLiteral("A N U L A C I O N!!")); }
    bool imprimioAlgo() const { return !archivos.isEmpty(); }
    std::string resumen() const {
        return std::string(nombre(final)) + " (exit " + std::to_string(estado) + ") stderr: " +
               errores.left(300).toStdString() + " balloons: " + globos.join(u" / ").left(500).toStdString();
    }
};

// Runs `kelmora render` on answers, two at a time (the time limit is per answer).
class Renders {
public:
    explicit Renders(int limiteMs = 60000) : limiteMs_(limiteMs) {}

    std::vector<Resultado> correr(const std::vector<QByteArray>& respuestas) {
        ++lote_;
        std::vector<Resultado> resultados(respuestas.size());
        struct EnCurso {
            size_t indice;
            std::unique_ptr<QProcess> proceso;
            QElapsedTimer reloj;
        };
        std::deque<EnCurso> enCurso;
        size_t siguiente = 0;
        while (siguiente < respuestas.size() || !enCurso.empty()) {
            while (siguiente < respuestas.size() && enCurso.size() < 2) {
                enCurso.push_back(EnCurso{siguiente, iniciar(siguiente, respuestas[siguiente]), {}});
                enCurso.back().reloj.start();
                ++siguiente;
            }
            EnCurso actual = std::move(enCurso.front());
            enCurso.pop_front();
            resultados[actual.indice] = terminar(actual.indice, *actual.proceso, actual.reloj);
        }
        return resultados;
    }
    Resultado correr(const QByteArray& respuesta) { return correr(std::vector<QByteArray>{respuesta}).front(); }

private:
    QString carpeta(size_t i, const char* que) const {
        return tmp_.filePath(QStringLiteral("%1-%2").arg(lote_).arg(i) + QString::fromUtf8(que));
    }

    std::unique_ptr<QProcess> iniciar(size_t i, const QByteArray& respuesta) {
        const QString archivo = carpeta(i, ".respuesta");
        QFile f(archivo);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(respuesta) == respuesta.size());
        f.close();
        auto p = std::make_unique<QProcess>();
        // No logo in the program folder: the invoice's logo is not what these answers test.
        p->start(QStringLiteral(KELMORA_EXE),
                 {QStringLiteral("render"), QStringLiteral("--printers"), QStringLiteral("Facturas,Cocina,Bar"),
                  QStringLiteral("--locale"), QStringLiteral("en_US"), QStringLiteral("--now"),
                  QStringLiteral("2024-03-03T12:45:00"), QStringLiteral("--dir"), tmp_.path(), archivo,
                  carpeta(i, ".salida")});
        return p;
    }

    Resultado terminar(size_t i, QProcess& p, const QElapsedTimer& reloj) {
        Resultado r;
        const qint64 resta = std::max<qint64>(1, limiteMs_ - reloj.elapsed());
        if (!p.waitForFinished(static_cast<int>(resta))) {
            p.kill();
            p.waitForFinished();
            r.errores = QStringLiteral("no end within %1 ms").arg(limiteMs_);
            return r;
        }
        r.milisegundos = reloj.elapsed();
        r.estado = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.errores = QString::fromUtf8(p.readAllStandardError());

        QDir salida(carpeta(i, ".salida"));
        for (const QFileInfo& info : salida.entryInfoList(QDir::Files, QDir::Name)) {
            r.bytesSalida += info.size();
            QFile f(info.filePath());
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QString texto = QString::fromUtf8(f.read(4 * 1024 * 1024));
            if (info.fileName() == u"balloons.txt") {
                r.globos = texto.split(u'\n', Qt::SkipEmptyParts);
            } else {
                r.archivos.append(info.fileName().section(u'-', 1));
                r.documentos += texto;
            }
        }
        salida.removeRecursively();
        QFile::remove(carpeta(i, ".respuesta"));

        const bool globoAviso = std::any_of(r.globos.begin(), r.globos.end(),
                                            [](const QString& g) { return g.startsWith(u"2|Comanda|"); });
        switch (r.estado) {
        case 0: r.final = globoAviso ? Final::Balloon : Final::Printed; break;
        case 1: r.final = Final::Logged; break;
        case 3: r.final = Final::Stopped; break;
        default: r.final = Final::Crashed; break;
        }
        return r;
    }

    QTemporaryDir tmp_;
    int limiteMs_;
    int lote_ = 0;
};

// Bounded for any answer: what a render writes stays far below what it was given, plus the
// tickets of a normal answer.
void esperaAcotado(const Resultado& r, qint64 tamanoRespuesta, const std::string& caso) {
    EXPECT_NE(r.final, Final::Crashed) << caso << ": " << r.resumen();
    EXPECT_LT(r.errores.size(), 70 * 1024) << caso;
    EXPECT_LT(r.bytesSalida, 256 * 1024 + tamanoRespuesta) << caso;
}

// ---- A well-formed answer that reads every key each ticket kind reads -------------------------

QJsonObject ajuste(const QString& nombre, const QString& descripcion) {
    return QJsonObject{{"Nombre", nombre}, {"Descripcion", descripcion}, {"Visible", "1"}};
}

// All the settings that make the tickets read their optional keys: values on kitchen tickets,
// hour, seller, stay and guests on invoices, tips with a service charge, taxes under "Comun".
QJsonObject respuestaCompleta() {
    const QJsonArray config{
        ajuste(QStringLiteral("Tamaño de Factura"), "rollo 75mm"),
        ajuste("Tamano de Factura", "rollo 75mm"),
        ajuste("Valores En Comanda", "1"),
        ajuste("Nombre Establecimiento", "La Fonda"),
        ajuste("Regimen", "Comun"),
        ajuste("Nombre Regimen", "Responsable de IVA"),
        ajuste("Hora Factura", "1"),
        ajuste("Nombre Mesero Factura", "1"),
        ajuste("Permanencia Factura", "1"),
        ajuste("Personas Factura", "1"),
        ajuste("Propina", "Aplica"),
        ajuste("Servicio", "10"),
        ajuste("Imprimie Espacio Cliente Cuenta", "1"),
        ajuste("Pie de Factura", "Gracias por su visita"),
    };
    const QJsonObject comanda{
        {"area", "Cocina"}, {"titulo", "Pedido web"}, {"nomMesa", "Mesa 4"},
        {"productos", QJsonArray{QJsonObject{
                          {"nombre", "Bandeja paisa"}, {"cantidad", 2}, {"valor", 52000},
                          {"detalle", QJsonArray{"Sin frijol"}}}}},
        {"responsable", "Luisa"}, {"nPedido", 3001}, {"fecha", "2024-03-03 12:40"},
        {"clienteNombre", "Ana"}, {"clienteTelefono", "3001234567"}, {"clienteDireccion", "Calle 1"},
        {"codPlataforma", "RAPPI-77"},
    };
    const QJsonObject anulacion{
        {"area", "Cocina"}, {"nomMesa", "Mesa 4"},
        {"productos", QJsonArray{QJsonObject{{"nombre", "Limonada"}, {"cantidad", 1},
                                             {"detalle", QJsonArray{"Con hielo"}}}}},
    };
    // A paid delivery with a discount: the one invoice that reads every key of the record.
    const QJsonObject factura{
        {"mesa", "12"}, {"tipoCuenta", "Factura"}, {"idFacturaCuenta", 345}, {"nomMesa", "Domicilio 12"},
        {"fechaFactura", "03/03/2024"}, {"horaFactura", "12:44"}, {"vendedor", "Luisa"},
        {"pedido", QJsonArray{QJsonObject{{"NombreProducto", "Bandeja paisa"}, {"Cantidad", 2}, {"Valor", 52000},
                                          {"Detalle", "Sin frijol<br/>Extra arepa"}}}},
        {"descuento", 2000}, {"DescuentoIndividual", 500}, {"totalPagar", 52000}, {"cuentaCerrada", true},
        {"mediosPago", QJsonArray{QJsonObject{{"Producto", "Medio de pago: Efectivo"}, {"Detalle", "caja 1"},
                                              {"Valor", 55000}}}},
        {"totalPagado", 50000}, {"totalPagadoPropina", 5000}, {"pagoEfectivo", 55000}, {"cambioEfectivo", 5000},
        {"tipoMesa", "DOMICILIO"},
        {"cliente", QJsonObject{{"Nombre", "Ana Rojas"}, {"IdDocumento", "cc 123"}, {"Direccion", "Calle 1 # 2-3"},
                                {"Telefono1", "3001234567"}}},
        {"detalleDomicilio", "Torre 2 apto 301"}, {"propinaSugerida", 5000}, {"CntGroupon", 0},
        {"impuestos", QJsonArray{QJsonObject{{"nombre", "iva 19%"}, {"base", 43697}, {"valor", 8303}}}},
        {"pieFactura", "Vuelva pronto"}, {"permanencia", 40}, {"nPersonas", 2}, {"fechaLimitePago", "2024-03-10"},
    };
    return QJsonObject{{"config", config},          {"comanda", QJsonArray{comanda}},
                       {"anulaciones", QJsonArray{anulacion}}, {"factura", QJsonArray{factura}},
                       {"abrirCajon", true},        {"idsLeidos", QJsonArray{1, 2, 3}}};
}

QByteArray comoRespuesta(const QJsonDocument& payload) { return "00187" + payload.toJson(QJsonDocument::Compact); }
QByteArray comoRespuesta(const QJsonObject& payload) { return comoRespuesta(QJsonDocument(payload)); }

// A place in the answer: member names and 0-based list positions.
using Paso = std::variant<QString, int>;
using Ruta = QList<Paso>;

QJsonValue reemplazar(const QJsonValue& en, Ruta ruta, const QJsonValue& valor) {
    if (ruta.isEmpty()) return valor;
    const Paso paso = ruta.takeFirst();
    if (const QString* clave = std::get_if<QString>(&paso)) {
        QJsonObject o = en.toObject();
        o[*clave] = reemplazar(o[*clave], ruta, valor);
        return o;
    }
    QJsonArray a = en.toArray();
    const int i = std::get<int>(paso);
    a[i] = reemplazar(a[i], ruta, valor);
    return a;
}

QJsonValue leer(const QJsonValue& en, const Ruta& ruta) {
    QJsonValue v = en;
    for (const Paso& paso : ruta) {
        v = std::holds_alternative<QString>(paso) ? v.toObject()[std::get<QString>(paso)] : v.toArray()[std::get<int>(paso)];
    }
    return v;
}

// Each Dictionary of the answer that a ticket reads keys from, with the keys it reads.
struct Nivel {
    const char* nombre;
    Ruta ruta;
    QStringList claves;
};

const std::vector<Nivel>& niveles() {
    static const std::vector<Nivel> todos{
        {"config entry", {QStringLiteral("config"), 0}, {"Nombre", "Descripcion", "Visible"}},
        {"comanda record",
         {QStringLiteral("comanda"), 0},
         {"area", "titulo", "nomMesa", "productos", "responsable", "nPedido", "fecha", "clienteNombre",
          "clienteTelefono", "clienteDireccion", "codPlataforma"}},
        {"comanda product", {QStringLiteral("comanda"), 0, QStringLiteral("productos"), 0},
         {"nombre", "cantidad", "valor", "detalle"}},
        {"anulaciones record", {QStringLiteral("anulaciones"), 0}, {"area", "nomMesa", "productos"}},
        {"anulaciones product", {QStringLiteral("anulaciones"), 0, QStringLiteral("productos"), 0},
         {"nombre", "cantidad", "detalle"}},
        {"factura record",
         {QStringLiteral("factura"), 0},
         {"mesa", "tipoCuenta", "idFacturaCuenta", "nomMesa", "fechaFactura", "horaFactura", "vendedor", "pedido",
          "descuento", "DescuentoIndividual", "totalPagar", "cuentaCerrada", "mediosPago", "totalPagado",
          "totalPagadoPropina", "pagoEfectivo", "cambioEfectivo", "tipoMesa", "cliente", "detalleDomicilio",
          "propinaSugerida", "CntGroupon", "impuestos", "pieFactura", "permanencia", "nPersonas",
          "fechaLimitePago"}},
        {"pedido line", {QStringLiteral("factura"), 0, QStringLiteral("pedido"), 0},
         {"NombreProducto", "Cantidad", "Valor", "Detalle"}},
        {"mediosPago entry", {QStringLiteral("factura"), 0, QStringLiteral("mediosPago"), 0},
         {"Producto", "Detalle", "Valor"}},
        {"cliente", {QStringLiteral("factura"), 0, QStringLiteral("cliente")},
         {"Nombre", "IdDocumento", "Direccion", "Telefono1"}},
        {"impuestos entry", {QStringLiteral("factura"), 0, QStringLiteral("impuestos"), 0},
         {"nombre", "base", "valor"}},
    };
    return todos;
}

const std::vector<std::pair<const char*, QJsonValue>>& tiposErroneos() {
    static const std::vector<std::pair<const char*, QJsonValue>> tipos{
        {"null", QJsonValue(QJsonValue::Null)}, {"number", 7},        {"text", "x"},
        {"true", true},                         {"object", QJsonObject{{"a", 1}}}, {"array", QJsonArray{1}},
    };
    return tipos;
}

// What the design lets a fault at each level end in: the kitchen printer catches everything of its
// own; the cancellation and invoice printers catch nothing, except the invoice's customer block.
enum class Alcance { Comanda, Anulacion, Factura, BloqueCliente, Ajustes };

Alcance alcanceDe(const std::string& nivel, const QString& clave) {
    if (nivel.rfind("comanda", 0) == 0) return Alcance::Comanda;
    if (nivel.rfind("anulaciones", 0) == 0) return Alcance::Anulacion;
    if (nivel == "cliente" || (nivel == "factura record" && (clave == u"cliente" || clave == u"detalleDomicilio"))) {
        return Alcance::BloqueCliente;
    }
    if (nivel == "config entry") return Alcance::Ajustes;
    return Alcance::Factura;
}

// The checks every case of one scope must pass, whatever the value.
void esperaSegunAlcance(Alcance alcance, const Resultado& r, const std::string& caso) {
    SCOPED_TRACE(caso + ": " + r.resumen());
    // These answers are well-formed JSON: the reader never refuses them.
    ASSERT_TRUE(r.final == Final::Printed || r.final == Final::Balloon || r.final == Final::Stopped);
    if (r.final == Final::Stopped) {
        EXPECT_TRUE(kDescripcionesConocidas.contains(r.errores.trimmed()));
        // The jobs after the failing one are not processed: the drawer stays shut.
        EXPECT_FALSE(r.abrioCajon());
    } else {
        EXPECT_EQ(r.errores, "");
        EXPECT_TRUE(r.abrioCajon());
    }
    for (const QString& g : r.globos) {
        if (g.startsWith(u"2|Comanda|")) {
            EXPECT_TRUE(kDescripcionesConocidas.contains(g.section(u'|', 2)));
        }
    }
    switch (alcance) {
    case Alcance::Comanda:
        // Caught by the kitchen printer: a ticket or a warning balloon, and every later job runs.
        EXPECT_NE(r.final, Final::Stopped);
        EXPECT_TRUE(r.hayGlobo(QStringLiteral("1|Impresion de comanda|")) ||
                    r.hayGlobo(QStringLiteral("2|Comanda|")));
        EXPECT_TRUE(r.imprimioAnulacion());
        EXPECT_TRUE(r.imprimioFactura());
        break;
    case Alcance::Anulacion:
        EXPECT_NE(r.final, Final::Balloon);
        EXPECT_EQ(r.final != Final::Stopped, r.imprimioFactura());
        if (r.final == Final::Printed) {
            EXPECT_TRUE(r.imprimioAnulacion());
        }
        break;
    case Alcance::Factura:
        EXPECT_NE(r.final, Final::Balloon);
        EXPECT_TRUE(r.imprimioAnulacion());
        EXPECT_EQ(r.final == Final::Printed, r.imprimioFactura());
        break;
    case Alcance::BloqueCliente:
        // The customer block's first error does not end the invoice.
        EXPECT_EQ(r.final, Final::Printed);
        EXPECT_TRUE(r.imprimioFactura());
        break;
    case Alcance::Ajustes:
        break;
    }
}

class HostilePayloads : public ::testing::Test {
protected:
    Renders renders;
};

TEST_F(HostilePayloads, TheCompleteAnswerPrintsEveryTicketCleanly) {
    // The base of the cases below: any fault in them comes from the value put in, not the rest.
    const Resultado r = renders.correr(comoRespuesta(respuestaCompleta()));
    ASSERT_EQ(r.final, Final::Printed) << r.resumen();
    EXPECT_EQ(r.archivos, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
    EXPECT_EQ(r.globos, (QStringList{"1|Impresion de comanda|Comanda enviada a Cocina",
                                     "1|Impresion de comanda|Comanda enviada a Cocina",
                                     "1|Impresion de Factura|Factura enviada a Facturas"}));
    // A line of each block, so that the cases below reach every key.
    for (const char* visto : {"Bandeja paisa", "-> SIN FRIJOL", "RAPPI-77", "A N U L A C I O N!!", "-> EXTRA AREPA",
                              "Efectivo caja 1", "IVA 19%", "TORRE 2 APTO 301", "Permanencia  40  Minutos",
                              "Personas 2", "Fecha para pago 2024-03-10"}) {
        EXPECT_TRUE(r.documentos.contains(QString::fromUtf8(visto))) << visto;
    }
}

TEST_F(HostilePayloads, ACollectionWhereADictionaryIsExpected) {
    const QJsonObject base = respuestaCompleta();
    struct Caso {
        const char* nivel;
        Final final;
        QString descripcion;  // on stderr, or in the warning balloon
    };
    std::vector<Caso> casos{{"answer", Final::Stopped, errors::objectRequired}};
    std::vector<QByteArray> respuestas{comoRespuesta(QJsonDocument(QJsonArray{base}))};
    const std::map<std::string, Caso> esperado{
        {"config entry", {"", Final::Stopped, errors::objectRequired}},
        {"comanda record", {"", Final::Balloon, errors::objectRequired}},
        {"comanda product", {"", Final::Balloon, errors::objectRequired}},
        {"anulaciones record", {"", Final::Stopped, errors::objectRequired}},
        {"anulaciones product", {"", Final::Stopped, errors::objectRequired}},
        {"factura record", {"", Final::Stopped, errors::objectRequired}},
        {"pedido line", {"", Final::Stopped, errors::objectRequired}},
        {"mediosPago entry", {"", Final::Stopped, errors::objectRequired}},
        {"cliente", {"", Final::Printed, {}}},
        {"impuestos entry", {"", Final::Stopped, errors::objectRequired}},
    };
    for (const Nivel& nivel : niveles()) {
        const Caso& e = esperado.at(nivel.nombre);
        casos.push_back({nivel.nombre, e.final, e.descripcion});
        // The Dictionary wrapped in a list: it looks right and is not.
        respuestas.push_back(comoRespuesta(
            reemplazar(base, nivel.ruta, QJsonArray{leer(base, nivel.ruta)}).toObject()));
    }
    // A note of a kitchen product is text; a list there cannot be printed.
    casos.push_back({"comanda detalle", Final::Balloon, errors::typeMismatch});
    const Ruta detalle{QStringLiteral("comanda"), 0, QStringLiteral("productos"), 0, QStringLiteral("detalle"), 0};
    respuestas.push_back(comoRespuesta(reemplazar(base, detalle, QJsonArray{"Sin frijol"}).toObject()));

    const std::vector<Resultado> resultados = renders.correr(respuestas);
    for (size_t i = 0; i < casos.size(); ++i) {
        const Caso& c = casos[i];
        const Resultado& r = resultados[i];
        SCOPED_TRACE(std::string(c.nivel) + ": " + r.resumen());
        esperaAcotado(r, respuestas[i].size(), c.nivel);
        EXPECT_EQ(r.final, c.final);
        if (c.final == Final::Stopped) {
            EXPECT_EQ(r.errores.trimmed(), c.descripcion);
        }
        if (c.final == Final::Balloon) {
            EXPECT_TRUE(r.globos.contains(QStringLiteral("2|Comanda|") + c.descripcion));
            // The kitchen printer caught it: the cancellation, the invoice and the drawer follow.
            EXPECT_TRUE(r.imprimioAnulacion() && r.imprimioFactura() && r.abrioCajon());
        }
        if (c.final == Final::Printed) {
            EXPECT_TRUE(r.imprimioFactura() && r.abrioCajon());
        }
    }
    // A list for an answer fails before anything is printed.
    EXPECT_FALSE(resultados[0].imprimioAlgo());
}

TEST_F(HostilePayloads, WrongTypesInEveryKeyTheTicketsRead) {
    const QJsonObject base = respuestaCompleta();
    std::vector<std::string> casos;
    std::vector<Alcance> alcances;
    std::vector<std::string> nivelDe;
    std::vector<QByteArray> respuestas;
    for (const Nivel& nivel : niveles()) {
        for (const QString& clave : nivel.claves) {
            for (const auto& [tipo, valor] : tiposErroneos()) {
                Ruta ruta = nivel.ruta;
                ruta.append(clave);
                casos.push_back(std::string(nivel.nombre) + "." + clave.toStdString() + " = " + tipo);
                alcances.push_back(alcanceDe(nivel.nombre, clave));
                nivelDe.push_back(nivel.nombre);
                respuestas.push_back(comoRespuesta(reemplazar(base, ruta, valor).toObject()));
            }
        }
    }
    const std::vector<Resultado> resultados = renders.correr(respuestas);

    std::map<std::string, std::map<Final, int>> cuenta;
    for (size_t i = 0; i < casos.size(); ++i) {
        esperaAcotado(resultados[i], respuestas[i].size(), casos[i]);
        esperaSegunAlcance(alcances[i], resultados[i], casos[i]);
        ++cuenta[nivelDe[i]][resultados[i].final];
    }
    for (const auto& [nivel, finales] : cuenta) {
        std::cout << "[ wrong types ] " << nivel << ":";
        for (const auto& [final, n] : finales) std::cout << ' ' << nombre(final) << ' ' << n;
        std::cout << '\n';
    }
}

TEST_F(HostilePayloads, WrongTypesInTheAnswersOwnKeys) {
    // Each list the dispatcher reads, and the drawer flag: true, or a non-zero number, counts as
    // true; anything else that is not a Boolean ends the dispatch before anything is printed.
    const QJsonObject base = respuestaCompleta();
    struct Caso {
        QString clave;
        const char* tipo;
        Final final;
    };
    std::vector<Caso> casos;
    for (const char* lista : {"config", "comanda", "anulaciones", "factura", "idsLeidos"}) {
        for (const char* tipo : {"null", "number", "text", "true", "object"}) casos.push_back({lista, tipo, Final::Stopped});
    }
    casos.push_back({"abrirCajon", "null", Final::Stopped});
    casos.push_back({"abrirCajon", "number", Final::Printed});
    casos.push_back({"abrirCajon", "text", Final::Stopped});
    casos.push_back({"abrirCajon", "object", Final::Stopped});
    casos.push_back({"abrirCajon", "array", Final::Stopped});

    std::vector<QByteArray> respuestas;
    for (const Caso& c : casos) {
        const auto tipo = std::find_if(tiposErroneos().begin(), tiposErroneos().end(),
                                       [&](const auto& t) { return std::strcmp(t.first, c.tipo) == 0; });
        QJsonObject payload = base;
        payload[c.clave] = tipo->second;
        respuestas.push_back(comoRespuesta(payload));
    }
    const std::vector<Resultado> resultados = renders.correr(respuestas);
    for (size_t i = 0; i < casos.size(); ++i) {
        const Resultado& r = resultados[i];
        const std::string caso = casos[i].clave.toStdString() + " = " + casos[i].tipo;
        SCOPED_TRACE(caso + ": " + r.resumen());
        esperaAcotado(r, respuestas[i].size(), caso);
        EXPECT_EQ(r.final, casos[i].final);
        if (r.final == Final::Stopped) {
            EXPECT_TRUE(kDescripcionesConocidas.contains(r.errores.trimmed()));
            EXPECT_FALSE(r.imprimioAlgo());
        } else {
            EXPECT_TRUE(r.abrioCajon());
        }
    }
}

TEST_F(HostilePayloads, DeepNestingEndsTheReadingWithAMessage) {
    const int niveles = 100000;
    const std::vector<QByteArray> respuestas{
        "00187" + QByteArray(niveles, '['),
        "00187" + QByteArray(niveles, '[') + QByteArray(niveles, ']'),
        "00187" + QByteArray("{\"a\":").repeated(niveles),
        // Deep inside a member the dispatcher reads.
        "00187{\"config\":[],\"idsLeidos\":[1],\"comanda\":" + QByteArray(niveles, '[') + QByteArray(niveles, ']') + "}",
    };
    const std::vector<Resultado> resultados = renders.correr(respuestas);
    for (size_t i = 0; i < respuestas.size(); ++i) {
        const Resultado& r = resultados[i];
        SCOPED_TRACE(std::to_string(i) + ": " + r.resumen());
        esperaAcotado(r, respuestas[i].size(), "deep " + std::to_string(i));
        EXPECT_EQ(r.final, Final::Logged);
        EXPECT_FALSE(r.errores.trimmed().isEmpty());
    }

    // Nesting a real answer could have is read, and a list in a text key fails the ticket alone.
    QJsonObject payload = respuestaCompleta();
    QJsonValue hondo = QJsonArray{"Mesa 4"};
    for (int i = 0; i < 100; ++i) hondo = QJsonArray{hondo};
    payload = reemplazar(payload, {QStringLiteral("comanda"), 0, QStringLiteral("nomMesa")}, hondo).toObject();
    const Resultado r = renders.correr(comoRespuesta(payload));
    EXPECT_EQ(r.final, Final::Balloon) << r.resumen();
    EXPECT_TRUE(r.imprimioFactura() && r.abrioCajon()) << r.resumen();
}

TEST_F(HostilePayloads, ATenToTheFiveFaultAnswerLogsABoundedErrorText) {
    // One fault per object: a key whose closing quote is not followed by a colon.
    const QByteArray respuesta = "00187[" + QByteArray("{\"a\" 1}").repeated(100000) + "]";
    const Resultado r = renders.correr(respuesta);
    esperaAcotado(r, respuesta.size(), "faults");
    EXPECT_EQ(r.final, Final::Logged) << r.resumen();
    EXPECT_TRUE(r.errores.startsWith(QStringLiteral("Invalid Key at position 7 : a\r\nInvalid Key at position 14 : a\r\n")))
        << r.resumen();
    EXPECT_GT(r.errores.count(QStringLiteral("Invalid Key at position")), 1000);
    EXPECT_FALSE(r.imprimioAlgo());
}

TEST_F(HostilePayloads, AThirtyMegabyteAnswerPrints) {
    // The bulk is a long settings list after the real settings: every lookup of a setting the
    // answer lacks reads all of it.
    const qsizetype objetivo = 30 * 1000 * 1000;
    QJsonObject sinConfig = respuestaCompleta();
    sinConfig.remove(QStringLiteral("config"));
    QByteArray config =
        QJsonDocument(respuestaCompleta()[QStringLiteral("config")].toArray()).toJson(QJsonDocument::Compact);
    config.chop(1);  // the closing bracket
    QByteArray respuesta = comoRespuesta(sinConfig);
    respuesta.reserve(objetivo + 1024);
    respuesta.chop(1);  // the closing brace
    respuesta += ",\"config\":" + config;
    const QByteArray entrada = R"(,{"Nombre":"Ajuste de relleno sin uso","Descripcion":"0123456789","Visible":"0"})";
    while (respuesta.size() < objetivo) respuesta += entrada;
    respuesta += "]}";

    // Reading it takes seconds, many more under the sanitizers.
    Renders lento(300000);
    const Resultado r = lento.correr(respuesta);
    esperaAcotado(r, 0, "30 MB");
    EXPECT_EQ(r.final, Final::Printed) << r.resumen();
    EXPECT_EQ(r.archivos, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
    std::cout << "[ 30 MB ] " << respuesta.size() << " bytes in " << r.milisegundos << " ms\n";
}

TEST_F(HostilePayloads, HugeNumbers) {
    struct Caso {
        const char* nombre;
        Ruta ruta;
        QByteArray numero;
        Final final;
    };
    const Ruta valorComanda{QStringLiteral("comanda"), 0, QStringLiteral("productos"), 0, QStringLiteral("valor")};
    const Ruta totalPagar{QStringLiteral("factura"), 0, QStringLiteral("totalPagar")};
    const Ruta totalPagado{QStringLiteral("factura"), 0, QStringLiteral("totalPagado")};
    const Ruta cantidadFactura{QStringLiteral("factura"), 0, QStringLiteral("pedido"), 0, QStringLiteral("Cantidad")};
    const QByteArray maximo = "79228162514264337593543950335";  // the largest exact decimal
    const std::vector<Caso> casos{
        // Beyond what the reader can hold: a reader fault, nothing printed.
        {"1e400", valorComanda, "1e400", Final::Logged},
        {"100 digits", valorComanda, QByteArray(100, '9'), Final::Logged},
        {"100,000 digits", valorComanda, QByteArray(100000, '7'), Final::Logged},
        {"exponent beyond 32 bits", valorComanda, "1e99999999999", Final::Logged},
        {"-1e400", totalPagar, "-1e400", Final::Logged},
        // Within range: read and printed.
        {"1e-400", valorComanda, "1e-400", Final::Printed},
        {"the largest decimal on a kitchen ticket", valorComanda, maximo, Final::Printed},
        {"the smallest decimal as an invoice quantity", cantidadFactura, "-" + maximo, Final::Printed},
        // The invoice adds the tip paid to the total paid: the sum overflows and ends the dispatch.
        {"the largest decimal paid with a tip", totalPagado, maximo, Final::Stopped},
    };
    std::vector<QByteArray> respuestas;
    for (const Caso& c : casos) {
        // Written into the text as they are: a JSON library would round them.
        const QByteArray marca = "4242424242";
        QByteArray r = comoRespuesta(reemplazar(respuestaCompleta(), c.ruta, 4242424242.0).toObject());
        EXPECT_EQ(r.count(marca), 1);
        respuestas.push_back(r.replace(marca, c.numero));
    }
    QJsonObject servicio = respuestaCompleta();
    servicio = reemplazar(servicio, {QStringLiteral("config"), 11, QStringLiteral("Descripcion")}, "99999999").toObject();
    ASSERT_EQ(leer(servicio, {QStringLiteral("config"), 11, QStringLiteral("Nombre")}).toString(), "Servicio");
    respuestas.push_back(comoRespuesta(servicio));

    const std::vector<Resultado> resultados = renders.correr(respuestas);
    for (size_t i = 0; i < casos.size(); ++i) {
        const Resultado& r = resultados[i];
        SCOPED_TRACE(std::string(casos[i].nombre) + ": " + r.resumen());
        esperaAcotado(r, respuestas[i].size(), casos[i].nombre);
        EXPECT_EQ(r.final, casos[i].final);
        if (r.final == Final::Stopped) {
            EXPECT_EQ(r.errores.trimmed(), errors::overflow);
        }
        if (r.final == Final::Logged) {
            // The reader names the member whose number it could not hold.
            EXPECT_TRUE(r.errores.startsWith(QStringLiteral("Desbordamiento: ") + std::get<QString>(casos[i].ruta.last())));
            EXPECT_FALSE(r.imprimioAlgo());
        }
    }
    EXPECT_TRUE(resultados[6].documentos.contains(QStringLiteral("79,228,162,514,264,337,593,543,950,335")))
        << resultados[6].documentos.toStdString();
    // A service charge beyond 16 bits cannot be read as a percentage: the invoice cannot start.
    EXPECT_EQ(resultados.back().final, Final::Stopped) << resultados.back().resumen();
    EXPECT_EQ(resultados.back().errores.trimmed(), errors::overflow);
}

TEST_F(HostilePayloads, KeysAndTextsOfControlCharacters) {
    QByteArray todos;
    for (char c = 1; c < 32; ++c) todos += c;
    QByteArray escapados;
    for (int c = 0; c < 32; ++c) escapados += QByteArray("\\u00") + QByteArray::number(c, 16).rightJustified(2, '0');
    const QByteArray base = comoRespuesta(respuestaCompleta());
    const auto conMiembros = [&](const QByteArray& miembros) {
        QByteArray r = base;
        return r.insert(6, miembros + ",");  // right after the opening brace
    };
    struct Caso {
        const char* nombre;
        QByteArray respuesta;
        Final final;
    };
    const std::vector<Caso> casos{
        // Keys the tickets never ask for: the answer prints as without them.
        {"raw control characters as a key", conMiembros("\"" + todos + "\":1"), Final::Printed},
        {"escaped control characters as a key", conMiembros("\"" + escapados + "\":1"), Final::Printed},
        {"a key of one raw NUL", conMiembros(QByteArray("\"\0\":1", 5)), Final::Printed},
        {"NUL, ESC and BEL keys side by side", conMiembros(QByteArray("\"\0\":1,\"\x1b\":2,\"\a\":3", 17)), Final::Printed},
        // Escapes are not read in keys: this one keeps its backslash and is not "config".
        {"a key with an escaped TAB", conMiembros("\"con\\tfig\":[]"), Final::Printed},
        // Blanks are never part of a key: this one is "config" a second time, a reader fault.
        {"a key that is config with a raw TAB in it", conMiembros("\"con\tfig\":[]"), Final::Logged},
    };
    std::vector<QByteArray> respuestas;
    for (const Caso& c : casos) respuestas.push_back(c.respuesta);

    // Texts of control characters where the tickets print them.
    QJsonObject textos = respuestaCompleta();
    const QString controles = QString::fromUtf8(todos) + QChar(0) + QStringLiteral("\x1bp\x00<\xf0");
    for (const Ruta& ruta : {Ruta{QStringLiteral("comanda"), 0, QStringLiteral("nomMesa")},
                             Ruta{QStringLiteral("comanda"), 0, QStringLiteral("productos"), 0, QStringLiteral("nombre")},
                             Ruta{QStringLiteral("anulaciones"), 0, QStringLiteral("nomMesa")},
                             Ruta{QStringLiteral("factura"), 0, QStringLiteral("pieFactura")},
                             Ruta{QStringLiteral("factura"), 0, QStringLiteral("cliente"), QStringLiteral("Nombre")}}) {
        textos = reemplazar(textos, ruta, controles).toObject();
    }
    respuestas.push_back(comoRespuesta(textos));
    // An area name with a NUL in it names no printer: the ticket goes to the default one.
    const QString areaConNul = QStringLiteral("Coc") + QChar(0) + QStringLiteral("ina");
    respuestas.push_back(comoRespuesta(
        reemplazar(respuestaCompleta(), {QStringLiteral("comanda"), 0, QStringLiteral("area")}, areaConNul).toObject()));

    const std::vector<Resultado> resultados = renders.correr(respuestas);
    for (size_t i = 0; i < casos.size(); ++i) {
        const Resultado& r = resultados[i];
        SCOPED_TRACE(std::string(casos[i].nombre) + ": " + r.resumen());
        esperaAcotado(r, respuestas[i].size(), casos[i].nombre);
        EXPECT_EQ(r.final, casos[i].final);
        if (r.final == Final::Printed) {
            EXPECT_EQ(r.archivos, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
        }
    }
    const Resultado& conTextos = resultados[casos.size()];
    esperaAcotado(conTextos, respuestas[casos.size()].size(), "control texts");
    EXPECT_EQ(conTextos.final, Final::Printed) << conTextos.resumen();
    EXPECT_EQ(conTextos.archivos, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
    const Resultado& areaNul = resultados.back();
    EXPECT_EQ(areaNul.final, Final::Printed) << areaNul.resumen();
    EXPECT_EQ(areaNul.archivos, (QStringList{"Facturas.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
}

}  // namespace
}  // namespace kelmora
