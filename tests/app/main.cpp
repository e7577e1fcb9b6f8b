// The desktop test program: the program's windows on a virtual desktop of
// its own, managed by a real window manager, where frames, sizes and places
// are what an operator gets (the offscreen platform has no window manager).

#include "virtual_desktop.h"

#include <QApplication>
#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The size of the screen the operator's complaints came from.
    VirtualDesktop desktop(1920, 1080);
    if (!desktop.error.empty()) {
        std::fprintf(stderr, "%s\n", desktop.error.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
