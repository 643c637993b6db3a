#include <gtest/gtest.h>

#include <QCoreApplication>

// The update tests need an event loop for the HTTP fetches, not a display.
int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
