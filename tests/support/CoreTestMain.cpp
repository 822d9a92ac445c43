#include <QCoreApplication>
#include <gtest/gtest.h>

// Test programs of the logic libraries run with an event loop and no widgets.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
