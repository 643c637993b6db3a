#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Modal questions and notices, behind a seam so that a test can answer them.
// `details`, when given, is shown folded away under the text (what exactly
// failed, for whoever wants to know).
class Messages
{
public:
    virtual ~Messages() = default;
    virtual QMessageBox::StandardButton show(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                             const QString &text, QMessageBox::StandardButtons buttons,
                                             const QString &details = {}) = 0;
};

class QtMessages final : public Messages
{
public:
    QMessageBox::StandardButton show(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons, const QString &details = {}) override;
};
