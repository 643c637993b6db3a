#include "messages.h"

QMessageBox::StandardButton QtMessages::show(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                             const QString &text, QMessageBox::StandardButtons buttons,
                                             const QString &details)
{
    QMessageBox box(icon, title, text, buttons, parent);
    // Blocks its own window only: the remote control stays movable.
    if (parent)
        box.setWindowModality(Qt::WindowModal);
    if (!details.isEmpty())
        box.setDetailedText(details);
    return QMessageBox::StandardButton(box.exec());
}
