#pragma once
// main() of a widget test binary: a QApplication on the offscreen platform, then GoogleTest.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#define MW_QT_TEST_MAIN()                      \
  int main(int argc, char** argv) {            \
    setenv("QT_QPA_PLATFORM", "offscreen", 0); \
    QApplication app(argc, argv);              \
    ::testing::InitGoogleTest(&argc, argv);    \
    return RUN_ALL_TESTS();                    \
  }
