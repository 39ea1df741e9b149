#pragma once

// Fakes at the seams of the service shell: a time line with its timers, a scripted page loader,
// a recording main window and scripted dialogs.

#include "platform/dialogs.h"
#include "platform/page_loader.h"
#include "platform/timer.h"
#include "shell/vista_servicio.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

namespace kelmora::testing {

class FakeTimer;

// Virtual time: advancing it fires the due timers in time order.
class FakeTimeLine {
public:
    qint64 now = 0;

    void advance(qint64 ms);

private:
    friend class FakeTimer;
    std::vector<FakeTimer*> timers_;
};

class FakeTimer final : public platform::Timer {
public:
    explicit FakeTimer(FakeTimeLine& line) : line_(line) { line_.timers_.push_back(this); }
    ~FakeTimer() override { std::erase(line_.timers_, this); }

    void start(int intervalMs, Mode mode) override {
        active_ = true;
        interval_ = intervalMs;
        mode_ = mode;
        due_ = line_.now + intervalMs;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }
    int interval() const { return interval_; }

private:
    friend class FakeTimeLine;
    void trigger() {
        if (mode_ == Mode::SingleShot) {
            active_ = false;
        } else {
            due_ += interval_;
        }
        fire();
    }

    FakeTimeLine& line_;
    bool active_ = false;
    int interval_ = 0;
    Mode mode_ = Mode::Repeating;
    qint64 due_ = 0;
};

inline void FakeTimeLine::advance(qint64 ms) {
    const qint64 target = now + ms;
    for (;;) {
        FakeTimer* next = nullptr;
        for (FakeTimer* t : timers_) {
            if (t->active_ && t->due_ <= target && (!next || t->due_ < next->due_)) next = t;
        }
        if (!next) break;
        now = next->due_;
        next->trigger();
    }
    now = target;
}

// A page loader whose answers the test gives.
class FakeLoader final : public platform::PageLoader {
public:
    void setEvents(Events e) override { events_ = std::move(e); }
    void start(const QUrl& url, qint64 maxBytes) override {
        if (underWay) ++abandoned;
        fetched.push_back(url);
        limit = maxBytes;
        underWay = true;
    }
    void abort() override {
        if (underWay) ++abandoned;
        underWay = false;
    }

    void status(const QString& text) { events_.statusText(text); }
    void complete(const QString& body) {
        ASSERT_TRUE(underWay) << "no fetch under way";
        underWay = false;
        events_.complete(body);
    }
    void fail(Failure failure, const QString& description) {
        ASSERT_TRUE(underWay) << "no fetch under way";
        underWay = false;
        events_.failed(failure, description);
    }

    std::vector<QUrl> fetched;
    int abandoned = 0;
    qint64 limit = 0;
    bool underWay = false;

private:
    Events events_;
};

// The main window and tray as the cycle drives them.
class RecordingView final : public shell::VistaServicio {
public:
    void escribirConsola(const QString& texto) override {
        consola.append(texto);
        log.append(QStringLiteral("consola: ") + texto);
    }
    void limpiarConsola() override {
        consola.clear();
        log.append(QStringLiteral("limpiar"));
    }
    void mostrarBotonReloj(const QString& caption) override {
        boton = caption;
        log.append(QStringLiteral("boton: ") + caption);
    }
    void mostrarVentana(bool v) override {
        visible = v;
        log.append(v ? QStringLiteral("ventana visible") : QStringLiteral("ventana oculta"));
    }
    void Init(const QString& tooltip) override { log.append(QStringLiteral("Init: ") + tooltip); }
    void SetIcon(shell::EstadoIcono estado, const QString& tooltip) override {
        iconos.push_back({estado, tooltip});
        log.append(QStringLiteral("SetIcon: ") + tooltip);
    }

    QStringList consola;  // since the last limpiarConsola
    QStringList log;      // everything, in order
    std::vector<std::pair<shell::EstadoIcono, QString>> iconos;
    QString boton = QStringLiteral("Pausar Reloj");
    std::optional<bool> visible;
};

// Prompts answered from a script; what was asked and shown is recorded.
class ScriptedDialogs final : public platform::Dialogs {
public:
    struct Prompt {
        QString title;
        QString message;
    };
    struct Message {
        QString text;
        platform::MessageIcon icon;
        QString title;
    };

    std::optional<QString> askText(const QString& title, const QString& message) override {
        prompts.push_back({title, message});
        if (onPrompt) onPrompt();
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected prompt: " << title.toStdString();
            return QStringLiteral("X99999999999999");  // ends any prompt loop
        }
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void showMessage(const QString& text, platform::MessageIcon icon, const QString& title) override {
        messages.push_back({text, icon, title});
    }
    std::optional<QString> chooseFile(const QString&, const QStringList&) override { return std::nullopt; }

    std::deque<std::optional<QString>> answers;  // nullopt: the user cancels
    std::function<void()> onPrompt;              // runs as each prompt shows
    std::vector<Prompt> prompts;
    std::vector<Message> messages;
};

}  // namespace kelmora::testing
