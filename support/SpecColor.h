#pragma once
// Hue/lightness/saturation to red/green/blue, for the density drawings.

namespace SpecColor {

// H in degrees, L and S 0..1; R, G, B 0..1.
void HSLToRGB(double H, double L, double S, double& R, double& G, double& B);

} // namespace SpecColor
