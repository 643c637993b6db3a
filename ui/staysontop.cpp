#include "staysontop.h"

#include <QWidget>
#include <QWindow>

void setStaysOnTop(QWidget *window, bool topmost)
{
    if (!window || !window->isWindow())
        return;
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, topmost);
    if (topmost)
        flags.setFlag(Qt::WindowStaysOnBottomHint, false);
    QWindow *handle = window->windowHandle();
    if (!handle) {
        // No native window yet: the flags take effect when it is shown.
        window->setWindowFlags(flags);
        return;
    }
    // QWidget::setWindowFlags would hide the window and make its native window
    // anew, losing its place on some systems and any drag in progress; the
    // window system takes this hint on a live window.
    window->overrideWindowFlags(flags);
    handle->setFlags(flags);
    if (topmost && window->isVisible())
        window->raise();
}
