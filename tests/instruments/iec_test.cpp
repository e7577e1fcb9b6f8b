// The instrument holder: shared sessions, released sessions and the coloured
// lines of the instrument log.

#include "General.h"
#include "IEC.h"
#include "bench.h"
#include "visa/visa.h"

#include <gtest/gtest.h>

namespace {

struct CountingBox : RichTextBox {
    int shown = 0;
    std::string rtf;
    void SetFontName(const std::string&) override {}
    void SetPlainText(const std::string&) override {}
    std::string RTF() const override { return rtf; }
    void SetRTF(const std::string& text) override {
        rtf = text;
        ++shown;
    }
    void SetCaret(std::size_t) override {}
    void Repaint() override {}
};

struct Holder : ::testing::Test {
    IEC& iec = IEC::Instance();
    CountingBox box;
    int asked = 0;
    void SetUp() override {
        General::InstrumentLogRTF = RTFGen::kColorTable;
        General::RFSourDebug = General::AnaDebug = General::ModSourDebug = 0;
        IEC::SetLogBoxProvider([this]() -> RichTextBox* {
            ++asked;
            return &box;
        });
    }
    void TearDown() override {
        iec.SetRFSourVIF(nullptr);
        iec.SetAnaVIF(nullptr);
        iec.SetModSourVIF(nullptr);
        IEC::SetLogBoxProvider(nullptr);
        General::RFSourDebug = General::AnaDebug = General::ModSourDebug = 0;
    }
    // The log without its colour table.
    static std::string Log() {
        return General::InstrumentLogRTF.substr(std::string(RTFGen::kColorTable).size());
    }
};

TEST_F(Holder, DebugLevelsDecideWhatIsLogged) {
    auto vif = std::make_shared<VIF>();
    iec.SetAnaVIF(vif);
    EXPECT_EQ(iec.AnaVIF(), vif);
    for (int level : {0, 1, 2, 3}) {
        General::AnaDebug = level;
        General::InstrumentLogRTF = RTFGen::kColorTable;
        emit vif->VIFCommandExecuted("*IDN?", true);
        emit vif->VIFCommandExecuted("FREQ 1{0}", false);
        emit vif->VIFSCPIError("BAD", "-113,\"Undefined header\"");
        const std::string commands = "{\\cf1\\ql ANALYZER: *IDN?\\par}"
                                     "{\\cf2\\ql ANALYZER: FREQ 1\\{0\\}\\par}";
        const std::string error = "{\\b\\cf2\\ql    ERROR (RF Analyzer)\\par}"
                                  "{\\cf2\\ql    Command: BAD\\par}"
                                  "{\\cf2\\ql    -113,\"Undefined header\"\\par}";
        const std::string expected = level == 0 ? "" : level == 1 ? error : commands + error;
        EXPECT_EQ(Log(), expected) << level;
    }
    // The shown text is the document in the font tag; the window was asked
    // for only when there was a line.
    EXPECT_EQ(box.rtf,
              "{\\plain\\fs" + std::to_string(RTFGen::FontSize) + General::InstrumentLogRTF + "}");
    EXPECT_EQ(asked, 3 + 5 + 5);
}

TEST_F(Holder, ErrorBlocksCutLongCommandsAndSplitEntries) {
    auto vif = std::make_shared<VIF>();
    iec.SetModSourVIF(vif);
    General::ModSourDebug = 2;
    const std::string longCommand = "SOUR:LIST:FREQ " + std::string(285, '1');
    emit vif->VIFSCPIError(longCommand, "-222,\"Data out of range\"\r\n-350,\"Queue overflow\"");
    emit vif->VIFCommandExecuted(longCommand, true);
    EXPECT_EQ(Log(), "{\\b\\cf2\\ql    ERROR (Modulation Source)\\par}"
                     "{\\cf2\\ql    Command: " +
                         longCommand.substr(0, 100) +
                         "\\par}"
                         "{\\cf2\\ql    -222,\"Data out of range\"\\par}"
                         "{\\cf2\\ql    -350,\"Queue overflow\"\\par}"
                         "{\\cf1\\ql MOD SOUR: " +
                         longCommand + "\\par}");
}

TEST_F(Holder, OneSessionInTwoRolesIsLoggedPerRoleAndClosedOnce) {
    TempFolder tmp;
    Bench bench;
    bench.inst->On("*IDN?", {"Maker,Gen,1,1.0\n"});
    auto vif = std::make_shared<VIF>();
    vif->ConfigDebugMode(2, false, tmp.File("shared.log"));
    ASSERT_TRUE(vif->OpenDevice(bench.Resource(), false));
    const std::int32_t handle = vif->GetHandle();
    std::weak_ptr<VIF> watch = vif;
    iec.SetRFSourVIF(std::move(vif));
    iec.SetModSourVIF(iec.RFSourVIF());
    General::RFSourDebug = 2;
    General::ModSourDebug = 3;

    std::string answer;
    ASSERT_TRUE(iec.ModSourVIF()->ReadString("*IDN?", answer));
    EXPECT_EQ(Log(), "{\\cf1\\ql RF CONV.: *IDN?\\par}{\\cf1\\ql MOD SOUR: *IDN?\\par}");

    // Released by one role, the session lives on in the other.
    iec.SetRFSourVIF(nullptr);
    EXPECT_FALSE(watch.expired());
    General::InstrumentLogRTF = RTFGen::kColorTable;
    ASSERT_TRUE(iec.ModSourVIF()->WriteString("OUTP ON"));
    EXPECT_EQ(Log(), "{\\cf1\\ql MOD SOUR: OUTP ON\\par}");

    iec.SetModSourVIF(nullptr);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(viClose(static_cast<ViSession>(handle)), VI_ERROR_INV_OBJECT);
    int closes = 0;
    for (const std::string& line : LogLines(tmp.File("shared.log")))
        if (line == "  viClose(" + std::to_string(handle) + ")") ++closes;
    EXPECT_EQ(closes, 1);
}

TEST_F(Holder, ReplacedSessionsAreNoLongerHeard) {
    Bench bench;
    bench.inst->ErrorAfter("FREQ 1E12", "-222,\"Data out of range\"");
    auto first = std::make_shared<VIF>();
    auto second = std::make_shared<VIF>();
    ASSERT_TRUE(second->OpenDevice(bench.Resource(), false));
    second->ConfigErrorProcessor(true, true);
    iec.SetAnaVIF(first);
    iec.SetAnaVIF(second);
    General::AnaDebug = 2;
    emit first->VIFCommandExecuted("OLD", true);
    EXPECT_EQ(Log(), "");

    EXPECT_FALSE(iec.AnaVIF()->WriteString("FREQ 1E12"));
    EXPECT_EQ(Log(), "{\\b\\cf2\\ql    ERROR (RF Analyzer)\\par}"
                     "{\\cf2\\ql    Command: FREQ 1E12\\par}"
                     "{\\cf2\\ql    -222,\"Data out of range\"\\par}"
                     "{\\cf2\\ql ANALYZER: FREQ 1E12\\par}");
}

} // namespace
