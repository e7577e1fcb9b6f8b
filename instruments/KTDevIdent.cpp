#include "KTDevIdent.h"

#include "StringOp.h"

#include <array>
#include <string_view>

namespace KTDevIdent {

namespace {

enum class Special { None, PLU, KLD, JORL };

struct Row {
    std::vector<std::string_view> prefixes; // none: matched by `wildcard`
    bool (*wildcard)(std::string_view model);
    std::int32_t code;
    std::size_t start; // 1-based start of the group in the model word
    const char* label;
    bool queryOptions;
    Special special;
};

// "WY" then one character that is (or is not) "A" or "B", then anything.
bool WYOther(std::string_view m) {
    return m.size() >= 3 && m.substr(0, 2) == "WY" && m[2] != 'A' && m[2] != 'B';
}
bool WYAB(std::string_view m) {
    return m.size() >= 3 && m.substr(0, 2) == "WY" && (m[2] == 'A' || m[2] == 'B');
}

const Row kBOXW{{"BOXW"}, nullptr, 31, 5, "BOXW (", true, Special::None};
const Row kDANE{{"DANT", "DANE"}, nullptr, 12, 5, "DANE (", true, Special::None};
const Row kVRTA{{"QRNT", "VRTA", "KPE", "KPA"}, nullptr, 21, 5, "VRTA (", true, Special::None};
const Row kVREL{{"VREN", "VREL", "KPO"}, nullptr, 25, 5, "VREL (", true, Special::None};
const Row kKLD{{"VORTA", "KPY", "KLE", "KLD"}, nullptr, 24, 4, "KLD (", true, Special::KLD};
const Row kKLO{{"KLO"}, nullptr, 23, 5, "KLO (", true, Special::None};
const Row kKLY{{"KLY"}, nullptr, 22, 4, "KLY (", true, Special::None};
const Row kKLI{{"KLI"}, nullptr, 32, 4, "KLI (", true, Special::None};
const Row kKPW{{"KPW"}, nullptr, 76, 4, "KPW (", true, Special::None};
const Row kHOB{{"HOB"}, nullptr, 13, 4, "HOB (", true, Special::None};
const Row kHOJ{{"HOJ"}, nullptr, 18, 4, "HOJ (", true, Special::None};
const Row kDARV{{"DARV"}, nullptr, 19, 5, "DARV (", true, Special::None};
const Row kHOC{{"HOC"}, nullptr, 16, 4, "HOC (", true, Special::None};
const Row kHOD{{"HOD"}, nullptr, 17, 5, "HOD (", true, Special::None};
const Row kTEW{{"TEW"}, nullptr, 41, 4, "TEW (", true, Special::None};
const Row kTEX{{"TEX"}, nullptr, 41, 4, "TEX (", true, Special::None};
const Row kWYx{{}, WYOther, 71, 3, "WYx (", true, Special::None};
const Row kWYB{{}, WYAB, 72, 3, "WYB (", true, Special::None};
const Row kPAV{{"PAV"}, nullptr, 12, 3, "PAV (", true, Special::None};
const Row kPAVT{{"PAVR", "PAVT"}, nullptr, 15, 5, "PAVT (", true, Special::None};
const Row kHOG{{"HOG"}, nullptr, 11, 4, "HOG (", true, Special::None};
const Row kPLU{{"PLU"}, nullptr, 33, 4, "PLU (", false, Special::PLU};
const Row kNOB{{"NOB"}, nullptr, 61, 4, "NOB (", true, Special::None};
const Row kNOA{{"NOA"}, nullptr, 62, 4, "NOA (", true, Special::None};
const Row kMEB{{"MEB"}, nullptr, 66, 4, "MEB (", true, Special::None};
const Row kMACK{{"MACK", "MEK", "MEG"}, nullptr, 67, 5, "MACK (", true, Special::None};
const Row kMAFT{{"MAFT"}, nullptr, 68, 5, "MAFT (", true, Special::None};
const Row kJORL{{"JORL"}, nullptr, 77, 5, "JORL (", false, Special::JORL};

bool Matches(const Row& row, std::string_view model) {
    if (row.wildcard != nullptr) return row.wildcard(model);
    for (std::string_view p : row.prefixes)
        if (model.substr(0, p.size()) == p) return true;
    return false;
}

std::string Field(const std::vector<std::string>& fields, std::size_t n) {
    return n < fields.size() ? fields[n] : std::string();
}

bool Ident(const Row& row, const std::string& model, std::int16_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= DeviceList.size()) return false;
    if (!Matches(row, model)) return false;
    const std::vector<std::string> fields = StringOp::SplitTrim(model, ",");
    const std::string word = Field(fields, 0);
    DeviceRecord& e = DeviceList[static_cast<std::size_t>(index)];
    e.DeviceTyp = row.code;
    e.DeviceGroup = word.size() >= row.start ? word.substr(row.start - 1) : std::string();
    switch (row.special) {
    case Special::PLU:
        // The PLU answers model and version only.
        e.DeviceVersion = Field(fields, 1);
        break;
    case Special::KLD: {
        // "<build>-<version>": the version follows the first minus sign.
        const std::string v = Field(fields, 2);
        const std::size_t minus = v.find('-');
        e.DeviceSerial = Field(fields, 1);
        e.DeviceVersion = minus == std::string::npos ? v : v.substr(minus + 1);
        break;
    }
    case Special::None:
    case Special::JORL:
        e.DeviceSerial = Field(fields, 1);
        e.DeviceVersion = Field(fields, 2);
        break;
    }
    e.DeviceInfo = row.label + StringOp::StripLineEnds(e.DeviceVersion) + ")";
    e.QueryOptions = row.queryOptions;
    return true;
}

} // namespace

bool IdentBOXW(const std::string& m, std::int16_t i) {
    return Ident(kBOXW, m, i);
}
bool IdentDANE(const std::string& m, std::int16_t i) {
    return Ident(kDANE, m, i);
}
bool IdentVRTA(const std::string& m, std::int16_t i) {
    return Ident(kVRTA, m, i);
}
bool IdentVREL(const std::string& m, std::int16_t i) {
    return Ident(kVREL, m, i);
}
bool IdentKLD(const std::string& m, std::int16_t i) {
    return Ident(kKLD, m, i);
}
bool IdentKLO(const std::string& m, std::int16_t i) {
    return Ident(kKLO, m, i);
}
bool IdentKLY(const std::string& m, std::int16_t i) {
    return Ident(kKLY, m, i);
}
bool IdentKLI(const std::string& m, std::int16_t i) {
    return Ident(kKLI, m, i);
}
bool IdentKPW(const std::string& m, std::int16_t i) {
    return Ident(kKPW, m, i);
}
bool IdentHOB(const std::string& m, std::int16_t i) {
    return Ident(kHOB, m, i);
}
bool IdentHOJ(const std::string& m, std::int16_t i) {
    return Ident(kHOJ, m, i);
}
bool IdentDARV(const std::string& m, std::int16_t i) {
    return Ident(kDARV, m, i);
}
bool IdentHOC(const std::string& m, std::int16_t i) {
    return Ident(kHOC, m, i);
}
bool IdentHOD(const std::string& m, std::int16_t i) {
    return Ident(kHOD, m, i);
}
bool IdentTEW(const std::string& m, std::int16_t i) {
    return Ident(kTEW, m, i);
}
bool IdentTEX(const std::string& m, std::int16_t i) {
    return Ident(kTEX, m, i);
}
bool IdentWYx(const std::string& m, std::int16_t i) {
    return Ident(kWYx, m, i);
}
bool IdentWYB(const std::string& m, std::int16_t i) {
    return Ident(kWYB, m, i);
}
bool IdentPAV(const std::string& m, std::int16_t i) {
    return Ident(kPAV, m, i);
}
bool IdentPAVT(const std::string& m, std::int16_t i) {
    return Ident(kPAVT, m, i);
}
bool IdentHOG(const std::string& m, std::int16_t i) {
    return Ident(kHOG, m, i);
}
bool IdentPLU(const std::string& m, std::int16_t i) {
    return Ident(kPLU, m, i);
}
bool IdentNOB(const std::string& m, std::int16_t i) {
    return Ident(kNOB, m, i);
}
bool IdentNOA(const std::string& m, std::int16_t i) {
    return Ident(kNOA, m, i);
}
bool IdentMEB(const std::string& m, std::int16_t i) {
    return Ident(kMEB, m, i);
}
bool IdentMACK(const std::string& m, std::int16_t i) {
    return Ident(kMACK, m, i);
}
bool IdentMAFT(const std::string& m, std::int16_t i) {
    return Ident(kMAFT, m, i);
}
bool IdentJORL(const std::string& m, std::int16_t i) {
    return Ident(kJORL, m, i);
}

bool IdentifyModel(const std::string& Model, std::int16_t Index) {
    using Recogniser = bool (*)(const std::string&, std::int16_t);
    static constexpr std::array<Recogniser, 28> kAll = {
        IdentBOXW, IdentDANE, IdentVRTA, IdentVREL, IdentKLD,  IdentKLO,  IdentKLY,
        IdentKLI,  IdentKPW,  IdentHOB,  IdentHOJ,  IdentDARV, IdentHOC,  IdentHOD,
        IdentTEW,  IdentTEX,  IdentWYx,  IdentWYB,  IdentPAV,  IdentPAVT, IdentHOG,
        IdentPLU,  IdentNOB,  IdentNOA,  IdentMEB,  IdentMACK, IdentMAFT, IdentJORL};
    bool any = false;
    for (Recogniser r : kAll)
        any = r(Model, Index) || any;
    return any;
}

} // namespace KTDevIdent
