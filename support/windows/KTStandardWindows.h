#pragma once
// The part of the application-support helpers that needs the widget style.

namespace KTStandard {

// Height of a window caption bar in twips (1/1440 inch).
float GetCaptionHeightTwips();

// A length in twips, in pixels of the primary screen (whole pixels, halves
// to even).
int TwipsToPixels(double twips);

} // namespace KTStandard
