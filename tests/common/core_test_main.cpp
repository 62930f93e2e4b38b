// Entry of the logic tests: a QCoreApplication (for event loops and processes),
// no window system, and the tests' own environment (no real home, no session bus).
#include "TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    for (const char *entry : kTestEnvironment) {
        const std::string text(entry);
        const auto equals = text.find('=');
        setenv(text.substr(0, equals).c_str(), text.substr(equals + 1).c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
