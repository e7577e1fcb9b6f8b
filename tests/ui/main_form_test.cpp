#include "Current.h"
#include "ELogForm.h"
#include "MainForm.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <gtest/gtest.h>

TEST(MainForm, ChildWindowsLiveInTheClientAreaAndTheLogSitsAtItsBottom) {
    MainForm& main = MainForm::Instance();
    EXPECT_EQ(MainFormAccess::Get(), &main);
    main.resize(900, 700);
    main.show();
    QCoreApplication::processEvents();
    ASSERT_GT(main.ClientHeight(), 0);

    ELogForm& log = ELogForm::Instance();
    auto* frame = qobject_cast<QMdiSubWindow*>(log.parentWidget());
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(main.ClientArea()->subWindowList().contains(frame));
    EXPECT_EQ(frame->x(), 0);
    EXPECT_EQ(frame->y() + frame->height(), main.ClientHeight());

    Current& progress = Current::Instance();
    EXPECT_NE(qobject_cast<QMdiSubWindow*>(progress.parentWidget()), nullptr);

    delete &main; // takes its child windows along
    EXPECT_EQ(MainFormAccess::Get(), nullptr);
    EXPECT_FALSE(ELogForm::IsLoaded());
    EXPECT_FALSE(Current::Exists());
}
