#pragma once

class QWidget;

namespace GUIService {

// A text box selects its whole text, so that typing replaces the content;
// any other control is left alone.
void SelectAllText(QWidget* control);

} // namespace GUIService
