#pragma once
// Shows the RTF that RTFGen builds in a Qt text view. The converter knows
// exactly what the builder writes: the colour table, \plain, \fsN, bold,
// italic, underline, \cfN, \highlightN, \ql \qr \qc, \par, the escapes \\ \{
// \} and \'hh (8-bit characters); groups it does not know (\*, font tables)
// are skipped and other control words ignored.

#include "RTFGen.h"

#include <QTextEdit>
#include <string>
#include <string_view>

class QTextDocument;

namespace RTFView {

// Replaces the document's content by the rendered RTF. The font family is
// the document's default font; sizes come from \fsN (half-points).
void Render(std::string_view rtf, QTextDocument& document);

} // namespace RTFView

// A read-only rich-text view that the RTF builder can write to.
class RTFTextBox : public QTextEdit, public RichTextBox {
    Q_OBJECT

public:
    explicit RTFTextBox(QWidget* parent = nullptr);

    void SetFontName(const std::string& name) override;
    void SetPlainText(const std::string& text) override;
    std::string RTF() const override { return rtf_; }
    void SetRTF(const std::string& rtf) override;
    void SetCaret(std::size_t position) override;
    void Repaint() override;

private:
    std::string rtf_;
};
