#pragma once

// Fakes at the seams of the service: a time line with its timers, a scripted page loader, a
// recording main window, a recording log and scripted dialogs.

#include "platform/dialogs.h"
#include "platform/page_loader.h"
#include "platform/timer.h"
#include "shell/bitacora.h"
#include "shell/vista_servicio.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace kelmora::testing {

// A log that keeps its lines.
class RecordingLog final : public shell::Bitacora {
public:
    void anotar(const QString& line, shell::Gravedad gravedad) override {
        lines.append(line);
        gravedades.append(gravedad);
    }
    QStringList lines;
    QList<shell::Gravedad> gravedades;
};

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
    void fireNow() {
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
        next->fireNow();
    }
    now = target;
}

// A page loader whose answers the test gives.
class FakePageLoader final : public platform::PageLoader {
public:
    void setEvents(Events events) override { events_ = std::move(events); }
    void start(const QUrl& url, qint64 maxBytes) override {
        if (underWay) ++abandoned;
        requests.push_back(url);
        limitBytes = maxBytes;
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

    std::vector<QUrl> requests;
    int abandoned = 0;
    qint64 limitBytes = 0;
    bool underWay = false;

private:
    Events events_;
};

// The main window and tray as the poll cycle drives them.
class RecordingView final : public shell::VistaServicio {
public:
    void escribirConsola(const QString& text) override {
        console.append(text);
        events.append(QStringLiteral("consola: ") + text);
    }
    void limpiarConsola() override {
        console.clear();
        events.append(QStringLiteral("limpiar"));
    }
    void mostrarBotonReloj(const QString& text) override {
        button = text;
        events.append(QStringLiteral("boton: ") + text);
    }
    void mostrarVentana(bool v) override {
        visible = v;
        events.append(v ? QStringLiteral("ventana visible") : QStringLiteral("ventana oculta"));
    }
    void Init(const QString& tooltip) override { events.append(QStringLiteral("Init: ") + tooltip); }
    void SetIcon(shell::EstadoIcono state, const QString& tooltip) override {
        icons.push_back({state, tooltip});
        events.append(QStringLiteral("SetIcon: ") + tooltip);
    }

    QStringList console;  // since the last limpiarConsola
    QStringList events;   // everything, in order
    std::vector<std::pair<shell::EstadoIcono, QString>> icons;
    QString button = QStringLiteral("Pausar Reloj");
    std::optional<bool> visible;
};

// Prompts, message boxes and the file dialog answered from a script; what was shown is recorded
// in order.
class ScriptedDialogs final : public platform::Dialogs {
public:
    enum class Kind { Prompt, Message, File, Question };
    struct Shown {
        Kind kind;
        QString title;
        QString text;  // the prompt's or message's text; the file dialog's filters joined by "|"
        std::optional<platform::MessageIcon> icon;
    };

    std::optional<QString> askText(const QString& title, const QString& text) override {
        shown.push_back({Kind::Prompt, title, text, std::nullopt});
        if (onPrompt) onPrompt();
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected prompt: " << title.toStdString();
            return std::nullopt;
        }
        const bool answered = answers.front().has_value();
        const QString answer = answers.front().value_or(QString());
        answers.pop_front();
        if (!answered) return std::nullopt;
        return answer;
    }
    void showMessage(const QString& text, platform::MessageIcon icon, const QString& title) override {
        shown.push_back({Kind::Message, title, text, icon});
    }
    std::optional<QString> chooseFile(const QString& title, const QStringList& filters) override {
        shown.push_back({Kind::File, title, filters.join(u'|'), std::nullopt});
        return file;
    }
    // Yes, unless the script says otherwise.
    bool confirm(const QString& title, const QString& question) override {
        shown.push_back({Kind::Question, title, question, std::nullopt});
        return confirms;
    }
    bool confirms = true;

    std::vector<Shown> only(Kind kind) const {
        std::vector<Shown> list;
        for (const Shown& s : shown) {
            if (s.kind == kind) list.push_back(s);
        }
        return list;
    }
    std::vector<Shown> prompts() const { return only(Kind::Prompt); }
    std::vector<Shown> messages() const { return only(Kind::Message); }

    std::deque<std::optional<QString>> answers;  // nullopt: the user cancels
    std::function<void()> onPrompt;              // runs as each prompt shows
    std::optional<QString> file;                 // the file dialog's choice; nullopt: none
    std::vector<Shown> shown;
};

}  // namespace kelmora::testing
