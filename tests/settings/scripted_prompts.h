#pragma once

#include "platform/dialogs.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

namespace kelmora::testing {

// The window's prompts, message boxes and file dialog answered from a script; what was shown is
// recorded in order.
class ScriptedPrompts final : public platform::Dialogs {
public:
    struct Shown {
        QString kind;  // "prompt", "message" or "file"
        QString title;
        QString text;  // the prompt's or message's text; the file dialog's filters joined by "|"
        std::optional<platform::MessageIcon> icon;
    };

    std::optional<QString> askText(const QString& title, const QString& message) override {
        shown.push_back({QStringLiteral("prompt"), title, message, std::nullopt});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected prompt: " << title.toStdString();
            return std::nullopt;
        }
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void showMessage(const QString& text, platform::MessageIcon icon, const QString& title) override {
        shown.push_back({QStringLiteral("message"), title, text, icon});
    }
    std::optional<QString> chooseFile(const QString& title, const QStringList& filters) override {
        shown.push_back({QStringLiteral("file"), title, filters.join(u'|'), std::nullopt});
        return file;
    }

    std::vector<Shown> only(const QString& kind) const {
        std::vector<Shown> result;
        for (const Shown& s : shown)
            if (s.kind == kind) result.push_back(s);
        return result;
    }

    std::deque<std::optional<QString>> answers;  // nullopt: the user cancels
    std::optional<QString> file;                 // the file dialog's choice; nullopt: none
    std::vector<Shown> shown;
};

}  // namespace kelmora::testing
