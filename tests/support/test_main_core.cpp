#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests without windows: an event loop and application paths, no display.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
