#pragma once
// Small helpers the settings windows share: showing and hiding a window
// whether or not it lives in the main window's client area, text boxes that
// select their text on focus, numbers typed into them, and drop-down lists
// whose items carry codes.

#include "SettingNumber.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
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

// How a box's text is read (SettingNumber::Reading): the text must be one
// number and nothing else, read as the remote control reads the same setting.
using Reading = SettingNumber::Reading;
// The number typed in the box; nothing for a text that is not one number (an
// empty one included) and for a number too large for the setting's type,
// which also gives a status line.
std::optional<double> TypedNumber(const QLineEdit* box, Reading reading = Reading::Regional);
std::optional<float> TypedSingle(const QLineEdit* box, Reading reading = Reading::Regional);
// Rounded half to even to a 16-bit integer.
std::optional<std::int16_t> TypedInt16(const QLineEdit* box, Reading reading = Reading::Regional);

// A number box: each change of its text stores the typed number (of type T:
// double, float or std::int16_t) through `store`; a text that gives none
// leaves the setting as it was. The box is entered in the run start's check
// under `caption` (CheckTypedAs).
template <typename T>
void StoreTypedWith(QLineEdit* box, const std::string& caption, std::function<void(T)> store,
                    Reading reading = Reading::Regional, std::function<bool()> inUse = {});
// The same, storing into the setting.
void StoreTyped(QLineEdit* box, const std::string& caption, double& setting,
                Reading reading = Reading::Regional);
void StoreTyped(QLineEdit* box, const std::string& caption, float& setting,
                Reading reading = Reading::Regional);
void StoreTyped(QLineEdit* box, const std::string& caption, std::int16_t& setting,
                Reading reading = Reading::Regional);
// Enters a box whose change handler stores its number of type T (through
// TypedNumber and its kin) in the run start's check: while it exists and is
// enabled, a text that gives no such number refuses the start (TypedEntries).
// `inUse`, when given, tells whether the run reads the box's setting at all:
// a box the present bench does not use refuses nothing, as the operator may
// not even see it.
template <typename T>
void CheckTypedAs(QLineEdit* box, const std::string& caption, Reading reading = Reading::Regional,
                  std::function<bool()> inUse = {});
// Enters a box with a reading of its own in the run start's check: while it
// exists and is enabled (and in use), a text that `holdsValue` rejects
// refuses the start.
void CheckTyped(QLineEdit* box, const std::string& caption,
                std::function<bool(const QLineEdit*)> holdsValue, std::function<bool()> inUse = {});

// The code of the selected item; nullopt when nothing is selected.
std::optional<int> SelectedCode(const QComboBox* list);
// Replaces the list's items by texts with their codes and leaves nothing
// selected, without raising the list's selection events (a list that gains
// its first item would otherwise select and report it).
void FillList(QComboBox* list, const std::vector<std::pair<QString, int>>& items);
// Selects the item carrying `code`, or nothing when no item carries it.
void SelectCode(QComboBox* list, int code);

} // namespace DialogKit
