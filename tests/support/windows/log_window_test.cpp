#include "ELogForm.h"
#include "General.h"
#include "KTStandardWindows.h"
#include "RTFGen.h"
#include "RTFView.h"

#include <QApplication>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace {

// The character format of the first fragment holding `text`.
QTextCharFormat FormatOf(const QTextDocument& doc, const QString& text) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            if (it.fragment().text().contains(text)) return it.fragment().charFormat();
    ADD_FAILURE() << "no fragment holds " << text.toStdString();
    return {};
}

QColor Fore(const QTextCharFormat& f) {
    return f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor();
}
QColor Back(const QTextCharFormat& f) {
    return f.hasProperty(QTextFormat::BackgroundBrush) ? f.background().color() : QColor();
}

} // namespace

TEST(RTFView, ShowsTheBuildersColoursFormatsAndEscapes) {
    RTFTextBox box;
    std::string doc;
    RTFGen::RTFBegin(&box, doc, "Lucida Console", 20);
    RTFGen::RTFAddText(&box, doc, "red bold", false, true, false, false, RTFGen::kRed,
                       RTFGen::AlignNone, RTFGen::kNoHighlight);
    RTFGen::RTFAddText(&box, doc, " green", true, false, true, true, RTFGen::kGreen,
                       RTFGen::AlignNone, RTFGen::kLightGrey);
    RTFGen::RTFAddText(&box, doc, "C:\\{x} \xE9", true, false, false, false, RTFGen::kOrange,
                       RTFGen::AlignCentre, RTFGen::kNoHighlight);
    RTFGen::RTFAddText(&box, doc, "right", true, false, false, false, 0x123456, RTFGen::AlignRight,
                       RTFGen::kDarkGreen);
    const QTextDocument& d = *box.document();
    EXPECT_EQ(d.toPlainText(), QString("red bold green\nC:\\{x} \u00E9\nright\n"));

    const auto red = FormatOf(d, "red bold");
    EXPECT_EQ(Fore(red), QColor(255, 0, 0));
    EXPECT_EQ(red.fontWeight(), QFont::Bold);
    EXPECT_FALSE(Back(red).isValid());
    EXPECT_DOUBLE_EQ(red.fontPointSize(), 10.0);
    const auto green = FormatOf(d, " green");
    EXPECT_EQ(Fore(green), QColor(0, 255, 0));
    EXPECT_EQ(Back(green), QColor(127, 127, 127));
    EXPECT_TRUE(green.fontItalic());
    EXPECT_TRUE(green.fontUnderline());
    EXPECT_NE(green.fontWeight(), QFont::Bold);
    EXPECT_EQ(Fore(FormatOf(d, "C:\\{x}")), QColor(255, 128, 0));
    const auto right = FormatOf(d, "right");
    EXPECT_EQ(Fore(right), QColor(0, 0, 0));
    EXPECT_EQ(Back(right), QColor(0, 127, 0));

    EXPECT_EQ(d.findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);
    EXPECT_EQ(d.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(d.findBlockByNumber(2).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_EQ(box.textCursor().position(), d.characterCount() - 1); // caret at the newest line
}

TEST(RTFView, SkipsWhatItDoesNotKnow) {
    QTextDocument d;
    RTFView::Render("{\\rtf1{\\fonttbl{\\f0 Courier;}}{\\*\\generator x;}\\pard\\qc a\\~b\\par}",
                    d);
    EXPECT_EQ(d.toPlainText(), QString("ab\n"));
    EXPECT_EQ(d.firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    RTFView::Render("{\\cf9 unknown colour}\\", d); // no table, trailing backslash
    EXPECT_EQ(d.toPlainText(), QString("unknown colour"));
}

TEST(ELogForm, EveryLoadStartsANewLog) {
    General::InstrumentLogRTF = "{\\cf1 stale}";
    ELogForm& log = ELogForm::Instance();
    EXPECT_EQ(log.windowTitle(), "MAIN LOG WINDOW");
    EXPECT_TRUE(log.isVisible());
    EXPECT_EQ(General::InstrumentLogRTF, RTFGen::kColorTable);
    EXPECT_EQ(RTFGen::FontSize, 20);
    RTFGen::RTFAddText(ELogForm::Instance().ELogBox, General::InstrumentLogRTF, "*IDN?", true,
                       false, false, false, RTFGen::kBlue, RTFGen::AlignLeft, RTFGen::kNoHighlight);
    EXPECT_EQ(log.ELogBox->toPlainText(), QString("*IDN?\n"));

    log.close(); // "Close All Measurement Windows" unloads it
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(ELogForm::IsLoaded());
    ELogForm& again = ELogForm::Instance();
    EXPECT_EQ(General::InstrumentLogRTF, RTFGen::kColorTable);
    EXPECT_TRUE(again.ELogBox->toPlainText().isEmpty());
    delete &again;
    EXPECT_FALSE(ELogForm::IsLoaded());
}

TEST(KTStandard, TwipsAreInchesAtTheScreensDotsPerInch) {
    // the offscreen platform's screen
    ASSERT_EQ(QGuiApplication::primaryScreen()->logicalDotsPerInchY(), 96.0);
    EXPECT_EQ(KTStandard::TwipsToPixels(1440), 96); // an inch
    EXPECT_EQ(KTStandard::TwipsToPixels(4770), 318);
    EXPECT_EQ(KTStandard::TwipsToPixels(7.5), 0); // half a pixel, to even
    EXPECT_EQ(KTStandard::TwipsToPixels(22.5), 2);
}

TEST(KTStandard, CaptionHeightFromTheStyle) {
    const double dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    const double pixels = QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight);
    EXPECT_GT(pixels, 0);
    EXPECT_FLOAT_EQ(KTStandard::GetCaptionHeightTwips(), static_cast<float>(1440.0 / dpi * pixels));
}
