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

    // The rules place the tree's area ("tree" as the rules read it); the filter
    // field "filter" is cut off its top and "tree" is what remains below it.
    //
    // Applies the resize rules for an outer window size (frame included) of
    // width x height and a status bar of statusBarHeight, all in twips. A rule
    // whose result would be negative is skipped and its control keeps its value.
    void resize(double width, double height, double statusBarHeight);

    QRectF rect(const QString &control) const { return m_rects.value(control); }
    const QHash<QString, QRectF> &rects() const { return m_rects; }

    // Design client area of the window.
    static constexpr double kDesignClientWidth = 10200;
    static constexpr double kDesignClientHeight = 7485;
    // The filter field takes the top of the tree's area, then a gap, then the tree.
    static constexpr double kFilterHeight = 315;
    static constexpr double kFilterGap = 45;

private:
    // Places "filter" and "tree" in the tree's area.
    void splitTreeArea();

    QHash<QString, QRectF> m_rects;
    // What the rules call the tree: the filter field and the tree together.
    QRectF m_treeArea;
    double m_treeHeight = 0;
};
