#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace kelmora::platform {

// Message box icons.
enum class MessageIcon { Information, Warning, Error };

// The title of messages that have none of their own.
inline const QString kApplicationTitle = QStringLiteral("Kelmora");

// The modal prompts, message boxes and file dialog of the service. The widgets backend shows real
// boxes; headless, messages go to standard error and nothing can be asked; tests script them.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A modal text prompt with one empty field: the typed text, nullopt when cancelled.
    virtual std::optional<QString> askText(const QString& title, const QString& message) = 0;
    // A modal message box; an empty title stands for kApplicationTitle.
    virtual void showMessage(const QString& text, MessageIcon icon, const QString& title) = 0;
    // A file-open dialog; `filters` are "Label (*.a *.b)" entries, the first one selected. The
    // chosen path, nullopt when none was chosen.
    virtual std::optional<QString> chooseFile(const QString& title, const QStringList& filters) = 0;
    // A modal yes-or-no question: true for yes. Nothing can be asked headless: no.
    virtual bool confirm(const QString& title, const QString& question) = 0;
};

}  // namespace kelmora::platform
