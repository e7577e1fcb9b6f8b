#pragma once
// How long a test waits for something that is bound to happen: a sanitizer
// build on a machine whose every core is busy may need all of it. Only a
// failing test ever waits that long.

constexpr int kPatientMs = 60000;
