#pragma once
// Identification of the maker's instruments: the device table filled by the
// discovery (VISAScan) and the recognisers that turn a model text into one
// entry of it.
//
// The model text is the "*IDN?" answer without its first comma field (the
// maker): "<model>,<serial>,<version>". Each recogniser matches its family by
// the beginning of the model word (two by a wildcard pattern), case-sensitively,
// and then fills type code, group, serial, version, label and whether the
// instrument is asked for its options. Missing comma fields read as empty.

#include <cstdint>
#include <string>
#include <vector>

struct DeviceRecord {
    std::string VISAResString;
    // 0 not identified, 99 another maker's instrument, else the family code.
    std::int32_t DeviceTyp = 0;
    std::string DeviceGroup; // the model word after the family letters
    std::string DeviceSerial;
    std::string DeviceVersion;
    std::string DeviceInfo; // display label, e.g. "HOB (1.60)"
    std::string IDAnswer;
    std::string OptionList;
    bool QueryOptions = false;
};

namespace KTDevIdent {

// The table of the last scan; index 0 upwards.
inline std::vector<DeviceRecord> DeviceList;
// The table never grows beyond what a 16-bit index reaches.
inline constexpr std::size_t MaxDevices = 32767;

// The label of an entry no recogniser has claimed.
inline constexpr const char* UnidentifiedInfo = "----- (---)";

// Each returns true and fills DeviceList[index] when the model text belongs
// to its family; otherwise (and for an index outside the table) it returns
// false and changes nothing.
bool IdentBOXW(const std::string& Model, std::int16_t Index);
bool IdentDANE(const std::string& Model, std::int16_t Index);
bool IdentVRTA(const std::string& Model, std::int16_t Index);
bool IdentVREL(const std::string& Model, std::int16_t Index);
bool IdentKLD(const std::string& Model, std::int16_t Index);
bool IdentKLO(const std::string& Model, std::int16_t Index);
bool IdentKLY(const std::string& Model, std::int16_t Index);
bool IdentKLI(const std::string& Model, std::int16_t Index);
bool IdentKPW(const std::string& Model, std::int16_t Index);
bool IdentHOB(const std::string& Model, std::int16_t Index);
bool IdentHOJ(const std::string& Model, std::int16_t Index);
bool IdentDARV(const std::string& Model, std::int16_t Index);
bool IdentHOC(const std::string& Model, std::int16_t Index);
bool IdentHOD(const std::string& Model, std::int16_t Index);
bool IdentTEW(const std::string& Model, std::int16_t Index);
bool IdentTEX(const std::string& Model, std::int16_t Index);
bool IdentWYx(const std::string& Model, std::int16_t Index);
bool IdentWYB(const std::string& Model, std::int16_t Index);
bool IdentPAV(const std::string& Model, std::int16_t Index);
bool IdentPAVT(const std::string& Model, std::int16_t Index);
bool IdentHOG(const std::string& Model, std::int16_t Index);
bool IdentPLU(const std::string& Model, std::int16_t Index);
bool IdentNOB(const std::string& Model, std::int16_t Index);
bool IdentNOA(const std::string& Model, std::int16_t Index);
bool IdentMEB(const std::string& Model, std::int16_t Index);
bool IdentMACK(const std::string& Model, std::int16_t Index);
bool IdentMAFT(const std::string& Model, std::int16_t Index);
bool IdentJORL(const std::string& Model, std::int16_t Index);

// Runs every recogniser in table order (a later match overwrites an earlier
// one: PAVT over PAV); true when at least one matched.
bool IdentifyModel(const std::string& Model, std::int16_t Index);

} // namespace KTDevIdent
