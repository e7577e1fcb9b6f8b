#include "DSP.h"

MathClass& DSP::IntMath() {
    static MathClass instance;
    return instance;
}
