// Instrument discovery on the simulated bench: the role lists of several
// bench configurations, missing roles and a machine without VISA.

#include "Discovery.h"
#include "RunState.h"
#include "VIF.h"
#include "run_support.h"

#include <gtest/gtest.h>

namespace {

struct DiscoveryTest : RunFixture {
    using Lines = std::vector<std::string>;
    struct Expected {
        Lines labels;
        bool enabled;
        std::string selected;
    };
    void Check(Role r, const Expected& e) {
        EXPECT_EQ(lists.lists[r].labels, e.labels);
        EXPECT_EQ(lists.lists[r].enabled, e.enabled);
        EXPECT_EQ(lists.Selected(r), e.selected);
    }
};

} // namespace

TEST_F(DiscoveryTest, EachBenchConfigurationFillsItsRoleLists) {
    struct Case {
        const char* bench;
        Expected mod, rf, analyzer;
    };
    const Case cases[] = {
        // A VRTA with R4Q is both a modulation source and an RF generator.
        {"--modsource BOXW --rf VRTA --opt-rf R4Q,B10 --analyzer HOB",
         {{"BOXW", "VRTA-R4Q"}, true, "VRTA-R4Q"},
         {{"EXTERNAL", "VRTA"}, true, "VRTA"},
         {{"HOB"}, false, "HOB"}},
        {"--modsource BOXW --rf VRTA --analyzer HOB",
         {{"BOXW"}, false, "BOXW"},
         {{"EXTERNAL", "VRTA"}, true, "VRTA"},
         {{"HOB"}, false, "HOB"}},
        {"--modsource KLD --rf KLD --analyzer DANE",
         {{"KLD-R2M"}, false, "KLD-R2M"},
         {{"EXTERNAL", "KLD"}, true, "KLD"},
         {{"DANE"}, false, "DANE"}},
        {"--modsource VRTA --rf VRTA --analyzer HOD",
         {{"VRTA-R4Q"}, false, "VRTA-R4Q"},
         {{"EXTERNAL", "VRTA"}, true, "VRTA"},
         {{"HOD"}, false, "HOD"}},
        {"--modsource BOXW --rf EXTERNAL --analyzer HOC",
         {{"BOXW"}, false, "BOXW"},
         {{"EXTERNAL"}, false, "EXTERNAL"},
         {{"HOC"}, false, "HOC"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bench);
        SimBench bench(Args(c.bench));
        ASSERT_TRUE(bench.ready);
        Cache(bench);
        lists.calls.clear();
        big.shownWith.clear();

        EXPECT_EQ(Discovery::FindInstruments(lists), std::optional<bool>(true));

        Check(Role::ModSource, c.mod);
        Check(Role::RFGen, c.rf);
        Check(Role::Analyzer, c.analyzer);
        EXPECT_EQ(lists.SelectedResource(Role::ModSource),
                  c.mod.labels.size() == 2 ? bench.Resource("rf") : bench.Resource("modsource"));
        EXPECT_EQ(lists.SelectedResource(Role::Analyzer), bench.Resource("analyzer"));
        EXPECT_EQ(lists.SelectedResource(Role::RFGen),
                  bench.Resource("rf").empty() ? "0" : bench.Resource("rf"));
        EXPECT_EQ(lists.calls, (Lines{"UpdateAnalyzer", "UpdateModSource"}));
        EXPECT_EQ(big.shownWith, Lines{"3|0|scanning for instruments..."});
        EXPECT_EQ(big.hides, 1);
        EXPECT_TRUE(boxes.shown.empty());
        big.hides = 0;
    }
}

TEST_F(DiscoveryTest, AMissingRoleIsReportedAndBlocksTheStart) {
    {
        // A DANE without its I/Q option cannot capture.
        SimBench bench(Args("--modsource BOXW --rf VRTA --analyzer DANE --opt-analyzer 0"));
        ASSERT_TRUE(bench.ready);
        Cache(bench);
        EXPECT_EQ(Discovery::FindInstruments(lists), std::optional<bool>(false));
        EXPECT_EQ(boxes.shown, Lines{"MISSING INSTRUMENTS|ERROR:\r\nmissing IQ analyzer\r"});
        EXPECT_EQ(boxes.icons.back(), Services::MsgIcon::Critical);
        Check(Role::Analyzer, {{}, true, ""});
        Check(Role::ModSource, {{"BOXW"}, false, "BOXW"});
    }
    boxes.shown.clear();
    lists.calls.clear();
    RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, kKey, "DEVICE1",
                             "TCPIP0::127.0.0.1::1::SOCKET");
    RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, kKey, "DEVICE2", "");
    RegAccess::WriteRegValue(Registry::HKEY_LOCAL_MACHINE, kKey, "DEVICE3", "");
    EXPECT_EQ(Discovery::FindInstruments(lists), std::optional<bool>(false));
    EXPECT_EQ(boxes.shown, Lines{"MISSING INSTRUMENTS|ERROR:\r\nmissing IQ analyzer\r\n"
                                 "missing IQ generator\r"});
    Check(Role::RFGen, {{"EXTERNAL"}, false, "EXTERNAL"});
    EXPECT_TRUE(lists.calls.empty());
}

TEST_F(DiscoveryTest, NoDiscoveryWithoutVISAOrDuringARun) {
    lists.Add(Role::Analyzer, "HOB", "kept");
    {
        const RunState::Scope run;
        EXPECT_EQ(Discovery::FindInstruments(lists), std::nullopt);
        EXPECT_EQ(lists.Count(Role::Analyzer), 1);
    }

    VisaLibrary::OverridePresent(false);
    EXPECT_EQ(Discovery::FindInstruments(lists), std::nullopt);
    VisaLibrary::OverridePresent(std::nullopt);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].substr(0, 64),
              "VISA missing|You have to install VISA in order to run Quillon.\r\n");
    EXPECT_EQ(boxes.icons[0], Services::MsgIcon::Information);
    EXPECT_EQ(lists.Count(Role::Analyzer), 0);
    EXPECT_EQ(lists.Count(Role::RFGen), 0);
    EXPECT_TRUE(big.shownWith.empty());
}
