// The report options dialog writes the report texts and items at once.

#include "AddInfos.h"
#include "settings_window_fixture.h"

#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <fstream>
#include <sstream>

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

// Every typed character is kept, through the settings file and back; a text
// Latin-1 can hold is stored in Latin-1, as settings files always held it.
TEST_F(ReportOptions, EveryTypedCharacterSurvivesTheSettingsFile) {
    const QString typed[4] = {QString::fromUtf8("M\u00FCller"), QString::fromUtf8("Caf\u00E9 & Co"),
                              QString::fromUtf8("PA-7 \u20AC 5"),
                              QString::fromUtf8("25 \u00B0C, \u00B5-test \u2014 ok")};
    QPointer<AddInfos> w = AddInfos::Open();
    for (std::size_t i = 0; i < 4; ++i)
        w->Eingabe[i]->setText(typed[i]);
    delete w;
    SetHandle::ExchangeSettings(ExchangeSave);
    General::Operator = General::Company = General::DUT = General::Note = "";
    SetHandle::ExchangeSettings(ExchangeLoad);
    QPointer<AddInfos> again = AddInfos::Open();
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(again->Eingabe[i]->text().toStdString(), typed[i].toStdString()) << i;
    delete again;

    std::ostringstream file;
    file << std::ifstream(General::INIFile, std::ios::binary).rdbuf();
    const std::string ini = file.str();
    EXPECT_NE(ini.find("Operator=M\xFCller\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("DUT=PA-7 \xE2\x82\xAC 5\r\n"), std::string::npos) << ini;
}
