// The recognisers: family codes, groups, versions, labels and option queries
// from the model text of an identification answer.

#include "KTDevIdent.h"

#include <gtest/gtest.h>

namespace {

// A fresh entry as the discovery prepares it, identified through all
// recognisers.
struct Result {
    bool matched;
    DeviceRecord e;
};
Result Identify(const std::string& model) {
    KTDevIdent::DeviceList.assign(1, DeviceRecord{});
    KTDevIdent::DeviceList[0].DeviceInfo = KTDevIdent::UnidentifiedInfo;
    const bool matched = KTDevIdent::IdentifyModel(model, 0);
    return {matched, KTDevIdent::DeviceList[0]};
}

} // namespace

TEST(Recognisers, EveryFieldOfTheEntryPerModel) {
    // A null group, serial or version is not checked; code 0 means no match.
    struct Case {
        const char* model;
        int code;
        const char *group, *serial, *version, *info;
        bool options;
    };
    const Case cases[] = {
        {"HOB7,S12,1.60", 13, "7", "S12", "1.60", "HOB (1.60)", true},
        {"BOXW300,1001,2.1", 31, "300", "1001", "2.1", "BOXW (2.1)", true},
        {"DANE7,1,3.0", 12, "7", nullptr, nullptr, "DANE (3.0)", true},
        {"VRTA03,1,1.5", 21, "03", nullptr, nullptr, "VRTA (1.5)", true},
        {"KPE03,1,1.5", 21, "3", nullptr, nullptr, "VRTA (1.5)", true},
        {"KPA03,1,1.5", 21, "3", nullptr, nullptr, "VRTA (1.5)", true},
        {"KPO12,1,1", 25, "2", nullptr, nullptr, "VREL (1)", true},
        {"VORTA1,1,1", 24, "TA1", nullptr, nullptr, "KLD (1)", true},
        {"KLE200,1,1", 24, "200", nullptr, nullptr, "KLD (1)", true},
        {"KLO20,S12,2.1", 23, "0", nullptr, nullptr, "KLO (2.1)", true},
        {"KLI03,1,1", 32, "03", nullptr, nullptr, "KLI (1)", true},
        {"HOC26,1,1", 16, "26", nullptr, nullptr, "HOC (1)", true},
        {"HOD26,S12,2.1", 17, "6", nullptr, nullptr, "HOD (2.1)", true},
        {"TEX1,1,1", 41, "1", nullptr, nullptr, "TEX (1)", true},
        {"PAV26,S12,2.1", 12, "V26", nullptr, nullptr, "PAV (2.1)", true},
        {"MEK12,1,1", 67, "2", nullptr, nullptr, "MACK (1)", true},
        {"MEG12,1,1", 67, "2", nullptr, nullptr, "MACK (1)", true},
        {"MAFT1,1,1", 68, "1", nullptr, nullptr, "MAFT (1)", true},
        // PAVT (and PAVR) come after PAV and overwrite its entry.
        {"PAVT7,S1,4.2", 15, "7", nullptr, nullptr, "PAVT (4.2)", true},
        {"PAVR7,S1,4.2", 15, "7", nullptr, nullptr, "PAVT (4.2)", true},
        // WY: A and B are the WYB, any other third character the WYx.
        {"WYA1,1,1", 72, nullptr, nullptr, "1", "WYB (1)", true},
        {"WYB", 72, nullptr, nullptr, "", "WYB ()", true},
        {"WYBX,2,3", 72, nullptr, nullptr, "3", "WYB (3)", true},
        {"WYC5,1,9", 71, "C5", nullptr, "9", "WYx (9)", true},
        // KLD: the version follows the first minus.
        {"KLD200A,S12,2.1.23-7.5", 24, "200A", "S12", "7.5", "KLD (7.5)", true},
        {"KLD200A,S12,2.1-7.5-3", 24, nullptr, nullptr, "7.5-3", "KLD (7.5-3)", true},
        {"KPY200A,S12,2.1.23", 24, nullptr, nullptr, "2.1.23", "KLD (2.1.23)", true},
        // PLU: version from the second field; neither it nor the JORL is asked for options.
        {"PLU,1.2,3.4", 33, "", "", "1.2", "PLU (1.2)", false},
        {"JORL5,S7,1.1", 77, nullptr, nullptr, nullptr, "JORL (1.1)", false},
        // Blanks and line ends around fields; missing fields read as empty.
        {"HOB7 , S12 ,\t1.60\r\n", 13, "7", "S12", "1.60", "HOB (1.60)", true},
        {"HOB7", 13, "7", "", "", "HOB ()", true},
        {"KLD200A,S12", 24, nullptr, nullptr, "", "KLD ()", true},
        {"PLU", 33, nullptr, nullptr, "", "PLU ()", false},
        // A model word shorter than the group's start gives an empty group.
        {"HOD2,1,1", 17, "", nullptr, nullptr, "HOD (1)", true},
        // Lower case, unknown, empty and too short: the entry is left alone.
        {"hob7,S12,1.60", 0, "", "", "", "----- (---)", false},
        {"Wya1,1,1", 0, "", "", "", "----- (---)", false},
        {"WY", 0, "", "", "", "----- (---)", false},
        {"XYZ1,1,1", 0, "", "", "", "----- (---)", false},
        {"", 0, "", "", "", "----- (---)", false},
        {"HO", 0, "", "", "", "----- (---)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        const Result r = Identify(c.model);
        EXPECT_EQ(r.matched, c.code != 0);
        EXPECT_EQ(r.e.DeviceTyp, c.code);
        EXPECT_EQ(r.e.DeviceGroup, c.group ? c.group : r.e.DeviceGroup);
        EXPECT_EQ(r.e.DeviceSerial, c.serial ? c.serial : r.e.DeviceSerial);
        EXPECT_EQ(r.e.DeviceVersion, c.version ? c.version : r.e.DeviceVersion);
        EXPECT_EQ(r.e.DeviceInfo, c.info);
        EXPECT_EQ(r.e.QueryOptions, c.options);
        // The recogniser leaves what the discovery owns alone.
        EXPECT_EQ(r.e.VISAResString, "");
        EXPECT_EQ(r.e.IDAnswer, "");
    }
}

TEST(Recognisers, PavAloneClaimsThePavtAndIndexesOutsideTheTableAreNotWritten) {
    Identify("PAVT7,S1,4.2");
    EXPECT_TRUE(KTDevIdent::IdentPAV("PAVT7,S1,4.2", 0));
    EXPECT_EQ(KTDevIdent::DeviceList[0].DeviceTyp, 12);
    EXPECT_EQ(KTDevIdent::DeviceList[0].DeviceGroup, "VT7");

    KTDevIdent::DeviceList.assign(1, DeviceRecord{});
    EXPECT_FALSE(KTDevIdent::IdentHOB("HOB7,1,1", 1));
    EXPECT_FALSE(KTDevIdent::IdentHOB("HOB7,1,1", -1));
}
