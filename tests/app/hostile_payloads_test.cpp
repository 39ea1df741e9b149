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

const char* name(Final f) {
    switch (f) {
    case Final::Printed: return "printed";
    case Final::Balloon: return "balloon";
    case Final::Stopped: return "stopped";
    case Final::Logged: return "logged";
    case Final::Crashed: return "CRASHED";
    }
    return "?";
}

const QStringList kKnownDescriptions{errors::typeMismatch,   errors::invalidUseOfNull, errors::overflow,
                                     errors::divisionByZero, errors::subscriptOutOfRange,
                                     errors::objectRequired, errors::outOfMemory};

struct Outcome {
    Final final = Final::Crashed;
    int status = -1;
    QString stderrText;
    QStringList files;        // what the virtual printers left, balloons.txt aside
    QStringList balloons;     // balloons.txt, one line each
    QString documents;        // every document's text, joined
    qint64 outputBytes = 0;   // everything written to the output folder
    qint64 milliseconds = 0;

    bool hasBalloon(const QString& prefix) const {
        return std::any_of(balloons.begin(), balloons.end(), [&](const QString& g) { return g.startsWith(prefix); });
    }
    bool openedDrawer() const { return files.contains(QStringLiteral("Facturas.raw")); }
    bool printedInvoice() const { return hasBalloon(QStringLiteral("1|Impresion de Factura|Factura enviada a ")); }
    bool printedCancellation() const { return documents.contains(QStringLiteral("A N U L A C I O N!!")); }
    bool printedAnything() const { return !files.isEmpty(); }
    std::string summary() const {
        return std::string(name(final)) + " (exit " + std::to_string(status) + ") stderr: " +
               stderrText.left(300).toStdString() + " balloons: " + balloons.join(u" / ").left(500).toStdString();
    }
};

// Runs `kelmora render` on answers, two at a time (the time limit is per answer).
class Renders {
public:
    explicit Renders(int limitMs = 60000) : limitMs_(limitMs) {}

    std::vector<Outcome> run(const std::vector<QByteArray>& answers) {
        ++batch_;
        std::vector<Outcome> outcomes(answers.size());
        struct Running {
            size_t index;
            std::unique_ptr<QProcess> process;
            QElapsedTimer clock;
        };
        std::deque<Running> running;
        size_t next = 0;
        while (next < answers.size() || !running.empty()) {
            while (next < answers.size() && running.size() < 2) {
                running.push_back(Running{next, start(next, answers[next]), {}});
                running.back().clock.start();
                ++next;
            }
            Running current = std::move(running.front());
            running.pop_front();
            outcomes[current.index] = finish(current.index, *current.process, current.clock);
        }
        return outcomes;
    }
    Outcome run(const QByteArray& answer) { return run(std::vector<QByteArray>{answer}).front(); }

private:
    QString folder(size_t i, const char* suffix) const {
        return tmp_.filePath(QStringLiteral("%1-%2").arg(batch_).arg(i) + QString::fromUtf8(suffix));
    }

    std::unique_ptr<QProcess> start(size_t i, const QByteArray& answer) {
        const QString file = folder(i, ".respuesta");
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(answer) == answer.size());
        f.close();
        auto p = std::make_unique<QProcess>();
        // No logo in the program folder: the invoice's logo is not what these answers test.
        p->start(QStringLiteral(KELMORA_EXE),
                 {QStringLiteral("render"), QStringLiteral("--printers"), QStringLiteral("Facturas,Cocina,Bar"),
                  QStringLiteral("--locale"), QStringLiteral("en_US"), QStringLiteral("--now"),
                  QStringLiteral("2024-03-03T12:45:00"), QStringLiteral("--dir"), tmp_.path(), file,
                  folder(i, ".salida")});
        return p;
    }

    Outcome finish(size_t i, QProcess& p, const QElapsedTimer& clock) {
        Outcome r;
        const qint64 remaining = std::max<qint64>(1, limitMs_ - clock.elapsed());
        if (!p.waitForFinished(static_cast<int>(remaining))) {
            p.kill();
            p.waitForFinished();
            r.stderrText = QStringLiteral("no end within %1 ms").arg(limitMs_);
            return r;
        }
        r.milliseconds = clock.elapsed();
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.stderrText = QString::fromUtf8(p.readAllStandardError());

        QDir output(folder(i, ".salida"));
        for (const QFileInfo& info : output.entryInfoList(QDir::Files, QDir::Name)) {
            r.outputBytes += info.size();
            QFile f(info.filePath());
            if (!f.open(QIODevice::ReadOnly)) continue;
            const QString text = QString::fromUtf8(f.read(4 * 1024 * 1024));
            if (info.fileName() == u"balloons.txt") {
                r.balloons = text.split(u'\n', Qt::SkipEmptyParts);
            } else {
                r.files.append(info.fileName().section(u'-', 1));
                r.documents += text;
            }
        }
        output.removeRecursively();
        QFile::remove(folder(i, ".respuesta"));

        const bool warningBalloon = std::any_of(r.balloons.begin(), r.balloons.end(),
                                                [](const QString& g) { return g.startsWith(u"2|Comanda|"); });
        switch (r.status) {
        case 0: r.final = warningBalloon ? Final::Balloon : Final::Printed; break;
        case 1: r.final = Final::Logged; break;
        case 3: r.final = Final::Stopped; break;
        default: r.final = Final::Crashed; break;
        }
        return r;
    }

    QTemporaryDir tmp_;
    int limitMs_;
    int batch_ = 0;
};

// Bounded for any answer: what a render writes stays far below what it was given, plus the
// tickets of a normal answer.
void expectBounded(const Outcome& r, qint64 answerSize, const std::string& label) {
    EXPECT_NE(r.final, Final::Crashed) << label << ": " << r.summary();
    EXPECT_LT(r.stderrText.size(), 70 * 1024) << label;
    EXPECT_LT(r.outputBytes, 256 * 1024 + answerSize) << label;
}

// ---- A well-formed answer that reads every key each ticket kind reads -------------------------

QJsonObject setting(const QString& name, const QString& description) {
    return QJsonObject{{"Nombre", name}, {"Descripcion", description}, {"Visible", "1"}};
}

// All the settings that make the tickets read their optional keys: values on kitchen tickets,
// hour, seller, stay and guests on invoices, tips with a service charge, taxes under "Comun".
QJsonObject completeAnswer() {
    const QJsonArray config{
        setting(QStringLiteral("Tamaño de Factura"), "rollo 75mm"),
        setting("Tamano de Factura", "rollo 75mm"),
        setting("Valores En Comanda", "1"),
        setting("Nombre Establecimiento", "La Fonda"),
        setting("Regimen", "Comun"),
        setting("Nombre Regimen", "Responsable de IVA"),
        setting("Hora Factura", "1"),
        setting("Nombre Mesero Factura", "1"),
        setting("Permanencia Factura", "1"),
        setting("Personas Factura", "1"),
        setting("Propina", "Aplica"),
        setting("Servicio", "10"),
        setting("Imprimie Espacio Cliente Cuenta", "1"),
        setting("Pie de Factura", "Gracias por su visita"),
    };
    const QJsonObject kitchenOrder{
        {"area", "Cocina"}, {"titulo", "Pedido web"}, {"nomMesa", "Mesa 4"},
        {"productos", QJsonArray{QJsonObject{
                          {"nombre", "Bandeja paisa"}, {"cantidad", 2}, {"valor", 52000},
                          {"detalle", QJsonArray{"Sin frijol"}}}}},
        {"responsable", "Luisa"}, {"nPedido", 3001}, {"fecha", "2024-03-03 12:40"},
        {"clienteNombre", "Ana"}, {"clienteTelefono", "3001234567"}, {"clienteDireccion", "Calle 1"},
        {"codPlataforma", "RAPPI-77"},
    };
    const QJsonObject cancellation{
        {"area", "Cocina"}, {"nomMesa", "Mesa 4"},
        {"productos", QJsonArray{QJsonObject{{"nombre", "Limonada"}, {"cantidad", 1},
                                             {"detalle", QJsonArray{"Con hielo"}}}}},
    };
    // A paid delivery with a discount: the one invoice that reads every key of the record.
    const QJsonObject invoice{
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
    return QJsonObject{{"config", config},          {"comanda", QJsonArray{kitchenOrder}},
                       {"anulaciones", QJsonArray{cancellation}}, {"factura", QJsonArray{invoice}},
                       {"abrirCajon", true},        {"idsLeidos", QJsonArray{1, 2, 3}}};
}

QByteArray asAnswer(const QJsonDocument& payload) { return "00187" + payload.toJson(QJsonDocument::Compact); }
QByteArray asAnswer(const QJsonObject& payload) { return asAnswer(QJsonDocument(payload)); }

// A place in the answer: member names and 0-based list positions.
using Step = std::variant<QString, int>;
using Path = QList<Step>;

QJsonValue replaced(const QJsonValue& root, Path path, const QJsonValue& value) {
    if (path.isEmpty()) return value;
    const Step step = path.takeFirst();
    if (const QString* key = std::get_if<QString>(&step)) {
        QJsonObject o = root.toObject();
        o[*key] = replaced(o[*key], path, value);
        return o;
    }
    QJsonArray a = root.toArray();
    const int i = std::get<int>(step);
    a[i] = replaced(a[i], path, value);
    return a;
}

QJsonValue read(const QJsonValue& root, const Path& path) {
    QJsonValue v = root;
    for (const Step& step : path) {
        v = std::holds_alternative<QString>(step) ? v.toObject()[std::get<QString>(step)] : v.toArray()[std::get<int>(step)];
    }
    return v;
}

// Each Dictionary of the answer that a ticket reads keys from, with the keys it reads.
struct Level {
    const char* name;
    Path path;
    QStringList keys;
};

const std::vector<Level>& levels() {
    static const std::vector<Level> all{
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
    return all;
}

const std::vector<std::pair<const char*, QJsonValue>>& wrongTypes() {
    static const std::vector<std::pair<const char*, QJsonValue>> types{
        {"null", QJsonValue(QJsonValue::Null)}, {"number", 7},        {"text", "x"},
        {"true", true},                         {"object", QJsonObject{{"a", 1}}}, {"array", QJsonArray{1}},
    };
    return types;
}

// What the design lets a fault at each level end in: the kitchen printer catches everything of its
// own; the cancellation and invoice printers catch nothing, except the invoice's customer block.
enum class Reach { KitchenOrder, Cancellation, Invoice, CustomerBlock, Settings };

Reach reachOf(const std::string& level, const QString& key) {
    if (level.rfind("comanda", 0) == 0) return Reach::KitchenOrder;
    if (level.rfind("anulaciones", 0) == 0) return Reach::Cancellation;
    if (level == "cliente" || (level == "factura record" && (key == u"cliente" || key == u"detalleDomicilio"))) {
        return Reach::CustomerBlock;
    }
    if (level == "config entry") return Reach::Settings;
    return Reach::Invoice;
}

// The checks every case of one scope must pass, whatever the value.
void expectByReach(Reach reach, const Outcome& r, const std::string& label) {
    SCOPED_TRACE(label + ": " + r.summary());
    // These answers are well-formed JSON: the reader never refuses them.
    ASSERT_TRUE(r.final == Final::Printed || r.final == Final::Balloon || r.final == Final::Stopped);
    if (r.final == Final::Stopped) {
        EXPECT_TRUE(kKnownDescriptions.contains(r.stderrText.trimmed()));
        // The jobs after the failing one are not processed: the drawer stays shut.
        EXPECT_FALSE(r.openedDrawer());
    } else {
        EXPECT_EQ(r.stderrText, "");
        EXPECT_TRUE(r.openedDrawer());
    }
    for (const QString& g : r.balloons) {
        if (g.startsWith(u"2|Comanda|")) {
            EXPECT_TRUE(kKnownDescriptions.contains(g.section(u'|', 2)));
        }
    }
    switch (reach) {
    case Reach::KitchenOrder:
        // Caught by the kitchen printer: a ticket or a warning balloon, and every later job runs.
        EXPECT_NE(r.final, Final::Stopped);
        EXPECT_TRUE(r.hasBalloon(QStringLiteral("1|Impresion de comanda|")) ||
                    r.hasBalloon(QStringLiteral("2|Comanda|")));
        EXPECT_TRUE(r.printedCancellation());
        EXPECT_TRUE(r.printedInvoice());
        break;
    case Reach::Cancellation:
        EXPECT_NE(r.final, Final::Balloon);
        EXPECT_EQ(r.final != Final::Stopped, r.printedInvoice());
        if (r.final == Final::Printed) {
            EXPECT_TRUE(r.printedCancellation());
        }
        break;
    case Reach::Invoice:
        EXPECT_NE(r.final, Final::Balloon);
        EXPECT_TRUE(r.printedCancellation());
        EXPECT_EQ(r.final == Final::Printed, r.printedInvoice());
        break;
    case Reach::CustomerBlock:
        // The customer block's first error does not end the invoice.
        EXPECT_EQ(r.final, Final::Printed);
        EXPECT_TRUE(r.printedInvoice());
        break;
    case Reach::Settings:
        break;
    }
}

class HostilePayloads : public ::testing::Test {
protected:
    Renders renders;
};

TEST_F(HostilePayloads, TheCompleteAnswerPrintsEveryTicketCleanly) {
    // The base of the cases below: any fault in them comes from the value put in, not the rest.
    const Outcome r = renders.run(asAnswer(completeAnswer()));
    ASSERT_EQ(r.final, Final::Printed) << r.summary();
    EXPECT_EQ(r.files, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
    EXPECT_EQ(r.balloons, (QStringList{"1|Impresion de comanda|Comanda enviada a Cocina",
                                     "1|Impresion de comanda|Comanda enviada a Cocina",
                                     "1|Impresion de Factura|Factura enviada a Facturas"}));
    // A line of each block, so that the cases below reach every key.
    for (const char* seen : {"Bandeja paisa", "-> SIN FRIJOL", "RAPPI-77", "A N U L A C I O N!!", "-> EXTRA AREPA",
                              "Efectivo caja 1", "IVA 19%", "TORRE 2 APTO 301", "Permanencia  40  Minutos",
                              "Personas 2", "Fecha para pago 2024-03-10"}) {
        EXPECT_TRUE(r.documents.contains(QString::fromUtf8(seen))) << seen;
    }
}

TEST_F(HostilePayloads, ACollectionWhereADictionaryIsExpected) {
    const QJsonObject base = completeAnswer();
    struct Case {
        const char* level;
        Final final;
        QString description;  // on stderr, or in the warning balloon
    };
    std::vector<Case> cases{{"answer", Final::Stopped, errors::objectRequired}};
    std::vector<QByteArray> answers{asAnswer(QJsonDocument(QJsonArray{base}))};
    const std::map<std::string, Case> expected{
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
    for (const Level& level : levels()) {
        const Case& e = expected.at(level.name);
        cases.push_back({level.name, e.final, e.description});
        // The Dictionary wrapped in a list: it looks right and is not.
        answers.push_back(asAnswer(
            replaced(base, level.path, QJsonArray{read(base, level.path)}).toObject()));
    }
    // A note of a kitchen product is text; a list there cannot be printed.
    cases.push_back({"comanda detalle", Final::Balloon, errors::typeMismatch});
    const Path note{QStringLiteral("comanda"), 0, QStringLiteral("productos"), 0, QStringLiteral("detalle"), 0};
    answers.push_back(asAnswer(replaced(base, note, QJsonArray{"Sin frijol"}).toObject()));

    const std::vector<Outcome> outcomes = renders.run(answers);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const Outcome& r = outcomes[i];
        SCOPED_TRACE(std::string(c.level) + ": " + r.summary());
        expectBounded(r, answers[i].size(), c.level);
        EXPECT_EQ(r.final, c.final);
        if (c.final == Final::Stopped) {
            EXPECT_EQ(r.stderrText.trimmed(), c.description);
        }
        if (c.final == Final::Balloon) {
            EXPECT_TRUE(r.balloons.contains(QStringLiteral("2|Comanda|") + c.description));
            // The kitchen printer caught it: the cancellation, the invoice and the drawer follow.
            EXPECT_TRUE(r.printedCancellation() && r.printedInvoice() && r.openedDrawer());
        }
        if (c.final == Final::Printed) {
            EXPECT_TRUE(r.printedInvoice() && r.openedDrawer());
        }
    }
    // A list for an answer fails before anything is printed.
    EXPECT_FALSE(outcomes[0].printedAnything());
}

TEST_F(HostilePayloads, WrongTypesInEveryKeyTheTicketsRead) {
    const QJsonObject base = completeAnswer();
    std::vector<std::string> cases;
    std::vector<Reach> reaches;
    std::vector<std::string> levelOf;
    std::vector<QByteArray> answers;
    for (const Level& level : levels()) {
        for (const QString& key : level.keys) {
            for (const auto& [type, value] : wrongTypes()) {
                Path path = level.path;
                path.append(key);
                cases.push_back(std::string(level.name) + "." + key.toStdString() + " = " + type);
                reaches.push_back(reachOf(level.name, key));
                levelOf.push_back(level.name);
                answers.push_back(asAnswer(replaced(base, path, value).toObject()));
            }
        }
    }
    const std::vector<Outcome> outcomes = renders.run(answers);

    std::map<std::string, std::map<Final, int>> counts;
    for (size_t i = 0; i < cases.size(); ++i) {
        expectBounded(outcomes[i], answers[i].size(), cases[i]);
        expectByReach(reaches[i], outcomes[i], cases[i]);
        ++counts[levelOf[i]][outcomes[i].final];
    }
    for (const auto& [level, tally] : counts) {
        std::cout << "[ wrong types ] " << level << ":";
        for (const auto& [final, n] : tally) std::cout << ' ' << name(final) << ' ' << n;
        std::cout << '\n';
    }
}

TEST_F(HostilePayloads, WrongTypesInTheAnswersOwnKeys) {
    // Each list the dispatcher reads, and the drawer flag: true, or a non-zero number, counts as
    // true; anything else that is not a Boolean ends the dispatch before anything is printed.
    const QJsonObject base = completeAnswer();
    struct Case {
        QString key;
        const char* type;
        Final final;
    };
    std::vector<Case> cases;
    for (const char* list : {"config", "comanda", "anulaciones", "factura", "idsLeidos"}) {
        for (const char* type : {"null", "number", "text", "true", "object"}) cases.push_back({list, type, Final::Stopped});
    }
    cases.push_back({"abrirCajon", "null", Final::Stopped});
    cases.push_back({"abrirCajon", "number", Final::Printed});
    cases.push_back({"abrirCajon", "text", Final::Stopped});
    cases.push_back({"abrirCajon", "object", Final::Stopped});
    cases.push_back({"abrirCajon", "array", Final::Stopped});

    std::vector<QByteArray> answers;
    for (const Case& c : cases) {
        const auto type = std::find_if(wrongTypes().begin(), wrongTypes().end(),
                                       [&](const auto& t) { return std::strcmp(t.first, c.type) == 0; });
        QJsonObject payload = base;
        payload[c.key] = type->second;
        answers.push_back(asAnswer(payload));
    }
    const std::vector<Outcome> outcomes = renders.run(answers);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Outcome& r = outcomes[i];
        const std::string label = cases[i].key.toStdString() + " = " + cases[i].type;
        SCOPED_TRACE(label + ": " + r.summary());
        expectBounded(r, answers[i].size(), label);
        EXPECT_EQ(r.final, cases[i].final);
        if (r.final == Final::Stopped) {
            EXPECT_TRUE(kKnownDescriptions.contains(r.stderrText.trimmed()));
            EXPECT_FALSE(r.printedAnything());
        } else {
            EXPECT_TRUE(r.openedDrawer());
        }
    }
}

TEST_F(HostilePayloads, DeepNestingEndsTheReadingWithAMessage) {
    const int depth = 100000;
    const std::vector<QByteArray> answers{
        "00187" + QByteArray(depth, '['),
        "00187" + QByteArray(depth, '[') + QByteArray(depth, ']'),
        "00187" + QByteArray("{\"a\":").repeated(depth),
        // Deep inside a member the dispatcher reads.
        "00187{\"config\":[],\"idsLeidos\":[1],\"comanda\":" + QByteArray(depth, '[') + QByteArray(depth, ']') + "}",
    };
    const std::vector<Outcome> outcomes = renders.run(answers);
    for (size_t i = 0; i < answers.size(); ++i) {
        const Outcome& r = outcomes[i];
        SCOPED_TRACE(std::to_string(i) + ": " + r.summary());
        expectBounded(r, answers[i].size(), "deep " + std::to_string(i));
        EXPECT_EQ(r.final, Final::Logged);
        EXPECT_FALSE(r.stderrText.trimmed().isEmpty());
    }

    // Nesting a real answer could have is read, and a list in a text key fails the ticket alone.
    QJsonObject payload = completeAnswer();
    QJsonValue deep = QJsonArray{"Mesa 4"};
    for (int i = 0; i < 100; ++i) deep = QJsonArray{deep};
    payload = replaced(payload, {QStringLiteral("comanda"), 0, QStringLiteral("nomMesa")}, deep).toObject();
    const Outcome r = renders.run(asAnswer(payload));
    EXPECT_EQ(r.final, Final::Balloon) << r.summary();
    EXPECT_TRUE(r.printedInvoice() && r.openedDrawer()) << r.summary();
}

TEST_F(HostilePayloads, ATenToTheFiveFaultAnswerLogsABoundedErrorText) {
    // One fault per object: a key whose closing quote is not followed by a colon.
    const QByteArray answer = "00187[" + QByteArray("{\"a\" 1}").repeated(100000) + "]";
    const Outcome r = renders.run(answer);
    expectBounded(r, answer.size(), "faults");
    EXPECT_EQ(r.final, Final::Logged) << r.summary();
    EXPECT_TRUE(r.stderrText.startsWith(QStringLiteral("Invalid Key at position 7 : a\r\nInvalid Key at position 14 : a\r\n")))
        << r.summary();
    EXPECT_GT(r.stderrText.count(QStringLiteral("Invalid Key at position")), 1000);
    EXPECT_FALSE(r.printedAnything());
}

TEST_F(HostilePayloads, AThirtyMegabyteAnswerPrints) {
    // The bulk is a long settings list after the real settings: every lookup of a setting the
    // answer lacks reads all of it.
    const qsizetype target = 30 * 1000 * 1000;
    QJsonObject withoutConfig = completeAnswer();
    withoutConfig.remove(QStringLiteral("config"));
    QByteArray config =
        QJsonDocument(completeAnswer()[QStringLiteral("config")].toArray()).toJson(QJsonDocument::Compact);
    config.chop(1);  // the closing bracket
    QByteArray answer = asAnswer(withoutConfig);
    answer.reserve(target + 1024);
    answer.chop(1);  // the closing brace
    answer += ",\"config\":" + config;
    const QByteArray entry = R"(,{"Nombre":"Ajuste de relleno sin uso","Descripcion":"0123456789","Visible":"0"})";
    while (answer.size() < target) answer += entry;
    answer += "]}";

    // Reading it takes seconds, many more under the sanitizers.
    Renders slow(300000);
    const Outcome r = slow.run(answer);
    expectBounded(r, 0, "30 MB");
    EXPECT_EQ(r.final, Final::Printed) << r.summary();
    EXPECT_EQ(r.files, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
    std::cout << "[ 30 MB ] " << answer.size() << " bytes in " << r.milliseconds << " ms\n";
}

TEST_F(HostilePayloads, HugeNumbers) {
    struct Case {
        const char* name;
        Path path;
        QByteArray number;
        Final final;
    };
    const Path kitchenValue{QStringLiteral("comanda"), 0, QStringLiteral("productos"), 0, QStringLiteral("valor")};
    const Path totalDue{QStringLiteral("factura"), 0, QStringLiteral("totalPagar")};
    const Path totalPaid{QStringLiteral("factura"), 0, QStringLiteral("totalPagado")};
    const Path invoiceQuantity{QStringLiteral("factura"), 0, QStringLiteral("pedido"), 0, QStringLiteral("Cantidad")};
    const QByteArray largest = "79228162514264337593543950335";  // the largest exact decimal
    const std::vector<Case> cases{
        // Beyond what the reader can hold: a reader fault, nothing printed.
        {"1e400", kitchenValue, "1e400", Final::Logged},
        {"100 digits", kitchenValue, QByteArray(100, '9'), Final::Logged},
        {"100,000 digits", kitchenValue, QByteArray(100000, '7'), Final::Logged},
        {"exponent beyond 32 bits", kitchenValue, "1e99999999999", Final::Logged},
        {"-1e400", totalDue, "-1e400", Final::Logged},
        // Within range: read and printed.
        {"1e-400", kitchenValue, "1e-400", Final::Printed},
        {"the largest decimal on a kitchen ticket", kitchenValue, largest, Final::Printed},
        {"the smallest decimal as an invoice quantity", invoiceQuantity, "-" + largest, Final::Printed},
        // The invoice adds the tip paid to the total paid: the sum overflows and ends the dispatch.
        {"the largest decimal paid with a tip", totalPaid, largest, Final::Stopped},
    };
    std::vector<QByteArray> answers;
    for (const Case& c : cases) {
        // Written into the text as they are: a JSON library would round them.
        const QByteArray marker = "4242424242";
        QByteArray r = asAnswer(replaced(completeAnswer(), c.path, 4242424242.0).toObject());
        EXPECT_EQ(r.count(marker), 1);
        answers.push_back(r.replace(marker, c.number));
    }
    QJsonObject charge = completeAnswer();
    charge = replaced(charge, {QStringLiteral("config"), 11, QStringLiteral("Descripcion")}, "99999999").toObject();
    ASSERT_EQ(read(charge, {QStringLiteral("config"), 11, QStringLiteral("Nombre")}).toString(), "Servicio");
    answers.push_back(asAnswer(charge));

    const std::vector<Outcome> outcomes = renders.run(answers);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Outcome& r = outcomes[i];
        SCOPED_TRACE(std::string(cases[i].name) + ": " + r.summary());
        expectBounded(r, answers[i].size(), cases[i].name);
        EXPECT_EQ(r.final, cases[i].final);
        if (r.final == Final::Stopped) {
            EXPECT_EQ(r.stderrText.trimmed(), errors::overflow);
        }
        if (r.final == Final::Logged) {
            // The reader names the member whose number it could not hold.
            EXPECT_TRUE(r.stderrText.startsWith(QStringLiteral("Desbordamiento: ") + std::get<QString>(cases[i].path.last())));
            EXPECT_FALSE(r.printedAnything());
        }
    }
    EXPECT_TRUE(outcomes[6].documents.contains(QStringLiteral("79,228,162,514,264,337,593,543,950,335")))
        << outcomes[6].documents.toStdString();
    // A service charge beyond 16 bits cannot be read as a percentage: the invoice cannot start.
    EXPECT_EQ(outcomes.back().final, Final::Stopped) << outcomes.back().summary();
    EXPECT_EQ(outcomes.back().stderrText.trimmed(), errors::overflow);
}

TEST_F(HostilePayloads, KeysAndTextsOfControlCharacters) {
    QByteArray all;
    for (char c = 1; c < 32; ++c) all += c;
    QByteArray escaped;
    for (int c = 0; c < 32; ++c) escaped += QByteArray("\\u00") + QByteArray::number(c, 16).rightJustified(2, '0');
    const QByteArray base = asAnswer(completeAnswer());
    const auto withMembers = [&](const QByteArray& members) {
        QByteArray r = base;
        return r.insert(6, members + ",");  // right after the opening brace
    };
    struct Case {
        const char* name;
        QByteArray answer;
        Final final;
    };
    const std::vector<Case> cases{
        // Keys the tickets never ask for: the answer prints as without them.
        {"raw control characters as a key", withMembers("\"" + all + "\":1"), Final::Printed},
        {"escaped control characters as a key", withMembers("\"" + escaped + "\":1"), Final::Printed},
        {"a key of one raw NUL", withMembers(QByteArray("\"\0\":1", 5)), Final::Printed},
        {"NUL, ESC and BEL keys side by side", withMembers(QByteArray("\"\0\":1,\"\x1b\":2,\"\a\":3", 17)), Final::Printed},
        // Escapes are not read in keys: this one keeps its backslash and is not "config".
        {"a key with an escaped TAB", withMembers("\"con\\tfig\":[]"), Final::Printed},
        // Blanks are never part of a key: this one is "config" a second time, a reader fault.
        {"a key that is config with a raw TAB in it", withMembers("\"con\tfig\":[]"), Final::Logged},
    };
    std::vector<QByteArray> answers;
    for (const Case& c : cases) answers.push_back(c.answer);

    // Texts of control characters where the tickets print them.
    QJsonObject texts = completeAnswer();
    const QString controls = QString::fromUtf8(all) + QChar(0) + QStringLiteral("\x1bp\x00<\xf0");
    for (const Path& path : {Path{QStringLiteral("comanda"), 0, QStringLiteral("nomMesa")},
                             Path{QStringLiteral("comanda"), 0, QStringLiteral("productos"), 0, QStringLiteral("nombre")},
                             Path{QStringLiteral("anulaciones"), 0, QStringLiteral("nomMesa")},
                             Path{QStringLiteral("factura"), 0, QStringLiteral("pieFactura")},
                             Path{QStringLiteral("factura"), 0, QStringLiteral("cliente"), QStringLiteral("Nombre")}}) {
        texts = replaced(texts, path, controls).toObject();
    }
    answers.push_back(asAnswer(texts));
    // An area name with a NUL in it names no printer: the ticket goes to the default one.
    const QString areaWithNul = QStringLiteral("Coc") + QChar(0) + QStringLiteral("ina");
    answers.push_back(asAnswer(
        replaced(completeAnswer(), {QStringLiteral("comanda"), 0, QStringLiteral("area")}, areaWithNul).toObject()));

    const std::vector<Outcome> outcomes = renders.run(answers);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Outcome& r = outcomes[i];
        SCOPED_TRACE(std::string(cases[i].name) + ": " + r.summary());
        expectBounded(r, answers[i].size(), cases[i].name);
        EXPECT_EQ(r.final, cases[i].final);
        if (r.final == Final::Printed) {
            EXPECT_EQ(r.files, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
        }
    }
    const Outcome& withTexts = outcomes[cases.size()];
    expectBounded(withTexts, answers[cases.size()].size(), "control texts");
    EXPECT_EQ(withTexts.final, Final::Printed) << withTexts.summary();
    EXPECT_EQ(withTexts.files, (QStringList{"Cocina.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
    const Outcome& nulArea = outcomes.back();
    EXPECT_EQ(nulArea.final, Final::Printed) << nulArea.summary();
    EXPECT_EQ(nulArea.files, (QStringList{"Facturas.txt", "Cocina.txt", "Facturas.txt", "Facturas.raw"}));
}

}  // namespace
}  // namespace kelmora
