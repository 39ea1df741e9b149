#pragma once

#include <coroutine>
#include <exception>
#include <optional>
#include <utility>

namespace kelmora::shell {

// A step of the print queue that may wait for the printing thread: a coroutine that starts at
// once, runs on the thread that called it, and resumes there whenever what it awaits is done.
// Awaiting a Tarea runs the caller on when it ends and hands over its value or its exception.
// The Tarea owns its frame: destroying one that is still waiting abandons it, with every step
// it was awaiting.
template <typename T = void>
class Tarea;

namespace detalle {

// At its end a coroutine hands over to whoever awaits it, if anyone does yet.
struct AlFinal {
    std::coroutine_handle<> continuacion;
    bool await_ready() noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<>) noexcept {
        return continuacion ? continuacion : std::noop_coroutine();
    }
    void await_resume() noexcept {}
};

struct PromesaBase {
    std::coroutine_handle<> continuacion;
    std::exception_ptr error;

    std::suspend_never initial_suspend() noexcept { return {}; }
    AlFinal final_suspend() noexcept { return AlFinal{continuacion}; }
    void unhandled_exception() { error = std::current_exception(); }
};

template <typename T>
struct Promesa : PromesaBase {
    std::optional<T> valor;
    Tarea<T> get_return_object();
    void return_value(T v) { valor = std::move(v); }
    T tomar() {
        if (error) std::rethrow_exception(error);
        return std::move(*valor);
    }
};

template <>
struct Promesa<void> : PromesaBase {
    Tarea<void> get_return_object();
    void return_void() {}
    void tomar() {
        if (error) std::rethrow_exception(error);
    }
};

}  // namespace detalle

template <typename T>
class [[nodiscard]] Tarea {
public:
    using promise_type = detalle::Promesa<T>;
    using Mango = std::coroutine_handle<promise_type>;

    Tarea() = default;
    explicit Tarea(Mango h) : h_(h) {}
    Tarea(Tarea&& otra) noexcept : h_(std::exchange(otra.h_, {})) {}
    Tarea& operator=(Tarea&& otra) noexcept {
        if (this != &otra) {
            destruir();
            h_ = std::exchange(otra.h_, {});
        }
        return *this;
    }
    ~Tarea() { destruir(); }

    bool await_ready() const noexcept { return h_.done(); }
    void await_suspend(std::coroutine_handle<> quien) noexcept { h_.promise().continuacion = quien; }
    T await_resume() { return h_.promise().tomar(); }

private:
    void destruir() {
        if (h_) h_.destroy();
        h_ = {};
    }
    Mango h_;
};

namespace detalle {
template <typename T>
Tarea<T> Promesa<T>::get_return_object() {
    return Tarea<T>(std::coroutine_handle<Promesa<T>>::from_promise(*this));
}
inline Tarea<void> Promesa<void>::get_return_object() {
    return Tarea<void>(std::coroutine_handle<Promesa<void>>::from_promise(*this));
}
}  // namespace detalle

}  // namespace kelmora::shell
