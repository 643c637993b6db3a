#pragma once

#include <gtest/gtest.h>

#include <QTest>

// Waits, letting events run, until a condition holds, and fails the GoogleTest test when it never does. (QTest's QTRY_
// macros report to QTest only: inside a GoogleTest test a timeout would pass unnoticed.)
#define WAIT_TRUE(condition, timeoutMs) \
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(condition); }, timeoutMs)) << "waited for: " #condition

#define WAIT_EQ(actual, expected, timeoutMs)                                        \
    do {                                                                           \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, timeoutMs);  \
        ASSERT_EQ(actual, expected);                                                \
    } while (false)
