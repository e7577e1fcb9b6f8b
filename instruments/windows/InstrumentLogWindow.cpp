#include "InstrumentLogWindow.h"

#include "ELogForm.h"
#include "IEC.h"
#include "RTFView.h"

namespace InstrumentLogWindow {

void Install() {
    IEC::SetLogBoxProvider([]() -> RichTextBox* { return ELogForm::Instance().ELogBox; });
}

} // namespace InstrumentLogWindow
