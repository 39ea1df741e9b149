#pragma once

// Fakes at the seams of the service shell: a time line with its timers, a scripted page loader,
// a recording main window and scripted dialogs.

#include "platform/dialogs.h"
#include "platform/page_loader.h"
#include "platform/timer.h"
#include "shell/bitacora.h"
#include "shell/vista_servicio.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

namespace kelmora::testing {

// A log that keeps its lines.
class BitacoraQueAnota final : public shell::Bitacora {
public:
    void anotar(const QString& linea) override { lineas.append(linea); }
    QStringList lineas;
};

class TemporizadorFalso;

// Virtual time: advancing it fires the due timers in time order.
class LineaDeTiempoFalsa {
public:
    qint64 ahora = 0;

    void avanzar(qint64 ms);

private:
    friend class TemporizadorFalso;
    std::vector<TemporizadorFalso*> temporizadores_;
};

class TemporizadorFalso final : public platform::Timer {
public:
    explicit TemporizadorFalso(LineaDeTiempoFalsa& linea) : linea_(linea) { linea_.temporizadores_.push_back(this); }
    ~TemporizadorFalso() override { std::erase(linea_.temporizadores_, this); }

    void start(int intervaloMs, Mode modo) override {
        activo_ = true;
        intervalo_ = intervaloMs;
        modo_ = modo;
        vence_ = linea_.ahora + intervaloMs;
    }
    void stop() override { activo_ = false; }
    bool isActive() const override { return activo_; }
    int intervalo() const { return intervalo_; }

private:
    friend class LineaDeTiempoFalsa;
    void disparar() {
        if (modo_ == Mode::SingleShot) {
            activo_ = false;
        } else {
            vence_ += intervalo_;
        }
        fire();
    }

    LineaDeTiempoFalsa& linea_;
    bool activo_ = false;
    int intervalo_ = 0;
    Mode modo_ = Mode::Repeating;
    qint64 vence_ = 0;
};

inline void LineaDeTiempoFalsa::avanzar(qint64 ms) {
    const qint64 destino = ahora + ms;
    for (;;) {
        TemporizadorFalso* proximo = nullptr;
        for (TemporizadorFalso* t : temporizadores_) {
            if (t->activo_ && t->vence_ <= destino && (!proximo || t->vence_ < proximo->vence_)) proximo = t;
        }
        if (!proximo) break;
        ahora = proximo->vence_;
        proximo->disparar();
    }
    ahora = destino;
}

// A page loader whose answers the test gives.
class CargadorFalso final : public platform::PageLoader {
public:
    void setEvents(Events eventos) override { eventos_ = std::move(eventos); }
    void start(const QUrl& url, qint64 maximoBytes) override {
        if (enCurso) ++abandonadas;
        pedidas.push_back(url);
        limite = maximoBytes;
        enCurso = true;
    }
    void abort() override {
        if (enCurso) ++abandonadas;
        enCurso = false;
    }

    void estado(const QString& texto) { eventos_.statusText(texto); }
    void completar(const QString& cuerpo) {
        ASSERT_TRUE(enCurso) << "no fetch under way";
        enCurso = false;
        eventos_.complete(cuerpo);
    }
    void fallar(Failure falla, const QString& descripcion) {
        ASSERT_TRUE(enCurso) << "no fetch under way";
        enCurso = false;
        eventos_.failed(falla, descripcion);
    }

    std::vector<QUrl> pedidas;
    int abandonadas = 0;
    qint64 limite = 0;
    bool enCurso = false;

private:
    Events eventos_;
};

// The main window and tray as the cycle drives them.
class VistaQueAnota final : public shell::VistaServicio {
public:
    void escribirConsola(const QString& texto) override {
        consola.append(texto);
        registro.append(QStringLiteral("consola: ") + texto);
    }
    void limpiarConsola() override {
        consola.clear();
        registro.append(QStringLiteral("limpiar"));
    }
    void mostrarBotonReloj(const QString& texto) override {
        boton = texto;
        registro.append(QStringLiteral("boton: ") + texto);
    }
    void mostrarVentana(bool v) override {
        visible = v;
        registro.append(v ? QStringLiteral("ventana visible") : QStringLiteral("ventana oculta"));
    }
    void Init(const QString& ayuda) override { registro.append(QStringLiteral("Init: ") + ayuda); }
    void SetIcon(shell::EstadoIcono estado, const QString& ayuda) override {
        iconos.push_back({estado, ayuda});
        registro.append(QStringLiteral("SetIcon: ") + ayuda);
    }

    QStringList consola;   // since the last limpiarConsola
    QStringList registro;  // everything, in order
    std::vector<std::pair<shell::EstadoIcono, QString>> iconos;
    QString boton = QStringLiteral("Pausar Reloj");
    std::optional<bool> visible;
};

// Prompts answered from a script; what was asked and shown is recorded.
class DialogosConGuion final : public platform::Dialogs {
public:
    struct Pregunta {
        QString titulo;
        QString mensaje;
    };
    struct Mensaje {
        QString texto;
        platform::MessageIcon icono;
        QString titulo;
    };

    std::optional<QString> askText(const QString& titulo, const QString& mensaje) override {
        preguntas.push_back({titulo, mensaje});
        if (alPreguntar) alPreguntar();
        if (respuestas.empty()) {
            ADD_FAILURE() << "unexpected prompt: " << titulo.toStdString();
            return QStringLiteral("X99999999999999");  // ends any prompt loop
        }
        std::optional<QString> respuesta = respuestas.front();
        respuestas.pop_front();
        return respuesta;
    }
    void showMessage(const QString& texto, platform::MessageIcon icono, const QString& titulo) override {
        mensajes.push_back({texto, icono, titulo});
    }
    std::optional<QString> chooseFile(const QString&, const QStringList&) override { return std::nullopt; }

    std::deque<std::optional<QString>> respuestas;  // nullopt: the user cancels
    std::function<void()> alPreguntar;              // runs as each prompt shows
    std::vector<Pregunta> preguntas;
    std::vector<Mensaje> mensajes;
};

}  // namespace kelmora::testing
