#pragma once

#include "platform/messages.h"

#include <QList>

// Records every message box instead of showing it, and answers with queued
// buttons (or the first offered button when nothing is queued).
class FakeMessages final : public Messages
{
public:
    struct Shown
    {
        QMessageBox::Icon icon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
    };

    QMessageBox::StandardButton show(QWidget *, QMessageBox::Icon icon, const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons) override
    {
        shown.append(Shown{icon, title, text, buttons});
        if (!answers.isEmpty())
            return answers.takeFirst();
        for (int bit = 0; bit < 32; ++bit) {
            const auto button = QMessageBox::StandardButton(1u << bit);
            if (buttons.testFlag(button))
                return button;
        }
        return QMessageBox::NoButton;
    }

    int count(const QString &text) const
    {
        int n = 0;
        for (const Shown &s : shown)
            n += s.text == text ? 1 : 0;
        return n;
    }

    QList<Shown> shown;
    QList<QMessageBox::StandardButton> answers;
};
