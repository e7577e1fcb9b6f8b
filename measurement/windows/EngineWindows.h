#pragma once
// Puts the measurement engine's windows behind its seams: the result window
// becomes the ResultSink, the leveling dialog the LevelingMeter, the
// progress window shows the run's steps, the measurement window draws the
// curves and each run's verification gets its window. Call once at start-up, after the
// QApplication exists; each window is created when first used.

namespace EngineWindows {

void Install();
// Back to the headless behaviour (for tests).
void Uninstall();

} // namespace EngineWindows
