#include "RTFView.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cctype>
#include <charconv>
#include <optional>
#include <vector>

namespace RTFView {

namespace {

struct State {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int foreground = 0; // colour table index, 0 = automatic
    int highlight = 0;  // 0 = none
    int halfPoints = 0; // 0 = the document's default size
    Qt::Alignment alignment = Qt::AlignLeft;
    enum Destination { Text, ColorTable, Skip } destination = Text;
};

class Renderer {
public:
    Renderer(std::string_view rtf, QTextDocument& document) : rtf_(rtf), cursor_(&document) {}

    void Run() {
        while (i_ < rtf_.size()) {
            const char c = rtf_[i_++];
            switch (c) {
            case '{':
                Flush();
                stack_.push_back(state_);
                break;
            case '}':
                Flush();
                if (!stack_.empty()) {
                    state_ = stack_.back();
                    stack_.pop_back();
                }
                break;
            case '\\':
                ControlSequence();
                break;
            case '\r':
            case '\n':
                break; // line ends in RTF source carry no meaning
            default:
                Character(QChar::fromLatin1(c));
            }
        }
        Flush();
        QTextBlockFormat last;
        last.setAlignment(lastTextAlignment_.value_or(state_.alignment));
        cursor_.setBlockFormat(last);
    }

private:
    void ControlSequence() {
        if (i_ >= rtf_.size()) return;
        const char c = rtf_[i_];
        if (c == '\\' || c == '{' || c == '}') {
            ++i_;
            Character(QChar::fromLatin1(c));
            return;
        }
        if (c == '\'') {
            ++i_;
            unsigned value = 0;
            const char* first = rtf_.data() + i_;
            const char* last = rtf_.data() + std::min(i_ + 2, rtf_.size());
            auto [end, ec] = std::from_chars(first, last, value, 16);
            i_ += static_cast<std::size_t>(end - first);
            if (ec == std::errc()) Character(QChar::fromLatin1(static_cast<char>(value)));
            return;
        }
        if (c == '*') {
            ++i_;
            state_.destination = State::Skip;
            return;
        }
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            ++i_; // a control symbol the builder never writes
            return;
        }
        std::size_t start = i_;
        while (i_ < rtf_.size() && std::isalpha(static_cast<unsigned char>(rtf_[i_])))
            ++i_;
        const std::string_view word = rtf_.substr(start, i_ - start);
        std::optional<int> parameter;
        std::size_t digits = i_;
        if (digits < rtf_.size() && rtf_[digits] == '-') ++digits;
        if (digits < rtf_.size() && std::isdigit(static_cast<unsigned char>(rtf_[digits]))) {
            int value = 0;
            auto [end, ec] = std::from_chars(rtf_.data() + i_, rtf_.data() + rtf_.size(), value);
            if (ec == std::errc()) parameter = value;
            i_ = static_cast<std::size_t>(end - rtf_.data());
        }
        if (i_ < rtf_.size() && rtf_[i_] == ' ') ++i_; // the delimiter belongs to the word
        Word(word, parameter);
    }

    void Word(std::string_view word, std::optional<int> parameter) {
        Flush();
        const bool on = !parameter || *parameter != 0;
        const int n = parameter.value_or(0);
        if (word == "colortbl") {
            state_.destination = State::ColorTable;
            table_.clear();
            red_ = green_ = blue_ = -1;
        } else if (word == "fonttbl" || word == "stylesheet" || word == "info" || word == "pict") {
            state_.destination = State::Skip;
        } else if (state_.destination == State::ColorTable) {
            if (word == "red") red_ = n;
            if (word == "green") green_ = n;
            if (word == "blue") blue_ = n;
        } else if (word == "plain") {
            const State keep = state_;
            state_ = State{};
            state_.alignment = keep.alignment;
            state_.destination = keep.destination;
        } else if (word == "fs") {
            state_.halfPoints = n;
        } else if (word == "b") {
            state_.bold = on;
        } else if (word == "i") {
            state_.italic = on;
        } else if (word == "ul") {
            state_.underline = on;
        } else if (word == "ulnone") {
            state_.underline = false;
        } else if (word == "cf") {
            state_.foreground = n;
        } else if (word == "highlight") {
            state_.highlight = n;
        } else if (word == "ql" || word == "pard") {
            state_.alignment = Qt::AlignLeft;
        } else if (word == "qr") {
            state_.alignment = Qt::AlignRight;
        } else if (word == "qc") {
            state_.alignment = Qt::AlignHCenter;
        } else if (word == "qj") {
            state_.alignment = Qt::AlignJustify;
        } else if (word == "par") {
            QTextBlockFormat block;
            block.setAlignment(state_.alignment);
            cursor_.setBlockFormat(block);
            cursor_.insertBlock();
            lastTextAlignment_.reset();
        } else if (word == "tab") {
            Character(QChar('\t'));
        }
    }

    void Character(QChar c) {
        if (state_.destination == State::Skip) return;
        if (state_.destination == State::ColorTable) {
            if (c == ';') {
                table_.push_back(
                    red_ < 0 && green_ < 0 && blue_ < 0
                        ? QColor()
                        : QColor(std::max(red_, 0), std::max(green_, 0), std::max(blue_, 0)));
                red_ = green_ = blue_ = -1;
            }
            return;
        }
        if (run_.isEmpty()) runState_ = state_;
        run_ += c;
        lastTextAlignment_ = state_.alignment;
    }

    QColor TableColor(int index) const {
        if (index <= 0 || index >= static_cast<int>(table_.size())) return {};
        return table_[static_cast<std::size_t>(index)];
    }

    void Flush() {
        if (run_.isEmpty()) return;
        QTextCharFormat format;
        if (runState_.bold) format.setFontWeight(QFont::Bold);
        format.setFontItalic(runState_.italic);
        format.setFontUnderline(runState_.underline);
        if (const QColor fg = TableColor(runState_.foreground); fg.isValid())
            format.setForeground(fg);
        if (const QColor hl = TableColor(runState_.highlight); hl.isValid())
            format.setBackground(hl);
        if (runState_.halfPoints > 0) format.setFontPointSize(runState_.halfPoints / 2.0);
        cursor_.insertText(run_, format);
        run_.clear();
    }

    std::string_view rtf_;
    std::size_t i_ = 0;
    QTextCursor cursor_;
    State state_;
    std::vector<State> stack_;
    std::vector<QColor> table_;
    int red_ = -1, green_ = -1, blue_ = -1;
    QString run_;
    State runState_;
    // Alignment in force at the last character of the open paragraph.
    std::optional<Qt::Alignment> lastTextAlignment_;
};

} // namespace

void Render(std::string_view rtf, QTextDocument& document) {
    document.clear();
    Renderer(rtf, document).Run();
}

} // namespace RTFView

RTFTextBox::RTFTextBox(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QTextEdit::NoWrap);
}

void RTFTextBox::SetFontName(const std::string& name) {
    QFont font = document()->defaultFont();
    font.setFamily(QString::fromLatin1(name));
    // a missing family falls back to a fixed-pitch one, as logs want
    font.setStyleHint(QFont::TypeWriter);
    document()->setDefaultFont(font);
}

void RTFTextBox::SetPlainText(const std::string& text) {
    rtf_.clear();
    setPlainText(QString::fromLatin1(text));
}

void RTFTextBox::SetRTF(const std::string& rtf) {
    rtf_ = rtf;
    RTFView::Render(rtf_, *document());
}

void RTFTextBox::SetCaret(std::size_t position) {
    QTextCursor caret(document());
    const auto end = static_cast<std::size_t>(std::max(document()->characterCount() - 1, 0));
    caret.setPosition(static_cast<int>(std::min(position, end)));
    setTextCursor(caret);
    ensureCursorVisible();
}

void RTFTextBox::Repaint() {
    viewport()->repaint();
}
