#include "platform/widgets/widget_dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace kelmora::platform {

std::optional<QString> WidgetDialogs::askText(const QString& title, const QString& message) {
    bool accepted = false;
    const QString text = QInputDialog::getText(parent_, title, message, QLineEdit::Normal, QString(), &accepted);
    if (!accepted) return std::nullopt;
    return text;
}

bool WidgetDialogs::confirm(const QString& title, const QString& question) {
    // "No" is the default button: a stray Enter does nothing.
    return QMessageBox::question(parent_, title.isEmpty() ? kApplicationTitle : title, question,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

void WidgetDialogs::showMessage(const QString& text, MessageIcon icon, const QString& title) {
    const QString shownTitle = title.isEmpty() ? kApplicationTitle : title;
    switch (icon) {
    case MessageIcon::Information:
        QMessageBox::information(parent_, shownTitle, text);
        break;
    case MessageIcon::Warning:
        QMessageBox::warning(parent_, shownTitle, text);
        break;
    case MessageIcon::Error:
        QMessageBox::critical(parent_, shownTitle, text);
        break;
    }
}

std::optional<QString> WidgetDialogs::chooseFile(const QString& title, const QStringList& filters) {
    QString chosenFilter = filters.value(0);
    const QString path = QFileDialog::getOpenFileName(parent_, title, QString(), filters.join(QStringLiteral(";;")),
                                                      &chosenFilter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

}  // namespace kelmora::platform
