#include "SpecColor.h"

namespace SpecColor {

namespace {

double HueToRGB(double m1, double m2, double h) {
    // one wrap only: hues the callers pass lie within a turn of the range
    if (h > 360) h -= 360;
    else if (h < 0) h += 360;
    if (h < 60) return m1 + (m2 - m1) * h / 60;
    if (h < 180) return m2;
    if (h < 240) return m1 + (m2 - m1) * (240 - h) / 60;
    return m1;
}

} // namespace

void HSLToRGB(double H, double L, double S, double& R, double& G, double& B) {
    double m2 = L <= 0.5 ? L * (1 + S) : L + S - L * S;
    double m1 = 2 * L - m2;
    if (S == 0) {
        R = G = B = L;
        return;
    }
    R = HueToRGB(m1, m2, H + 120);
    G = HueToRGB(m1, m2, H);
    B = HueToRGB(m1, m2, H - 120);
}

} // namespace SpecColor
