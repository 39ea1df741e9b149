#pragma once

#include "platform/dialogs.h"

#include <QPointer>
#include <QWidget>

namespace kelmora::platform {

// The prompts, message boxes and file dialog as the desktop's own modal boxes.
class WidgetDialogs final : public Dialogs {
public:
    // `parent` is the window the boxes are centred on; none centres them on the screen.
    explicit WidgetDialogs(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<QString> askText(const QString& title, const QString& message) override;
    void showMessage(const QString& text, MessageIcon icon, const QString& title) override;
    std::optional<QString> chooseFile(const QString& title, const QStringList& filters) override;
    bool confirm(const QString& title, const QString& question) override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace kelmora::platform
