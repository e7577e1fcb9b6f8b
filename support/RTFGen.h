#pragma once
// Builds coloured, formatted text as RTF in a text the caller owns and hands
// it to a rich-text view after every change. The document starts with the
// colour table and only grows; it is never parsed back.

#include <cstddef>
#include <cstdint>
#include <string>

// What the builder needs of a rich-text view.
class RichTextBox {
public:
    virtual ~RichTextBox() = default;
    virtual void SetFontName(const std::string& name) = 0;
    virtual void SetPlainText(const std::string& text) = 0;
    virtual std::string RTF() const = 0;
    virtual void SetRTF(const std::string& rtf) = 0;
    // A position past the end puts the caret at the end.
    virtual void SetCaret(std::size_t position) = 0;
    virtual void Repaint() = 0;
};

namespace RTFGen {

// Table indices 1..7: black, red, green, blue, grey, dark green, orange.
inline constexpr const char* kColorTable =
    "{\\colortbl ;\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green255\\blue0;"
    "\\red0\\green0\\blue255;\\red127\\green127\\blue127;\\red0\\green127\\blue0;"
    "\\red255\\green128\\blue0;}";

// Colours as 24-bit values with red in the lowest byte.
inline constexpr std::int32_t kBlack = 0;
inline constexpr std::int32_t kRed = 255;
inline constexpr std::int32_t kGreen = 65280;
inline constexpr std::int32_t kBlue = 16711680;
inline constexpr std::int32_t kLightGrey = 12632256;
inline constexpr std::int32_t kDarkGreen = 49152;
inline constexpr std::int32_t kOrange = 33023;
// A highlight colour that adds no highlight.
inline constexpr std::int32_t kNoHighlight = -1;

enum Alignment : std::int32_t { AlignLeft = 0, AlignRight = 1, AlignCentre = 2, AlignNone = 3 };

// Font size in half-points used when a document is shown; one value for all
// documents, set by RTFBegin and RTFFontTag.
inline std::int16_t FontSize = 0;

// "\cfN": colours outside the table (black included) give "\cf1".
std::string ForeColorTag(std::int32_t color);
// "\highlightN", or empty for a colour outside the table.
std::string HighlightTag(std::int32_t color);
// The text as RTF: "\", "{" and "}" escaped, characters above 127 as \'hh.
std::string EscapeText(const std::string& text);

// Starts a new document (the colour table) and shows it. `box` may be null:
// the document is then only built.
void RTFBegin(RichTextBox* box, std::string& document, const std::string& fontName,
              double fontSize);
// Appends "{tags text}" and shows the document.
void RTFAddText(RichTextBox* box, std::string& document, const std::string& text, bool newParagraph,
                bool bold, bool italic, bool underline, std::int32_t foreColor,
                std::int32_t alignment, std::int32_t highlight);
// Sets FontSize and shows "{\plain\fsN" + document + "}" with the caret at the end.
void RTFFontTag(RichTextBox* box, const std::string& document, std::int16_t size);

} // namespace RTFGen
