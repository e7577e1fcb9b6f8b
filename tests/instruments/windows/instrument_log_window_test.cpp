// The holder's lines reach the instrument log window, which its first line
// loads with a new log.

#include "ELogForm.h"
#include "General.h"
#include "IEC.h"
#include "InstrumentLogWindow.h"
#include "RTFView.h"

#include <gtest/gtest.h>

TEST(InstrumentLogWindow, FirstLineLoadsTheWindowWithANewLog) {
    InstrumentLogWindow::Install();
    General::InstrumentLogRTF = "{\\cf1 left from an earlier log}";
    auto vif = std::make_shared<VIF>();
    IEC::Instance().SetAnaVIF(vif);
    General::AnaDebug = 0;
    emit vif->VIFCommandExecuted("*IDN?", true);
    EXPECT_FALSE(ELogForm::IsLoaded());

    General::AnaDebug = 2;
    emit vif->VIFCommandExecuted("*IDN?", false);
    ASSERT_TRUE(ELogForm::IsLoaded());
    EXPECT_EQ(General::InstrumentLogRTF,
              std::string(RTFGen::kColorTable) + "{\\cf2\\ql ANALYZER: *IDN?\\par}");
    RTFTextBox* box = ELogForm::Instance().ELogBox;
    EXPECT_NE(box->RTF().find("ANALYZER: *IDN?"), std::string::npos);
    EXPECT_TRUE(box->toPlainText().contains("ANALYZER: *IDN?"));

    IEC::Instance().SetAnaVIF(nullptr);
    IEC::SetLogBoxProvider(nullptr);
    General::AnaDebug = 0;
    delete &ELogForm::Instance();
}
