#include "messages.h"

QMessageBox::StandardButton QtMessages::show(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                             const QString &text, QMessageBox::StandardButtons buttons,
                                             const QString &details)
{
    QMessageBox box(icon, title, text, buttons, parent);
    if (!details.isEmpty())
        box.setDetailedText(details);
    return QMessageBox::StandardButton(box.exec());
}
