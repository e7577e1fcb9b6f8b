#pragma once
// A main window's client area of a given size, registered while it lives,
// for the tests of windows that show and place themselves in it.

#include "MainFormAccess.h"

#include <QMdiArea>

struct TestClientArea : MainFormAccess {
    QMdiArea area;
    TestClientArea(int width, int height) {
        area.resize(width, height);
        area.show();
        Register(this);
    }
    ~TestClientArea() override { Unregister(this); }
    int ClientHeight() const override { return area.height(); }
    QMdiArea* ClientArea() const override { return const_cast<QMdiArea*>(&area); }
};
