#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QTest>

// What a keyboard or screen-reader user meets in a window.

// The nearest widget, itself or above, with an object name (the web view's inner surface is "webView").
inline QString controlName(const QWidget *widget)
{
    while (widget && widget->objectName().isEmpty())
        widget = widget->parentWidget();
    return widget ? widget->objectName() : QString();
}

inline QString focusedControl() { return controlName(QApplication::focusWidget()); }

// Whether Tab can stop at the widget, by Qt's own rule for the focus chain.
inline bool isTabStop(const QWidget *window, const QWidget *w)
{
    return w != window && window->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus &&
           !w->focusProxy() && w->isVisibleTo(window) && w->isEnabled();
}

// The tab stops in the order of the window's focus chain, beginning with `first`.
inline QStringList tabChain(QWidget *window, const QString &first)
{
    QStringList stops;
    for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain())
        if (isTabStop(window, w))
            stops.append(controlName(w));
    const qsizetype at = stops.indexOf(first);
    return at > 0 ? stops.mid(at) + stops.mid(0, at) : stops;
}

// Where the focus goes with `count` presses of Tab (or Shift+Tab) from `first`.
inline QStringList tabbedThrough(QWidget *window, const QString &first, int count, bool backwards = false)
{
    window->findChild<QWidget *>(first)->setFocus(Qt::TabFocusReason);
    QStringList visited{focusedControl()};
    for (int i = 0; i < count; ++i) {
        QWidget *at = QApplication::focusWidget();
        QTest::keyClick(at ? at : window, backwards ? Qt::Key_Backtab : Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        visited.append(focusedControl());
    }
    return visited;
}

// Tab stops and visible buttons without a name for a screen reader; a picture button's name is its tooltip.
inline QStringList unnamedControls(QWidget *window)
{
    QStringList unnamed;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const auto *button = qobject_cast<QAbstractButton *>(w);
        if (!isTabStop(window, w) && !(button && button->isVisibleTo(window)))
            continue;
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        const QString name = iface ? iface->text(QAccessible::Name).trimmed() : QString();
        if (name.isEmpty() || (button && button->text().isEmpty() && name != button->toolTip()))
            unnamed.append(controlName(w) + (name.isEmpty() ? QString() : QStringLiteral(" named ") + name));
    }
    return unnamed;
}

// Access keys ("&" in a caption) that two visible buttons or field labels share: one is never pressed.
inline QStringList sharedAccessKeys(QWidget *window)
{
    QStringList seen, shared;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const auto *button = qobject_cast<QAbstractButton *>(w);
        const auto *label = qobject_cast<QLabel *>(w);
        const QString caption = button ? button->text() : (label && label->buddy() ? label->text() : QString());
        const QString key = QRegularExpression(QStringLiteral("(?<!&)&([^&])")).match(caption).captured(1).toLower();
        if (!key.isEmpty() && w->isVisibleTo(window))
            (seen.contains(key) ? shared : seen).append(key);
    }
    return shared;
}
