#include "MsgBig.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// Runs `action` once the box waits (from inside its event loop).
void WhileWaiting(std::function<void()> action) {
    QTimer::singleShot(0, std::move(action));
}

} // namespace

TEST(MsgBig, NoticeWaitsForOKAndQuestionsAnswerYesOrNo) {
    MsgBig& box = MsgBig::Instance();
    bool checked = false;
    WhileWaiting([&] {
        EXPECT_TRUE(box.isVisible());
        EXPECT_EQ(box.windowTitle(), "Message Box");
        EXPECT_EQ(box.Message->text(), "Measurement finished.");
        EXPECT_TRUE(box.Sign[1]->isVisibleTo(&box));
        EXPECT_FALSE(box.Sign[0]->isVisibleTo(&box));
        EXPECT_EQ(box.OKButton->text(), "OK");
        EXPECT_FALSE(box.NoButton->isVisibleTo(&box));
        EXPECT_EQ(box.ReplyCode(), MsgBig::NoReply);
        checked = true;
        box.OKButton->click();
    });
    EXPECT_TRUE(box.ShowMessage("Measurement finished.", 1, 0, false, true, true));
    EXPECT_TRUE(checked);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.ReplyCode(), MsgBig::ReplyOK);

    WhileWaiting([&] {
        EXPECT_EQ(box.OKButton->text(), "YES");
        EXPECT_TRUE(box.NoButton->isVisibleTo(&box));
        box.NoButton->click();
    });
    EXPECT_FALSE(box.ShowMessage("Gain too low. Continue?", 0, 0, true, true, true));
    EXPECT_EQ(box.ReplyCode(), MsgBig::ReplyNo);
    WhileWaiting([&] { box.OKButton->click(); });
    EXPECT_TRUE(box.ShowMessage("Gain too low. Continue?", 0, 0, true, true, true));
}

TEST(MsgBig, EnterPressesOKOrYesAndEscapePressesNoElseOK) {
    MsgBig& box = MsgBig::Instance();
    struct Case {
        bool yesNo;
        Qt::Key key;
        bool returned;
        std::int16_t reply;
    };
    const Case cases[] = {
        {false, Qt::Key_Return, true, MsgBig::ReplyOK},
        {false, Qt::Key_Enter, true, MsgBig::ReplyOK},
        {false, Qt::Key_Escape, true, MsgBig::ReplyOK},
        {true, Qt::Key_Return, true, MsgBig::ReplyOK},
        {true, Qt::Key_Enter, true, MsgBig::ReplyOK},
        {true, Qt::Key_Escape, false, MsgBig::ReplyNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.yesNo) + " " + std::to_string(c.key));
        WhileWaiting([&] {
            EXPECT_TRUE(box.OKButton->isDefault());
            // as typed: to the button that has the focus, else to the box
            QWidget* typed = box.focusWidget() ? box.focusWidget() : &box;
            QTest::keyClick(typed, c.key);
            if (box.ReplyCode() != MsgBig::NoReply) return;
            ADD_FAILURE() << "the key did not answer the box";
            box.OKButton->click();
        });
        EXPECT_EQ(box.ShowMessage("Overwrite the file?", 0, 0, c.yesNo, true, true), c.returned);
        EXPECT_EQ(box.ReplyCode(), c.reply);
    }
}

TEST(MsgBig, TimeoutsCountAsYesAndMayExceedThirtyTwoSeconds) {
    MsgBig& box = MsgBig::Instance();
    WhileWaiting([&] {
        EXPECT_TRUE(box.ShutIt->isActive());
        EXPECT_EQ(box.ShutIt->interval(), 40000);
        box.ShutIt_Timer(); // as if the 40 s had passed
    });
    EXPECT_TRUE(box.ShowMessage("Continue?", 0, 40, true, true, true));
    EXPECT_EQ(box.ReplyCode(), MsgBig::ReplyTimedOut);

    WhileWaiting([&] {
        EXPECT_FALSE(box.OKButton->isVisibleTo(&box)); // self-closing: no buttons
        EXPECT_EQ(box.ShutIt->interval(), 5000);
        box.ShutIt_Timer();
    });
    EXPECT_TRUE(
        box.ShowMessage("Please switch off the IQ to RF converter", 1, 5, false, false, true));
}

TEST(MsgBig, PleaseWaitReturnsAtOnceAndStaysUntilHidden) {
    MsgBig& box = MsgBig::Instance();
    EXPECT_TRUE(box.ShowMessage("scanning for instruments...", 3, 0, false, false, false));
    EXPECT_TRUE(box.isVisible());
    EXPECT_TRUE(box.Sign[3]->isVisibleTo(&box));
    EXPECT_FALSE(box.OKButton->isVisibleTo(&box));
    EXPECT_FALSE(box.ShutIt->isActive());
    box.HideMessage();
    EXPECT_FALSE(box.isVisible());
}

TEST(MsgBig, BlockingBoxWithoutButtonsOrTimeoutCanStillBeAnswered) {
    MsgBig& box = MsgBig::Instance();
    WhileWaiting([&] {
        ASSERT_TRUE(box.OKButton->isVisibleTo(&box));
        EXPECT_EQ(box.OKButton->text(), "OK");
        box.OKButton->click();
    });
    EXPECT_TRUE(box.ShowMessage("stuck?", 1, 0, false, false, true));
}

TEST(MsgBig, ClosingTheWindowEndsTheWait) {
    MsgBig& box = MsgBig::Instance();
    WhileWaiting([&] { box.close(); });
    EXPECT_FALSE(box.ShowMessage("Continue?", 0, 0, true, true, true)); // a question is declined
    WhileWaiting([&] { box.close(); });
    EXPECT_TRUE(box.ShowMessage("Done.", 1, 0, false, true, true));
    EXPECT_FALSE(box.isVisible());
}

TEST(MsgBig, NestedMessagesEachGetTheirOwnAnswer) {
    MsgBig& box = MsgBig::Instance();
    bool inner = false;
    bool outerBack = false;
    WhileWaiting([&] {
        WhileWaiting([&] {
            EXPECT_EQ(box.Message->text(), "Sampling rate is zero! Please select correct value");
            box.OKButton->click();
        });
        inner = box.ShowMessage("Sampling rate is zero! Please select correct value", 1, 0, false,
                                true, true);
        // the interrupted question is back, with its buttons and the rest of its time
        outerBack = box.isVisible() && box.Message->text() == "Level unstable. Continue?" &&
                    box.NoButton->isVisibleTo(&box) && box.ShutIt->isActive() &&
                    box.ShutIt->interval() <= 20000;
        box.NoButton->click();
    });
    EXPECT_FALSE(box.ShowMessage("Level unstable. Continue?", 0, 20, true, true, true));
    EXPECT_TRUE(inner);
    EXPECT_TRUE(outerBack);
    EXPECT_FALSE(box.isVisible());
}

TEST(MsgBig, ANoticeShownAndHiddenDuringAWaitGivesTheWaitingMessageBack) {
    MsgBig& box = MsgBig::Instance();
    bool back = false;
    WhileWaiting([&] {
        // a "please wait" notice over the waiting question, then hidden
        EXPECT_TRUE(box.ShowMessage("Loading waveform ...", 3, 0, false, false, false));
        EXPECT_EQ(box.Message->text(), "Loading waveform ...");
        box.HideMessage();
        back = box.isVisible() && box.Message->text() == "Overwrite the file?" &&
               box.OKButton->isVisibleTo(&box) && box.OKButton->text() == "YES" &&
               box.NoButton->isVisibleTo(&box) && box.Sign[0]->isVisibleTo(&box) &&
               !box.Sign[3]->isVisibleTo(&box);
        // answered as usual; a timer guards the test against a lost message
        QTimer::singleShot(0, [&] { box.NoButton->click(); });
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] { box.OKButton->click(); });
    guard.start(10000);
    EXPECT_FALSE(box.ShowMessage("Overwrite the file?", 0, 0, true, true, true));
    EXPECT_TRUE(back);
    EXPECT_FALSE(box.isVisible());
}

TEST(MsgBig, EveryTextShowsWholeWhateverWasShownBefore) {
    MsgBig& box = MsgBig::Instance();
    // Short and long texts in turn: a box sized for the one before cuts the
    // next at the bottom or the right.
    const char* texts[] = {
        "scanning for instruments...",
        "Measurement aborted.\r\n(The analyzer's I/Q data of the noise floor capture could "
        "not be read.)",
        "Sampling rate is zero! Please select correct value",
        "Measurement aborted.\r\n(The settings file "
        "/home/operator/measurements/amplifier_B7/Quillon.INI could not be read.)",
        "ok"};
    for (const char* text : texts) {
        box.ShowMessage(text, 1, 0, false, false, false);
        const QLabel* label = box.Message;
        EXPECT_GE(label->width(), label->minimumSizeHint().width()) << text;
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << text;
        EXPECT_GE(box.width(), box.sizeHint().width()) << text;
        EXPECT_GE(box.height(), box.sizeHint().height()) << text;
    }
    box.HideMessage();
}
