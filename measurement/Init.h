#pragma once
// Brings the three instruments of the bench into a known state at the start
// of every run: fresh sessions in IEC, reset and identification, the RF
// output off with its power limit, the I/Q filters, the 10 MHz reference
// coupling and the test that every instrument that must lock has locked.

namespace Init {

// Sets General::MeasureRunAbort, with General::RunErrorText naming the cause,
// when the run cannot go on: a type code outside its range (nothing is sent
// then), an instrument whose session does not open or that does not identify
// itself, a reference that is unlocked (also shown in the message box), an
// instrument that stopped answering (its lock query gets no answer) or a
// lock answer without a number. Sessions already opened stay in
// IEC; the caller ends the run.
void InitInstruments();

} // namespace Init
