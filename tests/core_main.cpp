// Runs the window-free tests without an application object, but under the user's locale as
// the program runs: QApplication calls setlocale(LC_ALL, ""), and the core must not follow the
// C library's number format there (run them once with LC_ALL=de_DE.UTF-8).
#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
