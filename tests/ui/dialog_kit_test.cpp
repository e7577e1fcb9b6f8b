// Number boxes of the settings windows select their whole text on focus, so
// that typing replaces it; a few plain text boxes deliberately do not.

#include "ACPSetup.h"
#include "Configure.h"
#include "DialogKit.h"
#include "SetupGUI.h"
#include "settings_window_fixture.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QPointer>

namespace {

bool SelectsAllOnFocus(QLineEdit* box) {
    box->setText("12.5");
    box->deselect();
    QFocusEvent focus(QEvent::FocusIn, Qt::MouseFocusReason);
    QCoreApplication::sendEvent(box, &focus);
    QCoreApplication::processEvents();
    return box->selectedText() == "12.5";
}

} // namespace

using FocusSelection = SettingsWindowTest;

TEST_F(FocusSelection, NumberBoxesSelectTheirTextOnFocus) {
    QPointer<ACPSetup> acp = ACPSetup::Open();
    Configure& options = Configure::Instance();
    SetupGUI& setup = SetupGUI::Instance();
    const struct {
        const char* name;
        QLineEdit* box;
        bool selects;
    } cases[] = {
        {"Parameter", acp->Parameter, true},
        {"MainChanText", acp->MainChanText, true},
        {"UpSpaceText(3)", acp->UpSpaceText[2], true},
        {"GainLevel(1)", options.GainLevel[1], true},
        {"AnaAtt", options.AnaAtt, true},
        {"PMGridText", options.PMGridText, true},
        {"NetworkPort", options.NetworkPort, false},
        {"WVTagComment", options.WVTagComment, false},
        {"TargetPower", setup.TargetPower, true},
        {"AnaSampFreqCont", setup.AnaSampFreqCont, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SelectsAllOnFocus(c.box), c.selects);
    }
    delete acp;
    delete &options;
    delete &setup;
}

TEST_F(FocusSelection, CodedListsSelectByCodeAndFillWithoutEvents) {
    QComboBox list;
    int events = 0;
    QObject::connect(&list, &QComboBox::currentIndexChanged, [&] { ++events; });
    DialogKit::FillList(&list, {{"128", 7}, {"256", 8}, {"512", 9}});
    EXPECT_EQ(events, 0);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_FALSE(DialogKit::SelectedCode(&list).has_value());
    const struct { int code, index; } cases[] = {{7, 0}, {9, 2}, {10, -1}, {-1, -1}, {8, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        DialogKit::SelectCode(&list, c.code);
        EXPECT_EQ(list.currentIndex(), c.index);
        EXPECT_EQ(DialogKit::SelectedCode(&list).value_or(-1), c.index < 0 ? -1 : c.code);
    }
}
