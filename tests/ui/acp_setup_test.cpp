// The ACP setup dialog: channel layout, window, detector and group size.

#include "ACPSetup.h"
#include "RunStart.h"
#include "settings_window_fixture.h"

#include <QComboBox>
#include <QFrame>
#include <QPointer>
#include <QPushButton>

namespace {

QRgb Fill(const QFrame* r) {
    return r->palette().color(QPalette::Window).rgb();
}

class ACPDialog : public SettingsWindowTest {
protected:
    void TearDown() override {
        delete w;
        SettingsWindowTest::TearDown();
    }
    void Open() { w = ACPSetup::Open(); }
    QPointer<ACPSetup> w;
};

} // namespace

TEST_F(ACPDialog, DefaultsShowEveryPairInUse) {
    Open();
    EXPECT_EQ(w->windowTitle(), "ACP setup");
    EXPECT_EQ(w->Channels->currentText(), "3");
    EXPECT_EQ(w->AnaWindow->currentText(), "Hamming");
    EXPECT_EQ(w->Detector->currentText(), "Rms");
    EXPECT_EQ(w->Parameter->text(), "8");
    EXPECT_EQ(w->MainChanText->text(), "1");
    EXPECT_EQ(w->LowSpaceText[2]->text(), "3.3");
    // Pairs in use: red, yellow, green; the main channel light grey.
    const std::array<QRgb, 3> inUse = {qRgb(255, 0, 0), qRgb(255, 255, 0), qRgb(0, 255, 0)};
    const QRgb mainChannel = qRgb(192, 192, 192);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(Fill(w->LC[k]), inUse[k]);
        EXPECT_EQ(Fill(w->RC[k]), inUse[k]);
        EXPECT_TRUE(w->UpSpaceText[k]->isEnabled());
    }
    EXPECT_EQ(Fill(w->Shape), mainChannel);
    EXPECT_EQ(ACPSetup::ToRgb(0x0000FF), qRgb(255, 0, 0)); // &HBBGGRR
    const QImage picture = Screenshot(w, "acp_setup");
    EXPECT_TRUE(ShowsEveryControl(w, picture));
    // The channel sketch: the seven channels side by side from the outer
    // lower one to the outer upper one, each in its colour, with the spectrum
    // line drawn across each of them.
    const std::array<const QFrame*, 7> channels = {w->LC[2], w->LC[1], w->LC[0], w->Shape,
                                                   w->RC[0], w->RC[1], w->RC[2]};
    const std::array<QRgb, 7> colours = {inUse[2], inUse[1], inUse[0], mainChannel,
                                         inUse[0], inUse[1], inUse[2]};
    for (std::size_t c = 0; c < channels.size(); ++c) {
        SCOPED_TRACE(c);
        ASSERT_TRUE(channels[c]->isVisibleTo(w));
        const QRect place = PlaceIn(w, channels[c]);
        EXPECT_GT(place.width(), 20);
        if (c > 0) {
            EXPECT_EQ(place.left(), PlaceIn(w, channels[c - 1]).right() + 1);
        }
        EXPECT_GT(PixelsNear(picture, place, colours[c], 8), place.width() * place.height() / 2);
        const QRect middle(place.left() + place.width() / 4, place.top() + 3, place.width() / 2,
                           place.height() - 6);
        EXPECT_GE(PixelsNear(picture, middle, Qt::black, 80), middle.width()) << "spectrum line";
    }
}

TEST_F(ACPDialog, ListsWriteTheirCodesAndOneChannelGreysTheOthers) {
    Open();
    w->AnaWindow->setCurrentIndex(w->AnaWindow->findText("Kaiser-Bessel"));
    EXPECT_EQ(General::Window, WindowKaiserBessel);
    w->Detector->setCurrentIndex(w->Detector->findText("Min"));
    EXPECT_EQ(General::Detector, DetectorMin);

    Type(w->UpChanText[2], "7");
    w->Channels->setCurrentIndex(w->Channels->findText("1"));
    EXPECT_EQ(General::ACP.Channels, 1);
    EXPECT_EQ(Fill(w->LC[0]), ACPSetup::ToRgb(0x0000FF));
    EXPECT_EQ(Fill(w->RC[1]), ACPSetup::ToRgb(0xC0FFFF));
    EXPECT_EQ(Fill(w->LC[2]), ACPSetup::ToRgb(0xC0FFC0));
    EXPECT_TRUE(w->LowChanText[0]->isEnabled());
    EXPECT_FALSE(w->UpChanText[2]->isEnabled());
    EXPECT_EQ(w->UpChanText[2]->text(), "7");
    EXPECT_EQ(General::ACP.UpperBW[2], 7);
}

TEST_F(ACPDialog, TextBoxesWriteTheirFields) {
    Open();
    ACPSettings& acp = General::ACP;
    struct Case {
        const char* text;
        double expected;
    };
    // An emptied box, or one whose text is no number, keeps the field; the
    // start then refuses with a message naming the box, until it holds a
    // number again.
    const Case cases[] = {{"3,84", 3.84}, {"  ", 3.84}, {"12.5", 12.5}, {"abc", 12.5}};
    auto run = [&](QLineEdit* box, const double& field, const std::string& caption) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.text);
            Type(box, c.text);
            EXPECT_DOUBLE_EQ(field, c.expected);
        }
        EXPECT_EQ(RunStart::Refusals(16),
                  std::vector<std::string>{
                      caption + ": \"abc\" is not a valid number! Please enter correct value"});
        Type(box, "12.5");
    };
    run(w->MainChanText, acp.MainBW, "Main Chan channel bandwidth [MHz]");
    const char* const low[] = {"ACP Low", "ALT1 Low", "ALT2 Low"};
    const char* const up[] = {"ACP Up", "ALT1 Up", "ALT2 Up"};
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        run(w->LowChanText[k], acp.LowerBW[k], std::string(low[k]) + " channel bandwidth [MHz]");
        run(w->UpChanText[k], acp.UpperBW[k], std::string(up[k]) + " channel bandwidth [MHz]");
        run(w->LowSpaceText[k], acp.LowerSpace[k], std::string(low[k]) + " channel spacing [MHz]");
        run(w->UpSpaceText[k], acp.UpperSpace[k], std::string(up[k]) + " channel spacing [MHz]");
    }
}

TEST_F(ACPDialog, GroupSizeIsRoundedHalfToEvenAndNeverBelowOne) {
    Open();
    const struct {
        const char* text;
        std::int32_t expected;
    } cases[] = {{" 16", 16}, {"2.5", 2}, {"5.5", 6},  {"5,7", 6}, {"0", 6},  {"-3", 6},
                 {"   ", 6},  {"", 6},    {"1e20", 6}, {"x", 6},   {"12", 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Type(w->Parameter, c.text);
        EXPECT_EQ(General::DetectorParameter, c.expected);
    }
}

TEST_F(ACPDialog, CopyButtonsFillBandwidthsAndAlternateSpacings) {
    Open();
    Type(w->MainChanText, "3,84");
    w->AllMainBW->click();
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(w->LowChanText[k]->text(), "3,84");
        EXPECT_EQ(w->UpChanText[k]->text(), "3,84");
        EXPECT_DOUBLE_EQ(General::ACP.LowerBW[k], 3.84);
        EXPECT_DOUBLE_EQ(General::ACP.UpperBW[k], 3.84);
    }
    Type(w->LowSpaceText[0], "10");
    Type(w->UpSpaceText[0], "12.5");
    w->EqualSpace->click();
    EXPECT_EQ(w->LowSpaceText[1]->text(), "20");
    EXPECT_EQ(w->LowSpaceText[2]->text(), "30");
    EXPECT_EQ(w->UpSpaceText[1]->text(), "25");
    EXPECT_EQ(w->UpSpaceText[2]->text(), "37.5");
    EXPECT_DOUBLE_EQ(General::ACP.UpperSpace[2], 37.5);
    Type(w->LowSpaceText[0], "1.1");
    w->EqualSpace->click();
    EXPECT_EQ(w->LowSpaceText[1]->text(), "2.2");
    EXPECT_EQ(w->LowSpaceText[2]->text(), "3.3");
}

TEST_F(ACPDialog, StoredCodesOutsideTheListsSelectNothing) {
    const struct {
        std::int16_t channels;
        std::int32_t window, detector;
    } cases[] = {{0, 3, 4}, {5, 9, -1}, {-2, -1, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channels);
        General::ACP.Channels = c.channels;
        General::Window = c.window;
        General::Detector = c.detector;
        Open();
        EXPECT_EQ(w->Channels->currentIndex(), -1);
        EXPECT_EQ(General::ACP.Channels, c.channels); // nothing chosen, nothing stored
        if (c.channels <= 0) {
            const std::array<QRgb, 3> notInUse = {qRgb(255, 192, 192), qRgb(255, 255, 192),
                                                  qRgb(192, 255, 192)};
            for (std::size_t k = 0; k < 3; ++k) {
                EXPECT_EQ(Fill(w->LC[k]), notInUse[k]);
                EXPECT_FALSE(w->LowChanText[k]->isEnabled());
            }
        }
        if (c.window > 6 || c.window < 0) {
            EXPECT_EQ(w->AnaWindow->currentIndex(), -1);
        }
        if (c.detector > 4 || c.detector < 0) {
            EXPECT_EQ(w->Detector->currentIndex(), -1);
        }
        delete w;
    }
}

TEST_F(ACPDialog, OKLetsTheDialogGoAndTheNextOpeningStartsFromTheSettings) {
    Open();
    Type(w->MainChanText, "5");
    w->OK->click();
    Settle();
    EXPECT_TRUE(w.isNull());
    Open();
    EXPECT_EQ(w->MainChanText->text(), "5");
}
