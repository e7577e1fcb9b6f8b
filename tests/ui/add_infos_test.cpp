// The report options dialog writes the report texts and items at once.

#include "AddInfos.h"
#include "settings_window_fixture.h"

#include <QCheckBox>
#include <QPointer>
#include <QPushButton>

using ReportOptions = SettingsWindowTest;

TEST_F(ReportOptions, TextsAreStoredTrimmedAndItemsAsChecked) {
    QPointer<AddInfos> w = AddInfos::Open();
    EXPECT_EQ(w->windowTitle(), "report options");
    const struct {
        int index;
        std::string* setting;
    } texts[] = {
        {0, &General::Operator}, {1, &General::Company}, {2, &General::DUT}, {3, &General::Note}};
    for (const auto& t : texts) {
        SCOPED_TRACE(t.index);
        Type(w->Eingabe[static_cast<std::size_t>(t.index)], "  Ann Lee  ");
        EXPECT_EQ(*t.setting, "Ann Lee");
        EXPECT_EQ(w->Eingabe[static_cast<std::size_t>(t.index)]->text(), "  Ann Lee  ");
    }
    const char* captions[4] = {"general results", "nonlinear parameters",
                               "graphical results - detailed", "graphical results - summary DA"};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(w->PrintItem[i]->text(), captions[i]);
        EXPECT_EQ(w->PrintItem[i]->isChecked(), i < 2); // the defaults
        w->PrintItem[i]->click();
        EXPECT_EQ(General::PrintItem[i], i >= 2);
    }
    delete w;
}

TEST_F(ReportOptions, EveryOpeningShowsTheSettingsAndTheCloseBoxKeepsChanges) {
    QPointer<AddInfos> first = AddInfos::Open();
    Type(first->Eingabe[1], "Bench Ltd");
    first->PrintItem[0]->click();
    first->close(); // the window's close box
    Settle();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(General::Company, "Bench Ltd");

    QPointer<AddInfos> second = AddInfos::Open();
    EXPECT_EQ(second->Eingabe[1]->text(), "Bench Ltd");
    EXPECT_FALSE(second->PrintItem[0]->isChecked());
    second->OK->click();
    Settle();
    EXPECT_TRUE(second.isNull());

    // a settings exchange puts the report items back to their start values
    SetHandle::ExchangeSettings(ExchangeSave);
    SetHandle::ExchangeSettings(ExchangeLoad);
    QPointer<AddInfos> third = AddInfos::Open();
    EXPECT_TRUE(third->PrintItem[0]->isChecked());
    EXPECT_EQ(third->Eingabe[1]->text(), "Bench Ltd");
    EXPECT_TRUE(ShowsEveryControl(third, Screenshot(third, "report_options")));
    delete third;
}
