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

TEST(Recognisers, FillEveryFieldOfTheEntry) {
    const Result r = Identify("HOB7,S12,1.60");
    ASSERT_TRUE(r.matched);
    EXPECT_EQ(r.e.DeviceTyp, 13);
    EXPECT_EQ(r.e.DeviceGroup, "7");
    EXPECT_EQ(r.e.DeviceSerial, "S12");
    EXPECT_EQ(r.e.DeviceVersion, "1.60");
    EXPECT_EQ(r.e.DeviceInfo, "HOB (1.60)");
    EXPECT_TRUE(r.e.QueryOptions);
    // The recogniser leaves what the discovery owns alone.
    EXPECT_EQ(r.e.VISAResString, "");
    EXPECT_EQ(r.e.IDAnswer, "");
}

TEST(Recognisers, CodesGroupsAndLabelsOfTheFamilies) {
    struct Case {
        const char* model;
        int code;
        const char* group;
        const char* label;
    };
    const Case cases[] = {
        {"BOXW300,1001,2.1", 31, "300", "BOXW (2.1)"},
        {"DANE7,1,3.0", 12, "7", "DANE (3.0)"},
        {"VRTA03,1,1.5", 21, "03", "VRTA (1.5)"},
        {"KPE03,1,1.5", 21, "3", "VRTA (1.5)"},
        {"KPA03,1,1.5", 21, "3", "VRTA (1.5)"},
        {"KPO12,1,1", 25, "2", "VREL (1)"},
        {"VORTA1,1,1", 24, "TA1", "KLD (1)"},
        {"KLE200,1,1", 24, "200", "KLD (1)"},
        {"KLO20,S12,2.1", 23, "0", "KLO (2.1)"},
        {"KLI03,1,1", 32, "03", "KLI (1)"},
        {"HOC26,1,1", 16, "26", "HOC (1)"},
        {"HOD26,S12,2.1", 17, "6", "HOD (2.1)"},
        {"TEX1,1,1", 41, "1", "TEX (1)"},
        {"PAV26,S12,2.1", 12, "V26", "PAV (2.1)"},
        {"MEK12,1,1", 67, "2", "MACK (1)"},
        {"MEG12,1,1", 67, "2", "MACK (1)"},
        {"MAFT1,1,1", 68, "1", "MAFT (1)"},
    };
    for (const Case& c : cases) {
        const Result r = Identify(c.model);
        EXPECT_TRUE(r.matched) << c.model;
        EXPECT_EQ(r.e.DeviceTyp, c.code) << c.model;
        EXPECT_EQ(r.e.DeviceGroup, c.group) << c.model;
        EXPECT_EQ(r.e.DeviceInfo, c.label) << c.model;
        EXPECT_TRUE(r.e.QueryOptions) << c.model;
    }
}

TEST(Recognisers, PavtOverwritesPav) {
    for (const char* model : {"PAVT7,S1,4.2", "PAVR7,S1,4.2"}) {
        const Result r = Identify(model);
        ASSERT_TRUE(r.matched);
        EXPECT_EQ(r.e.DeviceTyp, 15) << model;
        EXPECT_EQ(r.e.DeviceGroup, "7") << model;
        EXPECT_EQ(r.e.DeviceInfo, "PAVT (4.2)") << model;
    }
    // Either recogniser alone claims the model.
    Identify("PAVT7,S1,4.2");
    EXPECT_TRUE(KTDevIdent::IdentPAV("PAVT7,S1,4.2", 0));
    EXPECT_EQ(KTDevIdent::DeviceList[0].DeviceTyp, 12);
    EXPECT_EQ(KTDevIdent::DeviceList[0].DeviceGroup, "VT7");
}

TEST(Recognisers, WyPatterns) {
    for (const char* model : {"WYA1,1,1", "WYB", "WYBX,2,3"}) {
        const Result r = Identify(model);
        EXPECT_EQ(r.e.DeviceTyp, 72) << model;
        EXPECT_EQ(r.e.DeviceInfo.substr(0, 5), "WYB (") << model;
    }
    const Result c = Identify("WYC5,1,9");
    EXPECT_EQ(c.e.DeviceTyp, 71);
    EXPECT_EQ(c.e.DeviceGroup, "C5");
    EXPECT_EQ(c.e.DeviceInfo, "WYx (9)");
    // The pattern wants a third character, and compares case-sensitively.
    EXPECT_FALSE(Identify("WY").matched);
    EXPECT_EQ(Identify("Wya1,1,1").e.DeviceTyp, 0);
}

TEST(Recognisers, KldVersionFollowsTheFirstMinus) {
    Result r = Identify("KLD200A,S12,2.1.23-7.5");
    EXPECT_EQ(r.e.DeviceTyp, 24);
    EXPECT_EQ(r.e.DeviceGroup, "200A");
    EXPECT_EQ(r.e.DeviceSerial, "S12");
    EXPECT_EQ(r.e.DeviceVersion, "7.5");
    EXPECT_EQ(r.e.DeviceInfo, "KLD (7.5)");
    r = Identify("KLD200A,S12,2.1-7.5-3");
    EXPECT_EQ(r.e.DeviceVersion, "7.5-3");
    r = Identify("KPY200A,S12,2.1.23");
    EXPECT_EQ(r.e.DeviceVersion, "2.1.23");
    EXPECT_EQ(r.e.DeviceInfo, "KLD (2.1.23)");
}

TEST(Recognisers, PluTakesItsVersionFromTheSecondField) {
    const Result r = Identify("PLU,1.2,3.4");
    EXPECT_EQ(r.e.DeviceTyp, 33);
    EXPECT_EQ(r.e.DeviceVersion, "1.2");
    EXPECT_EQ(r.e.DeviceSerial, "");
    EXPECT_EQ(r.e.DeviceGroup, "");
    EXPECT_EQ(r.e.DeviceInfo, "PLU (1.2)");
    EXPECT_FALSE(r.e.QueryOptions);
    const Result j = Identify("JORL5,S7,1.1");
    EXPECT_EQ(j.e.DeviceTyp, 77);
    EXPECT_EQ(j.e.DeviceInfo, "JORL (1.1)");
    EXPECT_FALSE(j.e.QueryOptions);
}

TEST(Recognisers, UnknownAndLowerCaseModelsLeaveTheEntry) {
    for (const char* model : {"hob7,S12,1.60", "XYZ1,1,1", "", "HO"}) {
        const Result r = Identify(model);
        EXPECT_FALSE(r.matched) << model;
        EXPECT_EQ(r.e.DeviceTyp, 0);
        EXPECT_EQ(r.e.DeviceInfo, "----- (---)");
        EXPECT_FALSE(r.e.QueryOptions);
    }
    // An index outside the table is not written.
    KTDevIdent::DeviceList.assign(1, DeviceRecord{});
    EXPECT_FALSE(KTDevIdent::IdentHOB("HOB7,1,1", 1));
    EXPECT_FALSE(KTDevIdent::IdentHOB("HOB7,1,1", -1));
}

TEST(Recognisers, LineEndsAndMissingFields) {
    Result r = Identify("HOB7 , S12 ,\t1.60\r\n");
    EXPECT_EQ(r.e.DeviceSerial, "S12");
    EXPECT_EQ(r.e.DeviceInfo, "HOB (1.60)");
    // Fields that are not there read as empty.
    r = Identify("HOB7");
    EXPECT_TRUE(r.matched);
    EXPECT_EQ(r.e.DeviceGroup, "7");
    EXPECT_EQ(r.e.DeviceSerial, "");
    EXPECT_EQ(r.e.DeviceVersion, "");
    EXPECT_EQ(r.e.DeviceInfo, "HOB ()");
    r = Identify("KLD200A,S12");
    EXPECT_EQ(r.e.DeviceVersion, "");
    EXPECT_EQ(r.e.DeviceInfo, "KLD ()");
    r = Identify("PLU");
    EXPECT_EQ(r.e.DeviceInfo, "PLU ()");
    // A model word shorter than the group's start gives an empty group.
    r = Identify("HOD2,1,1");
    EXPECT_EQ(r.e.DeviceGroup, "");
}
