#include "GUIService.h"

#include <QLineEdit>

namespace GUIService {

void SelectAllText(QWidget* control) {
    if (auto* box = qobject_cast<QLineEdit*>(control)) {
        box->setSelection(0, static_cast<int>(box->text().size()));
    }
}

} // namespace GUIService
