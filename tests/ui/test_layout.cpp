#include "ui/mainlayout.h"

#include <gtest/gtest.h>

TEST(MainLayout, FollowsTheBottomAndRightEdges)
{
    const double SB = 330;
    MainLayout big;
    big.resize(12000, 9000, SB);
    MainLayout shorter;
    shorter.resize(12000, 8400, SB);

    for (const char *name : {"web", "tree"}) {
        EXPECT_DOUBLE_EQ(big.rect(QString::fromLatin1(name)).height() - shorter.rect(QString::fromLatin1(name)).height(), 600) << name;
        EXPECT_DOUBLE_EQ(big.rect(QString::fromLatin1(name)).width(), shorter.rect(QString::fromLatin1(name)).width()) << name;
    }
    for (const char *name : {"Command3", "Command6", "addfav", "options", "Command8", "info", "modc"})
        EXPECT_DOUBLE_EQ(big.rect(QString::fromLatin1(name)).top() - shorter.rect(QString::fromLatin1(name)).top(), 600) << name;
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("modc")).width(), 2355);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("tree")).width(), 2415);

    // The figures themselves, for the taller window.
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("web")).height(), 9000 - 600 - 320 - SB);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("web")).width(), 12000 - 2415 - 300);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("Command3")).top(), 9000 - 420 - 440 - SB - 20);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("modc")).top(), big.rect(QStringLiteral("Command3")).top() - 315 - 80);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("full")).left(), 12000 - 615 - 220);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("Command9")).left(), big.rect(QStringLiteral("full")).left() - 615 + 10);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("Text1")).width(), 12000 - 4470 - 180 - 615 - 615 - 80);
    EXPECT_DOUBLE_EQ(big.rect(QStringLiteral("prog")).width(), big.rect(QStringLiteral("Text1")).width());
}

TEST(MainLayout, TooSmallKeepsLastSizesButStillPlacesTheRightEdgeButtons)
{
    MainLayout layout;
    layout.resize(12000, 9000, 330);
    const double text1Width = layout.rect(QStringLiteral("Text1")).width();
    const double webHeight = layout.rect(QStringLiteral("web")).height();
    layout.resize(3000, 800, 330);
    EXPECT_DOUBLE_EQ(layout.rect(QStringLiteral("Text1")).width(), text1Width);
    EXPECT_DOUBLE_EQ(layout.rect(QStringLiteral("web")).height(), webHeight);
    EXPECT_DOUBLE_EQ(layout.rect(QStringLiteral("full")).left(), 3000 - 615 - 220);
    EXPECT_DOUBLE_EQ(layout.rect(QStringLiteral("Command9")).left(), 3000 - 615 - 220 - 615 + 10);
}

TEST(MainLayout, TheFilterFieldTakesTheTopOfTheTreesArea)
{
    MainLayout design;
    EXPECT_EQ(design.rect(QStringLiteral("filter")), QRectF(30, 465, 2415, MainLayout::kFilterHeight));
    EXPECT_EQ(design.rect(QStringLiteral("tree")),
              QRectF(30, 465 + MainLayout::kFilterHeight + MainLayout::kFilterGap, 2415,
                     4995 - MainLayout::kFilterHeight - MainLayout::kFilterGap));

    const double SB = 330;
    MainLayout layout;
    layout.resize(12000, 9000, SB);
    // The area the rules give the tree, less the field and the gap.
    const double area = (9000 - 600 - 320 - SB) - 400 - 315 - 200;
    const double cut = MainLayout::kFilterHeight + MainLayout::kFilterGap;
    EXPECT_EQ(layout.rect(QStringLiteral("filter")), QRectF(30, 465, 2415, MainLayout::kFilterHeight));
    EXPECT_EQ(layout.rect(QStringLiteral("tree")), QRectF(30, 465 + cut, 2415, area - cut));

    // Too short for field and tree: the tree keeps its last height, the field its place.
    layout.resize(12000, 2200, SB);
    EXPECT_EQ(layout.rect(QStringLiteral("tree")), QRectF(30, 465 + cut, 2415, area - cut));
    EXPECT_EQ(layout.rect(QStringLiteral("filter")), QRectF(30, 465, 2415, MainLayout::kFilterHeight));
    // And it follows the window again once there is room.
    layout.resize(12000, 8400, SB);
    EXPECT_DOUBLE_EQ(layout.rect(QStringLiteral("tree")).height(), area - cut - 600);
}
