// The result window: each row's lines and plausibility colour, the question
// and its answer, and a place and size that stay put over restarts.

#include "../../support/picture_checks.h"
#include "../../support/windows/client_area.h"
#include "../measurement_fakes.h"
#include "Current.h"
#include "EngineWindows.h"
#include "General.h"
#include "RTFGen.h"
#include "RTFView.h"
#include "ResultForm.h"
#include "RunProgress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <cmath>
#include <gtest/gtest.h>

namespace {

std::string Group(const std::string& text, bool bold, std::int32_t color, bool right) {
    return std::string("{") + (bold ? "\\b" : "") + RTFGen::ForeColorTag(color) +
           (right ? "\\qr" : "\\ql") + " " + RTFGen::EscapeText(text) + "\\par}";
}

struct ResultFormTest : ::testing::Test {
    FakeBigMessage big;
    Services::Scoped<Services::BigMessageService> useBig{big};
    ResultForm& form = ResultForm::Instance();
    void SetUp() override { form.Form_Load(); }
};

} // namespace

TEST_F(ResultFormTest, RowsShowTheirValueInTheColourOfTheirRule) {
    constexpr auto G = RTFGen::kGreen, O = RTFGen::kOrange, R = RTFGen::kRed, B = RTFGen::kBlack;
    struct Case {
        int row;
        float value;
        std::optional<float> extra;
        std::string caption, shown;
        std::int32_t color;
        std::string extraLine; // "" for none
        std::string question;  // "" for none
    };
    const Case cases[] = {
        {3, 2.0f, {}, "Crest Factor Reference Signal", "02.00 dB", O, "", ""},
        {3,
         1.99f,
         {},
         "Crest Factor Reference Signal",
         "01.99 dB",
         R,
         "",
         "Crest factor very low (like CW). Continue?"},
        {13, 9.5f, {}, "Crest factor Reference Signal", "09.50 dB", G, "", ""},
        {8, -12, -10, "RMS Level 3. leveling step", "-12.00 dBm", G, "(optimum: -10.00)", ""},
        {8, 6, -10, "RMS Level 3. leveling step", "6.00 dBm", R, "(optimum: -10.00)",
         "RMS Level error 3. stage too high. Continue?"},
        {9, 30, {}, "Gain 3. leveling step", "30.00 dB", O, "", ""},
        {11, -120, {}, "Noise Level, RF generator OFF", "-120.0 dBm/Hz", O, "", ""},
        {11, -120.1f, {}, "Noise Level, RF generator OFF", "-120.1 dBm/Hz", G, "", ""},
        {12,
         -0.5f,
         {},
         "Analyzer dynamic margin",
         "-0.50 dBfs",
         R,
         "",
         "A/D converter overrange. Continue?"},
        {12, 0, {}, "Analyzer dynamic margin", "0.00 dBfs", G, "", ""},
        {15, 1234.4f, {}, "First timing estimation", "1234 samples", G, "", ""},
        {16, 2, {}, "Timing difference reference <-> measured signal", "02.00 samples", G, "", ""},
        {16,
         -6,
         {},
         "Timing difference reference <-> measured signal",
         "-06.00 samples",
         R,
         "",
         "timing difference critical! Continue?"},
        {17, 0.1f, {}, "Remaining timing difference after correction", "00.10 samples", G, "", ""},
        {18, 12.345f, 50, "Group delay", "12.35 ns", G, "(uncertainty: 50.00 ns)", ""},
        {11,
         std::nanf(""),
         {},
         "Noise Level, RF generator OFF",
         "NaN dBm/Hz",
         R,
         "",
         "Noise Level, RF generator OFF could not be measured. Continue?"},
    };
    for (const Case& c : cases) {
        big.shown.clear();
        const std::string before = form.ResultRTF();
        EXPECT_TRUE(form.ShowValue(c.row, c.value, c.value, c.extra)) << c.row;
        std::string lines = Group(c.caption, false, B, false) + Group(c.shown, true, c.color, true);
        if (!c.extraLine.empty())
            lines += Group(c.extraLine, false, c.row == 18 ? B : c.color, true);
        EXPECT_EQ(form.ResultRTF(), before + lines) << c.row << " " << c.value;
        EXPECT_EQ(big.shown, c.question.empty() ? std::vector<std::string>{}
                                                : std::vector<std::string>{c.question})
            << c.row << " " << c.value;
    }
}

TEST_F(ResultFormTest, DeclinedQuestionsRowsWithoutRuleAndPlainResults) {
    big.reply = false;
    EXPECT_FALSE(form.ShowValue(14, 1, 1));
    EXPECT_TRUE(form.ShowValue(14, 7, 7));
    const std::string before = form.ResultRTF();
    EXPECT_TRUE(form.ShowValue(10, 1, 1));
    EXPECT_TRUE(form.ShowValue(20, 1, 1));
    EXPECT_EQ(form.ResultRTF(), before);

    form.DisplayResult("DUT Gain", 31.256, "0.00", "dB");
    EXPECT_EQ(form.ResultRTF(), before + Group("DUT Gain", false, RTFGen::kBlack, false) +
                                    Group("31.26 dB", true, RTFGen::kBlack, true));
    EXPECT_NE(form.ResField->toPlainText().toStdString().find("31.26 dB"), std::string::npos);

    form.Form_Load();
    EXPECT_EQ(form.ResultRTF(), RTFGen::kColorTable);
    EXPECT_EQ(form.windowTitle(), "Measurement Results");
    EXPECT_EQ(form.Label1->text(), "Measurement Results");
}

TEST_F(ResultFormTest, RestartsKeepPlaceAndSizeInsideTheArea) {
    // A main window whose client area is narrower than the result window.
    TestClientArea main(120, 500);
    form.Form_Load();
    QWidget* frame = form.parentWidget();
    ASSERT_NE(frame, nullptr);
    const QRect first = frame->geometry();
    for (int k = 0; k < 5; ++k)
        form.Form_Load();
    EXPECT_EQ(frame->geometry(), first);
    EXPECT_GE(first.x(), 0);
    EXPECT_GE(first.y(), 0);
    EXPECT_GE(form.ResField->height(), 125) << "the box at its height at the default font";

    // Wide enough: at the right edge.
    main.area.resize(900, 500);
    form.Form_Load();
    EXPECT_EQ(frame->geometry().right() + 1 + 8, 900);
    form.setParent(nullptr);
}

// At its size at the default font (the 280 x 125 box with its 8-pixel edges)
// and at the smallest the window can be made, the box is as wide as its
// longest caption.
TEST_F(ResultFormTest, EveryLineFitsTheWindowAtItsDefaultAndSmallestSize) {
    for (int row = 3; row <= 18; ++row)
        form.ShowValue(row, 1, 1, 0.5f);
    form.DisplayResult("Leveling error (12 steps)", -0.004, "0.00", "dB");
    form.show();
    for (const QSize size : {QSize(288, 133), QSize(1, 1)}) {
        form.resize(size);
        QCoreApplication::processEvents();
        SCOPED_TRACE(form.width());
        const QTextDocument& doc = *form.ResField->document();
        const int room = form.ResField->viewport()->width();
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            EXPECT_EQ(b.layout()->lineCount(), 1) << b.text().toStdString() << " wraps";
            EXPECT_LE(b.layout()->boundingRect().width(), room) << b.text().toStdString();
        }
    }
}

TEST_F(ResultFormTest, Screenshot) {
    form.Form_Load();
    form.ShowValue(3, 11.2f, 11.2f);
    form.ShowValue(11, -139.2f, -139.2f);
    form.ShowValue(12, 1.1f, 1.1f);
    form.ShowValue(8, -7.5f, -7.5f, -10);
    form.ShowValue(12, 6, 6);
    form.DisplayResult("DUT Gain", 31.256, "0.00", "dB");
    form.resize(288, 320);
    const QImage picture = Picture(&form, "result_form");
    EXPECT_TRUE(ShowsEveryControl(&form, picture));
    // Row 12 at 6 dBfs is the one red line; the green rows show as well.
    const QRect list = PlaceIn(&form, form.ResField);
    EXPECT_GT(PixelsNear(picture, list, Qt::red, 60), 10);
    EXPECT_GT(PixelsNear(picture, list, QColor(0, 255, 0), 60), 10);
}

TEST_F(ResultFormTest, InstalledWindowsReceiveTheEngineOutput) {
    EngineWindows::Install();
    ResultSink::Get().Restart();
    EXPECT_EQ(form.ResultRTF(), RTFGen::kColorTable);
    big.reply = false;
    EXPECT_FALSE(ResultSink::Get().ShowValue(11, -90, -90));
    EXPECT_EQ(big.shown, (std::vector<std::string>{"Noise level is too high. Continue?"}));
    RunProgress::ShowState(StepMakingMeasurement);
    ASSERT_TRUE(Current::Exists());
    EXPECT_EQ(Current::Instance().State[2]->palette().color(QPalette::WindowText),
              QColor(Current::kCurrentText));
    EngineWindows::Uninstall();
    const std::string before = form.ResultRTF();
    EXPECT_TRUE(ResultSink::Get().ShowValue(11, -90, -90));
    EXPECT_EQ(form.ResultRTF(), before);
}

// The window closed by the user is gone; the next results open a new one and
// show there.
TEST_F(ResultFormTest, AfterTheUserClosesTheWindowTheNextResultsOpenANewOne) {
    TestClientArea main(900, 500);
    EngineWindows::Install();
    ResultSink::Get().Restart();
    QPointer<ResultForm> closed = &ResultForm::Instance();
    QWidget* frame = closed->parentWidget();
    ASSERT_NE(frame, nullptr);
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(closed.isNull());
    EXPECT_FALSE(ResultForm::Exists());

    ResultSink::Get().Restart();
    ResultSink::Get().DisplayResult("DUT Gain", 31.256, "0.00", "dB");
    ASSERT_TRUE(ResultForm::Exists());
    ResultForm& next = ResultForm::Instance();
    EXPECT_TRUE(next.isVisible());
    EXPECT_EQ(main.area.subWindowList().size(), 1);
    EXPECT_NE(next.ResultRTF().find("31.26 dB"), std::string::npos) << next.ResultRTF();
    EngineWindows::Uninstall();
}
