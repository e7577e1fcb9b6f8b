#pragma once
// Small helpers the settings windows share: showing and hiding a window
// whether or not it lives in the main window's client area, text boxes that
// select their text on focus, numbers typed into them, and drop-down lists
// whose items carry codes.

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QComboBox;
class QLineEdit;
class QWidget;

namespace DialogKit {

// Shows a window for the first time (inside the main window when there is
// one) or again after it was hidden, and brings it to the front.
void ShowWindow(QWidget* window);
void HideWindow(QWidget* window);
// Closes the window's frame; with WA_DeleteOnClose both are deleted.
void CloseWindow(QWidget* window);

// The box selects its whole text whenever it gets the focus.
void SelectAllOnFocus(QLineEdit* box);

// How a box's text is read: Regional as StringOp::StrToDbl ("," or "."),
// Plain as the plain conversion (leading number, "." only).
enum class Reading { Regional, Plain };
// The number typed in the box. Text that holds no number reads 0, as every
// numeric box has it; a number too large for the setting's type gives
// nothing and a status line, so the setting keeps its value.
std::optional<double> TypedNumber(const QLineEdit* box, Reading reading = Reading::Regional);
std::optional<float> TypedSingle(const QLineEdit* box, Reading reading = Reading::Regional);
// Rounded half to even to a 16-bit integer.
std::optional<std::int16_t> TypedInt16(const QLineEdit* box, Reading reading = Reading::Regional);
// Each change of the box stores its typed number (Regional) into the
// setting; a refused number leaves the setting as it was.
void StoreTyped(QLineEdit* box, double& setting);
void StoreTyped(QLineEdit* box, float& setting);

// The code of the selected item; nullopt when nothing is selected.
std::optional<int> SelectedCode(const QComboBox* list);
// Replaces the list's items by texts with their codes and leaves nothing
// selected, without raising the list's selection events (a list that gains
// its first item would otherwise select and report it).
void FillList(QComboBox* list, const std::vector<std::pair<QString, int>>& items);
// Selects the item carrying `code`, or nothing when no item carries it.
void SelectCode(QComboBox* list, int code);

} // namespace DialogKit
