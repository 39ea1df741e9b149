#include "platform/widgets/dialogos_widgets.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace kelmora::platform {

std::optional<QString> DialogosWidgets::askText(const QString& title, const QString& message) {
    bool aceptado = false;
    const QString texto = QInputDialog::getText(padre_, title, message, QLineEdit::Normal, QString(), &aceptado);
    if (!aceptado) return std::nullopt;
    return texto;
}

void DialogosWidgets::showMessage(const QString& text, MessageIcon icon, const QString& title) {
    const QString titulo = title.isEmpty() ? kApplicationTitle : title;
    switch (icon) {
    case MessageIcon::Information:
        QMessageBox::information(padre_, titulo, text);
        break;
    case MessageIcon::Warning:
        QMessageBox::warning(padre_, titulo, text);
        break;
    case MessageIcon::Error:
        QMessageBox::critical(padre_, titulo, text);
        break;
    }
}

std::optional<QString> DialogosWidgets::chooseFile(const QString& title, const QStringList& filters) {
    QString elegido = filters.value(0);
    const QString ruta = QFileDialog::getOpenFileName(padre_, title, QString(), filters.join(QStringLiteral(";;")),
                                                      &elegido);
    if (ruta.isEmpty()) return std::nullopt;
    return ruta;
}

}  // namespace kelmora::platform
