#include "mainlayout.h"

#include <algorithm>

MainLayout::MainLayout()
{
    const struct
    {
        const char *name;
        double left, top, width, height;
    } design[] = {
        {"Label1", 60, 210, 735, 195},     {"Label2", 795, 210, 1650, 195},
        {"tree", 30, 465, 2415, 4995},     {"modc", 60, 5520, 2355, 315},
        {"Command3", 60, 6585, 405, 420},  {"Command6", 450, 6585, 405, 420},
        {"addfav", 840, 6585, 405, 420},   {"options", 1230, 6585, 405, 420},
        {"Command8", 1620, 6585, 405, 420}, {"info", 2010, 6585, 405, 420},
        {"Command1", 2505, 45, 390, 360},  {"Command2", 2880, 45, 390, 360},
        {"Command4", 3315, 45, 390, 360},  {"Command5", 3690, 45, 390, 360},
        {"Command7", 4065, 45, 390, 360},  {"Text1", 4470, 105, 2250, 300},
        {"prog", 4485, 105, 2070, 300},    {"Command9", 6840, 105, 615, 300},
        {"full", 7440, 105, 615, 300},     {"web", 2520, 465, 5520, 5730},
    };
    for (const auto &d : design)
        m_rects.insert(QString::fromLatin1(d.name), QRectF(d.left, d.top, d.width, d.height));
    m_treeArea = m_rects.value(QStringLiteral("tree"));
    splitTreeArea();
}

void MainLayout::splitTreeArea()
{
    const double cut = kFilterHeight + kFilterGap;
    m_rects.insert(QStringLiteral("filter"),
                   QRectF(m_treeArea.left(), m_treeArea.top(), m_treeArea.width(), kFilterHeight));
    // Like a rule, a height below zero is skipped: the tree keeps its last one.
    const double height = m_treeArea.height() - cut >= 0 ? m_treeArea.height() - cut : m_treeHeight;
    m_treeHeight = std::max(height, 0.0);
    m_rects.insert(QStringLiteral("tree"),
                   QRectF(m_treeArea.left(), m_treeArea.top() + cut, m_treeArea.width(), m_treeHeight));
}

void MainLayout::resize(double W, double H, double SB)
{
    m_rects[QStringLiteral("tree")] = m_treeArea;
    // Each rule reads the values as the earlier rules left them.
    auto top = [this](const char *name) { return m_rects[QString::fromLatin1(name)].top(); };
    auto left = [this](const char *name) { return m_rects[QString::fromLatin1(name)].left(); };
    auto width = [this](const char *name) { return m_rects[QString::fromLatin1(name)].width(); };
    auto height = [this](const char *name) { return m_rects[QString::fromLatin1(name)].height(); };
    auto setTop = [this](const char *name, double v) {
        QRectF &r = m_rects[QString::fromLatin1(name)];
        r.moveTop(v);
    };
    auto setLeft = [this](const char *name, double v) {
        QRectF &r = m_rects[QString::fromLatin1(name)];
        r.moveLeft(v);
    };
    auto setWidth = [this](const char *name, double v) {
        if (v >= 0)
            m_rects[QString::fromLatin1(name)].setWidth(v);
    };
    auto setHeight = [this](const char *name, double v) {
        if (v >= 0)
            m_rects[QString::fromLatin1(name)].setHeight(v);
    };

    setHeight("web", H - 600 - 320 - SB);
    setTop("Command3", H - height("Command3") - 440 - SB - 20);
    for (const char *name : {"Command6", "Command8", "info", "addfav"})
        setTop(name, top("Command3"));
    setTop("options", top("addfav"));
    setTop("modc", top("Command3") - height("modc") - 80);
    setWidth("web", W - width("tree") - 300);
    setHeight("tree", height("web") - 400 - height("modc") - 200);
    setLeft("full", W - width("full") - 220);
    setLeft("Command9", left("full") - width("Command9") + 10);
    setWidth("Text1", W - left("Text1") - 180 - width("full") - width("Command9") - 80);
    setWidth("prog", width("Text1"));

    m_treeArea = m_rects.value(QStringLiteral("tree"));
    splitTreeArea();
}
