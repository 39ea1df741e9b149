// Reading speed of realistic poll answers of about 1 MB and 10 MB: the lenient reader (from the
// UTF-8 bytes, decoding included) against two strict JSON readers on the same text. Prints the
// median and best CPU time of each, its MB/s and the ratios.

#include "json/json_reader.h"

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <time.h>

namespace {

class AnswerMaker {
public:
    // `scale` multiplies the number of tickets, invoices and ids: 1 gives about 1 MB, 10 about 10 MB.
    explicit AnswerMaker(int scale) : scale_(scale) {}

    std::string answer() {
        out_.clear();
        out_ += '{';
        key("config");
        out_ += '[';
        for (int i = 0; i < 60; ++i) {
            if (i > 0) out_ += ',';
            out_ += '{';
            field("Nombre", settingName(i));
            out_ += ',';
            field("Descripcion", pick(kDescriptions));
            out_ += ',';
            key("Visible");
            out_ += below(3) == 0 ? "false" : "true";
            out_ += '}';
        }
        out_ += "],";
        key("comanda");
        list(150 * scale_, [this](int i) { comanda(i); });
        out_ += ',';
        key("anulaciones");
        list(12 * scale_, [this](int i) { anulacion(i); });
        out_ += ',';
        key("factura");
        list(40 * scale_, [this](int i) { factura(i); });
        out_ += ',';
        key("abrirCajon");
        out_ += "true,";
        key("idsLeidos");
        out_ += '[';
        for (int i = 0; i < 200 * scale_; ++i) {
            if (i > 0) out_ += ',';
            out_ += std::to_string(880000 + i * 7);
        }
        out_ += "]}";
        return out_;
    }

private:
    static constexpr const char* kDescriptions[] = {
        "Imprime el logo en la cabecera de la factura", "Tamaño del rollo de papel en milímetros",
        "Muestra los valores en la comanda de cocina", "Texto al pie de la factura, línea única",
        "Número de copias por impresión", "Habilita la propina sugerida del 10%"};
    static constexpr const char* kProducts[] = {
        "Ajiaco santafereño", "Bandeja paisa", "Limonada de coco", "Café tinto", "Jugo de maracuyá en leche",
        "Arepa de choclo con queso", "Sancocho trifásico", "Postre de natas", "Cerveza artesanal roja",
        "Ensalada César con pollo", "Churrasco 400 g término medio", "Agua sin gas"};
    static constexpr const char* kDetails[] = {"sin cebolla", "término medio", "con hielo", "sin azúcar",
                                               "salsa aparte", "para llevar", "extra queso", "doble porción"};
    static constexpr const char* kNames[] = {"María José Gómez", "Andrés Peña", "Sofía Muñoz", "Iván Ortíz",
                                             "Lucía Hernández", "Tomás Álvarez", "Camila Núñez"};
    static constexpr const char* kAreas[] = {"Cocina", "Bar", "Parrilla", "Pastelería"};
    static constexpr const char* kSettings[] = {
        "Tamaño de Factura", "Pie de Factura", "Valores En Comanda", "Logo en Factura", "Resolución DIAN",
        "Régimen Tributario", "Propina Sugerida", "Copias de Comanda", "Encabezado de Factura",
        "Dirección Sucursal", "Teléfono Sucursal", "Mostrar Cliente"};

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    template <typename T, size_t N>
    const char* pick(const T (&items)[N]) {
        return items[below(static_cast<int>(N))];
    }
    std::string settingName(int i) {
        std::string name = kSettings[static_cast<size_t>(i) % std::size(kSettings)];
        if (i >= static_cast<int>(std::size(kSettings))) name += " " + std::to_string(i);
        return name;
    }

    void key(const char* k) {
        out_ += '"';
        out_ += k;
        out_ += "\":";
    }
    void field(const char* k, const std::string& text) {
        key(k);
        out_ += '"';
        out_ += text;
        out_ += '"';
    }
    void number(const char* k, long long v) {
        key(k);
        out_ += std::to_string(v);
    }
    void amount(const char* k, long long cents) {
        key(k);
        out_ += std::to_string(cents / 100);
        if (cents % 100 != 0) out_ += "." + std::to_string(cents % 100 / 10) + std::to_string(cents % 10);
    }
    void list(int count, const std::function<void(int)>& item) {
        out_ += '[';
        for (int i = 0; i < count; ++i) {
            if (i > 0) out_ += ',';
            item(i);
        }
        out_ += ']';
    }
    std::string date() {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "2024-06-%02d %02d:%02d:%02d", 1 + below(28), below(24), below(60),
                      below(60));
        return buffer;
    }

    void producto() {
        out_ += '{';
        field("nombre", pick(kProducts));
        out_ += ',';
        number("cantidad", 1 + below(4));
        out_ += ',';
        amount("valor", 250000 + below(6000000));
        out_ += ',';
        key("detalle");
        list(below(4), [this](int) {
            out_ += '"';
            out_ += pick(kDetails);
            out_ += '"';
        });
        out_ += ',';
        field("observacion", below(4) == 0 ? "Cliente alérgico al maní\\nAvisar al mesero" : "");
        out_ += ',';
        number("idProducto", 3000 + below(900));
        out_ += ',';
        field("codigo", "PLU-" + std::to_string(10000 + below(90000)));
        out_ += ',';
        key("adiciones");
        list(below(3), [this](int) {
            out_ += '{';
            field("nombre", pick(kDetails));
            out_ += ',';
            amount("valor", 100000 + below(400000));
            out_ += '}';
        });
        out_ += ',';
        key("esCortesia");
        out_ += below(10) == 0 ? "true" : "false";
        out_ += '}';
    }

    void comanda(int i) {
        out_ += '{';
        field("area", pick(kAreas));
        out_ += ',';
        field("titulo", "COMANDA");
        out_ += ',';
        field("nomMesa", "Mesa " + std::to_string(1 + below(40)) + " - Terraza");
        out_ += ',';
        key("productos");
        list(7 + below(16), [this](int) { producto(); });
        out_ += ',';
        field("responsable", pick(kNames));
        out_ += ',';
        number("nPedido", 51000 + i);
        out_ += ',';
        field("fecha", date());
        out_ += ',';
        field("clienteNombre", pick(kNames));
        out_ += ',';
        number("idComanda", 990000 + i);
        out_ += ',';
        field("tipoPedido", below(2) == 0 ? "Mesa" : "Domicilio");
        out_ += ',';
        key("imprimirValores");
        out_ += below(2) == 0 ? "true" : "false";
        out_ += ',';
        key("notas");
        out_ += below(3) == 0 ? "null" : "\"Entregar todo junto, por favor\"";
        out_ += '}';
    }

    void anulacion(int i) {
        out_ += '{';
        field("area", pick(kAreas));
        out_ += ',';
        field("nomMesa", "Mesa " + std::to_string(1 + below(40)));
        out_ += ',';
        field("producto", pick(kProducts));
        out_ += ',';
        number("cantidad", 1 + below(3));
        out_ += ',';
        field("motivo", "El cliente cambió de opinión");
        out_ += ',';
        field("responsable", pick(kNames));
        out_ += ',';
        field("fecha", date());
        out_ += ',';
        number("idAnulacion", 7000 + i);
        out_ += '}';
    }

    void factura(int i) {
        out_ += '{';
        number("numeroFactura", 120000 + i);
        out_ += ',';
        field("prefijo", "FE");
        out_ += ',';
        field("fechaFactura", date());
        out_ += ',';
        field("nomMesa", "Mesa " + std::to_string(1 + below(40)));
        out_ += ',';
        key("pedido");
        list(24 + below(40), [this](int) {
            out_ += '{';
            field("NombreProducto", pick(kProducts));
            out_ += ',';
            number("Cantidad", 1 + below(5));
            out_ += ',';
            amount("Valor", 250000 + below(6000000));
            out_ += ',';
            amount("DescuentoIndividual", below(3) == 0 ? 50000 : 0);
            out_ += ',';
            number("IdProducto", 3000 + below(900));
            out_ += ',';
            field("Codigo", "PLU-" + std::to_string(10000 + below(90000)));
            out_ += ',';
            amount("ValorUnitario", 250000 + below(6000000));
            out_ += ',';
            amount("PorcentajeImpuesto", below(2) == 0 ? 1900 : 800);
            out_ += ',';
            field("Observacion", below(3) == 0 ? "Sin hielo, por favor" : "");
            out_ += ',';
            key("Detalle");
            list(below(3), [this](int) {
                out_ += '"';
                out_ += pick(kDetails);
                out_ += '"';
            });
            out_ += '}';
        });
        out_ += ',';
        key("impuestos");
        list(2, [this](int k) {
            out_ += '{';
            field("nombre", k == 0 ? "IVA 19%" : "Impoconsumo 8%");
            out_ += ',';
            amount("base", 1000000 + below(50000000));
            out_ += ',';
            amount("valor", 100000 + below(5000000));
            out_ += '}';
        });
        out_ += ',';
        key("mediosPago");
        list(1 + below(2), [this](int k) {
            out_ += '{';
            field("medio", k == 0 ? "Efectivo" : "Tarjeta débito");
            out_ += ',';
            amount("valor", 1000000 + below(50000000));
            out_ += '}';
        });
        out_ += ',';
        key("cliente");
        out_ += '{';
        field("nombre", pick(kNames));
        out_ += ',';
        field("nit", std::to_string(10000000 + below(89999999)));
        out_ += ',';
        field("direccion", "Calle 45 # 12-34, Bogotá D.C.");
        out_ += ',';
        field("telefono", "601 555 0199");
        out_ += ',';
        field("correo", "cliente@ejemplo.com.co");
        out_ += "},";
        amount("subtotal", 1000000 + below(90000000));
        out_ += ',';
        amount("propina", below(2) == 0 ? 0 : 350000 + below(500000));
        out_ += ',';
        amount("total", 1000000 + below(99000000));
        out_ += ',';
        number("CntGroupon", 0);
        out_ += ',';
        field("resolucion", "Resolución DIAN 18764000001234 del 2024-01-15, rango FE 100000 a 200000");
        out_ += ',';
        field("cajero", pick(kNames));
        out_ += '}';
    }

    int scale_;
    std::mt19937 random_{42};
    std::string out_;
};

// The machine is shared, so each call is timed in the CPU time of this thread, not wall time.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Timing {
    double median;
    double best;  // the run least disturbed by the other work on the machine
};

// Times of each reader over `runs` rounds, after one warm-up call each. Every round calls each
// reader once, in turn, so that a change of load on the machine touches them all alike.
std::vector<Timing> timeReaders(int runs, const std::vector<std::function<void()>>& readers) {
    std::vector<std::vector<double>> times(readers.size());
    for (const auto& read : readers) read();
    for (int round = 0; round < runs; ++round) {
        for (size_t k = 0; k < readers.size(); ++k) {
            const double start = threadSeconds();
            readers[k]();
            times[k].push_back(threadSeconds() - start);
        }
    }
    std::vector<Timing> timings;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        timings.push_back({t[t.size() / 2], t.front()});
    }
    return timings;
}

// Every reader must read the answer cleanly, or the timing means nothing.
bool allReadersAccept(const std::string& answer) {
    kelmora::JsonReader reader;
    (void)reader.leerJSON(QString::fromUtf8(answer.data(), static_cast<qsizetype>(answer.size())));
    if (!reader.erroresJSON().isEmpty()) {
        std::fprintf(stderr, "leerJSON faults: %s\n", qPrintable(reader.erroresJSON().left(500)));
        return false;
    }
    rapidjson::Document check;
    if (check.Parse(answer.c_str()).HasParseError()) {
        std::fprintf(stderr, "RapidJSON rejects the answer\n");
        return false;
    }
    if (nlohmann::json::parse(answer, nullptr, false).is_discarded()) {
        std::fprintf(stderr, "nlohmann::json rejects the answer\n");
        return false;
    }
    return true;
}

struct Readers {
    std::function<void()> leer;
    std::function<void()> nlohmannParse;
    std::function<void()> rapidParse;
};

Readers readersOf(const std::string& answer, kelmora::JsonReader& reader, std::size_t& sink) {
    return {
        [&] {
            const kelmora::Value v =
                reader.leerJSON(QString::fromUtf8(answer.data(), static_cast<qsizetype>(answer.size())));
            sink += static_cast<std::size_t>(v.toDictionary().Count());
        },
        [&] {
            const nlohmann::json j = nlohmann::json::parse(answer);
            sink += j.size();
        },
        [&] {
            rapidjson::Document d;
            d.Parse(answer.c_str());
            sink += d.MemberCount();
        },
    };
}

void printLine(const char* name, double megabytes, const Timing& t) {
    std::printf("  %-34s %8.1f MB/s  median %8.2f ms  best %8.2f ms\n", name, megabytes / t.best, t.median * 1e3,
                t.best * 1e3);
}

}  // namespace

// json_bench [RUNS]                    both answers, every reader, RUNS rounds each (31 by default)
// json_bench RUNS leerJSON [SCALE]     leerJSON alone on the answer of SCALE (1 by default), for a profiler
int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    kelmora::JsonReader reader;
    std::size_t sink = 0;

    if (argc > 2 && std::string(argv[2]) == "leerJSON") {
        const int scale = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
        const std::string answer = AnswerMaker(scale).answer();
        if (!allReadersAccept(answer)) return 1;
        const Timing t = timeReaders(runs, {readersOf(answer, reader, sink).leer})[0];
        std::printf("answer: %.3f MB (sink %zu)\n", static_cast<double>(answer.size()) / 1e6, sink);
        printLine("leerJSON alone", static_cast<double>(answer.size()) / 1e6, t);
        return 0;
    }

    for (const int scale : {1, 10}) {
        const std::string answer = AnswerMaker(scale).answer();
        if (!allReadersAccept(answer)) return 1;
        const double megabytes = static_cast<double>(answer.size()) / 1e6;
        const Readers r = readersOf(answer, reader, sink);
        const auto t = timeReaders(runs, {r.leer, r.nlohmannParse, r.rapidParse});

        std::printf("answer: %.3f MB, CPU time of %d runs (sink %zu); MB/s of the best run\n", megabytes, runs, sink);
        printLine("leerJSON (UTF-8 decoding included)", megabytes, t[0]);
        printLine("nlohmann::json::parse", megabytes, t[1]);
        printLine("rapidjson::Document::Parse", megabytes, t[2]);
        std::printf("  leerJSON vs nlohmann::json: %.2fx (median %.2fx)\n", t[1].best / t[0].best,
                    t[1].median / t[0].median);
        std::printf("  leerJSON vs RapidJSON:      %.2fx (median %.2fx)\n", t[2].best / t[0].best,
                    t[2].median / t[0].median);
    }
    return 0;
}
