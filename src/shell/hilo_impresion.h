#pragma once

#include "platform/notifier.h"
#include "shell/tarea.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace kelmora::shell {

// Where the printing side's blocking work runs: the printing system's requests and the
// tickets' layout. The print queue itself never blocks on them.
class EjecutorImpresion {
public:
    virtual ~EjecutorImpresion() = default;
    // Runs `trabajo`. True when it already ran, here and now; otherwise it runs elsewhere and
    // `alTerminar` is called on the caller's thread once it is done.
    virtual bool ejecutar(std::function<void()> trabajo, std::function<void()> alTerminar) = 0;
    // Lets the work under way finish, tells its end, and takes no more.
    virtual void detener() {}
};

// Every work at once, on the caller's thread: for runs that print and end (a rendered answer,
// a fuzzing input) and for tests that step the queue by hand.
class EjecutorEnLinea final : public EjecutorImpresion {
public:
    bool ejecutar(std::function<void()> trabajo, std::function<void()>) override {
        trabajo();
        return true;
    }
};

// The service's printing thread. A printing system that hangs holds this thread only: the tray,
// the windows and the polls go on, and the queue records new answers meanwhile. One work at a
// time, in the order given, so documents still reach the printers one after another.
//
// A thread rather than non-blocking requests: the tickets lay a document out through calls that
// ask the printer as they go (probe, fallback, delivery), and the printing libraries only offer
// blocking calls; one thread keeps that code as it reads, and the queue awaits it.
class HiloImpresion final : public EjecutorImpresion {
public:
    HiloImpresion();
    ~HiloImpresion() override;
    HiloImpresion(const HiloImpresion&) = delete;
    HiloImpresion& operator=(const HiloImpresion&) = delete;

    bool ejecutar(std::function<void()> trabajo, std::function<void()> alTerminar) override;
    // What is asked after this never runs.
    void detener() override;

private:
    QThread hilo_;
    std::unique_ptr<QObject> trabajador_;  // lives in hilo_
    QObject contexto_;                     // lives on the caller's thread: where ends are told
    std::atomic<bool> detenido_{false};
};

// Balloons asked for on the printing thread, shown by the tray on the thread it lives on (the
// one that builds this).
class AvisosDesdeOtroHilo final : public platform::Notifier {
public:
    explicit AvisosDesdeOtroHilo(platform::Notifier& destino) : destino_(destino) {}
    void ShowBalloonTip(const QString& text, platform::BalloonIcon icon, const QString& title,
                        int timeoutMs) override;

private:
    platform::Notifier& destino_;
    QObject contexto_;
};

// `co_await enHilo(ejecutor, f)`: runs f where the executor runs work and resumes with its value,
// or rethrows what it raised. f must touch only what belongs to the printing side.
template <typename F>
auto enHilo(EjecutorImpresion& ejecutor, F f) {
    using R = std::invoke_result_t<F&>;
    struct Espera {
        EjecutorImpresion& ejecutor;
        F f;
        std::conditional_t<std::is_void_v<R>, bool, std::optional<R>> valor{};
        std::exception_ptr error;

        bool await_ready() const noexcept { return false; }
        bool await_suspend(std::coroutine_handle<> h) {
            return !ejecutor.ejecutar(
                [this] {
                    try {
                        if constexpr (std::is_void_v<R>) {
                            f();
                        } else {
                            valor = f();
                        }
                    } catch (...) {
                        error = std::current_exception();
                    }
                },
                [h] { h.resume(); });
        }
        R await_resume() {
            if (error) std::rethrow_exception(error);
            if constexpr (!std::is_void_v<R>) return std::move(*valor);
        }
    };
    return Espera{ejecutor, std::move(f), {}, {}};
}

// Runs `f` where the executor runs work and hands its value to `alTerminar` on the caller's thread:
// for a person's question (the printers' states, a test page) that the windows must not wait on.
template <typename F, typename G>
void enHiloYLuego(EjecutorImpresion& ejecutor, F f, G alTerminar) {
    auto valor = std::make_shared<std::optional<std::invoke_result_t<F&>>>();
    const auto entregar = [valor, alTerminar] { alTerminar(std::move(**valor)); };
    if (ejecutor.ejecutar([valor, f]() mutable { valor->emplace(f()); }, entregar)) entregar();
}

}  // namespace kelmora::shell
