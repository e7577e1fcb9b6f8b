#pragma once
// How long a test waits for something that is bound to happen: a sanitizer
// build on a machine whose every core is busy may need all of it. Only a
// failing test ever waits that long.

constexpr int kPatientMs = 60000;

// How much later than its time-out a wait may end on such a machine. A test
// that holds a wait to its time-out allows this much beyond it; a wait that
// must end at once is given a time-out of kPatientMs and must end within
// this, so that a fault that waits the time-out out is still told apart.
constexpr int kLateMs = 20000;
