#include "messages.h"

QMessageBox::StandardButton QtMessages::show(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                             const QString &text, QMessageBox::StandardButtons buttons)
{
    QMessageBox box(icon, title, text, buttons, parent);
    // Blocks its own window only: the remote control stays movable.
    if (parent)
        box.setWindowModality(Qt::WindowModal);
    return QMessageBox::StandardButton(box.exec());
}
