#pragma once

// What the end-to-end tests share: the application they run in, the kelmora process, reading its
// console, and the documents it printed on virtual or private CUPS printers.

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace kelmora::testing {

class CoreApp final : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char nombre[] = "kelmora-e2e";
        static char* argv[] = {nombre, nullptr};
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QCoreApplication> app_;
};
inline ::testing::Environment* const kCoreApp = ::testing::AddGlobalTestEnvironment(new CoreApp);

// The executable under test, with a runtime folder of its own.
inline std::unique_ptr<QProcess> nuevoKelmora(const QStringList& argumentos, const QString& carpetaTrabajo) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
    entorno.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    entorno.insert(QStringLiteral("XDG_RUNTIME_DIR"), carpetaTrabajo);
    p->setProcessEnvironment(entorno);
    p->setWorkingDirectory(carpetaTrabajo);
    p->setProgram(QStringLiteral(KELMORA_EXE));
    p->setArguments(argumentos);
    return p;
}

// The console lines without their timestamps.
inline QStringList lineasConsola(const QByteArray& salida) {
    static const QRegularExpression marca(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )"));
    QStringList lineas;
    for (const QString& linea : QString::fromUtf8(salida).split(u'\n')) {
        QString sin = linea;
        lineas.append(sin.remove(marca));
    }
    return lineas;
}

// The text of a PDF, by pdftotext (set up with the test environment).
inline QString textoPdf(const QString& ruta) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), ruta, QStringLiteral("-")});
    if (!p.waitForFinished(20000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline const QByteArray kPulsoCajon("\x1b\x70\x00\x3c\xf0", 5);

// Where the printed documents of a run land: the private CUPS queues of the test environment
// when it runs one, else the virtual PDF printers of --print-to.
class Impresiones {
public:
    Impresiones() {
        cups_ = qEnvironmentVariable("KELMORA_TEST_CUPS_OUT");
        if (!qEnvironmentVariableIsSet("CUPS_SERVER")) cups_.clear();
        if (enCups()) antes_ = QDir(cups_).entryList(QDir::Files);
    }
    bool enCups() const { return !cups_.isEmpty(); }
    QString carpetaVirtual() const { return virtual_.filePath(QStringLiteral("impresiones")); }

    // The printer options for kelmora.
    QStringList opciones() const {
        if (enCups()) return {};
        return {QStringLiteral("--print-to"), carpetaVirtual(), QStringLiteral("--printers"),
                QStringLiteral("Cocina,Bar,Facturas"), QStringLiteral("--default-printer"), QStringLiteral("Facturas")};
    }

    struct Trabajo {
        QString impresora;
        QByteArray datos;
    };
    // The jobs of this run: on CUPS the new files of the queues (other tests may print there too,
    // so callers pick theirs by content), else the virtual printers' files in delivery order.
    std::vector<Trabajo> trabajos() const {
        std::vector<Trabajo> lista;
        if (enCups()) {
            static const QRegularExpression trabajo(QStringLiteral(R"(^(\w+)\.(\d+)$)"));
            std::map<int, Trabajo> porId;
            for (const QString& nombre : QDir(cups_).entryList(QDir::Files)) {
                const auto m = trabajo.match(nombre);
                if (!m.hasMatch() || antes_.contains(nombre)) continue;
                QFile f(QDir(cups_).filePath(nombre));
                if (f.open(QIODevice::ReadOnly)) porId[m.captured(2).toInt()] = Trabajo{m.captured(1), f.readAll()};
            }
            for (auto& [id, t] : porId) lista.push_back(std::move(t));
            return lista;
        }
        static const QRegularExpression archivo(QStringLiteral(R"(^\d{3}-(\w+)\.(pdf|raw)$)"));
        const QDir dir(carpetaVirtual());
        for (const QString& nombre : dir.entryList(QDir::Files, QDir::Name)) {
            const auto m = archivo.match(nombre);
            QFile f(dir.filePath(nombre));
            if (m.hasMatch() && f.open(QIODevice::ReadOnly)) lista.push_back(Trabajo{m.captured(1), f.readAll()});
        }
        return lista;
    }

    // The marks ("MARK-XX") that the PDF documents of this run carry, each after its printer:
    // "Cocina MARK-A1".
    QStringList documentosCon(const QString& marca) const {
        const QRegularExpression conMarca(QRegularExpression::escape(marca) + QStringLiteral(R"(-\w+)"));
        QStringList encontrados;
        int n = 0;
        for (const Trabajo& t : trabajos()) {
            if (!t.datos.startsWith("%PDF")) continue;
            const QString ruta = virtual_.filePath(QStringLiteral("doc%1.pdf").arg(++n));
            QFile f(ruta);
            if (!f.open(QIODevice::WriteOnly)) continue;
            f.write(t.datos);
            f.close();
            const auto m = conMarca.match(textoPdf(ruta));
            if (m.hasMatch()) encontrados.append(t.impresora + u' ' + m.captured(0));
        }
        return encontrados;
    }

    int pulsosCajon() const {
        int n = 0;
        for (const Trabajo& t : trabajos()) n += (t.impresora == u"Facturas" && t.datos == kPulsoCajon) ? 1 : 0;
        return n;
    }

private:
    QString cups_;
    QStringList antes_;
    QTemporaryDir virtual_;
};

}  // namespace kelmora::testing
