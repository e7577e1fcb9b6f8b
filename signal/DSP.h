#pragma once
// The host of the maths library: the program's one MathClass instance, made
// on first use and kept until the process ends. The analysis operations it
// works through are the free functions of AnalysisControls.h.

#include "MathClass.h"

class DSP {
public:
    static MathClass& IntMath();

    DSP() = delete;
};
