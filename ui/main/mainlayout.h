#pragma once

#include <QHash>
#include <QRectF>
#include <QString>

// The main window's controls in twips (1/1440 inch), at design size and after the
// resize rules. Pure arithmetic, so it tests without a window.
class MainLayout final
{
public:
    // Design placement of every control, by control name.
    MainLayout();

    // Applies the resize rules for an outer window size (frame included) of
    // width x height and a status bar of statusBarHeight, all in twips. A rule
    // whose result would be negative is skipped and its control keeps its value.
    void resize(double width, double height, double statusBarHeight);

    QRectF rect(const QString &control) const { return m_rects.value(control); }
    const QHash<QString, QRectF> &rects() const { return m_rects; }

    // Design client area of the window.
    static constexpr double kDesignClientWidth = 10200;
    static constexpr double kDesignClientHeight = 7485;

private:
    QHash<QString, QRectF> m_rects;
};
