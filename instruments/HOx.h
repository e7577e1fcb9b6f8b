#pragma once
// One analyzer I/Q capture: the capture parameters, the trace set-up command
// built from them, the capture sequence, and the scaling of a captured record
// to the reference level (amplitude 1.0 = General::AnaRefLevel).
//
// The analyzer families are those of General::AnalyzerType: 0 DANE, 1 HOB,
// 2 HOC, 3 HOD.

#include "VIF.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace HOx {

// Set by the measurement before each capture (pretrigger and sync are never
// changed by the program and stay 0 and false).
inline std::int32_t IQSamples = 0;
inline std::int32_t IQPretrigger = 0;
inline std::int32_t IQSampleRate = 0; // Hz
inline std::int32_t IQBandwidth = 0;  // Hz
// Index into the trigger keywords: 0 IMM, 1 EXT, 2 VID, 3 IFP, 4 RFP.
inline std::int32_t IQTrigSource = 0;
inline bool IQTrigSlopePos = false;
inline bool IQSyncOn = false;

inline constexpr std::array<const char*, 5> TriggerKeywords = {"IMM", "EXT", "VID", "IFP", "RFP"};

// "TRAC:IQ:SET NORM,<bw>Hz,<rate>Hz,<trigger>,POS|NEG,<pretrigger>,<samples>";
// empty when IQTrigSource names no trigger.
std::string IQSetCommand(std::int32_t AnalyzerType);

// Switches the I/Q trace on, sets it up, sets the float block format and
// starts one capture that the analyzer completes before its next command.
// Refuses (sends nothing, false) a trigger source outside 0..4; otherwise true
// when every command went out.
bool StartIQCapture(VIF& Analyzer, std::int32_t AnalyzerType);

// Divides both arrays in place by the voltage of the reference level across
// 50 ohm (in millivolts for the DANE family, whose samples come in mV).
void ScaleIQToRefLevel(std::vector<double>& I, std::vector<double>& Q, std::int32_t AnalyzerType);

} // namespace HOx
