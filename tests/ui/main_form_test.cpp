// The main window as the frame of the program's windows: where they live, one
// frame for each, following its window.

#include "Current.h"
#include "ELogForm.h"
#include "MainForm.h"
#include "VISARscEditor.h"

#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
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

TEST(MainForm, EveryWindowHasOneFrameThatFollowsIt) {
    MainForm& main = MainForm::Instance();
    main.resize(1200, 800);
    main.show();
    QMdiArea* area = main.ClientArea();
    auto frames = [area] { return area->subWindowList().size(); };

    // Shown twice, framed once.
    auto* window = new QLabel("a window of a size of its own");
    window->setAttribute(Qt::WA_DeleteOnClose);
    QWidget* frame = MainFormAccess::ShowChild(window);
    EXPECT_EQ(MainFormAccess::ShowChild(window), frame);
    EXPECT_EQ(frames(), 1);
    EXPECT_EQ(window->size(), window->sizeHint());

    // A window that hides itself hides its frame, and comes back in it.
    window->hide();
    EXPECT_FALSE(frame->isVisible());
    MainFormAccess::ShowChild(window);
    EXPECT_TRUE(frame->isVisible() && window->isVisible());

    // Restored from maximised or minimised: its own size again.
    auto* sub = qobject_cast<QMdiSubWindow*>(frame);
    for (auto away : {&QMdiSubWindow::showMaximized, &QMdiSubWindow::showMinimized}) {
        (sub->*away)();
        EXPECT_TRUE(frame->isVisible()) << "minimised is not hidden";
        sub->showNormal();
        EXPECT_EQ(window->size(), window->sizeHint());
    }

    // The resource editor's OK hides it with its frame.
    main.VISAResource_Click();
    VISARscEditor& editor = VISARscEditor::Instance();
    EXPECT_TRUE(MainFormAccess::FrameOf(&editor)->isVisible());
    editor.OK->click();
    EXPECT_FALSE(MainFormAccess::FrameOf(&editor)->isVisible());
    main.VISAResource_Click();
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(frames(), 2);

    // A window that closes itself takes its frame along.
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(frames(), 1);
    delete &main;
    // The editor went with the client area; the next main window gets a new one.
    EXPECT_EQ(VISARscEditor::Instance().parentWidget(), nullptr);
    delete &VISARscEditor::Instance();
}
