#include "RTFGen.h"

#include "INIIO.h"
#include "NumberText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace RTFGen {

namespace {

// Table index of a colour, 0 when it is not in the table.
int TableIndex(std::int32_t color) {
    switch (color) {
    case kBlack:
        return 1;
    case kRed:
        return 2;
    case kGreen:
        return 3;
    case kBlue:
        return 4;
    case kLightGrey:
        return 5;
    case kDarkGreen:
        return 6;
    case kOrange:
        return 7;
    default:
        return 0;
    }
}

} // namespace

std::string ForeColorTag(std::int32_t color) {
    return "\\cf" + std::to_string(std::max(TableIndex(color), 1));
}

std::string HighlightTag(std::int32_t color) {
    const int index = TableIndex(color);
    return index == 0 ? std::string() : "\\highlight" + std::to_string(index);
}

std::string EscapeText(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c > 127) {
            out += "\\'";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void RTFBegin(RichTextBox* box, std::string& document, const std::string& fontName,
              double fontSize) {
    document = kColorTable;
    const double size = NumberText::RoundHalfEven(fontSize);
    FontSize = std::isnan(size) ? std::int16_t{0}
                                : static_cast<std::int16_t>(std::clamp<double>(
                                      size, std::numeric_limits<std::int16_t>::min(),
                                      std::numeric_limits<std::int16_t>::max()));
    if (!box) return;
    box->SetFontName(fontName);
    box->SetPlainText("");
    box->SetRTF("");
    box->SetRTF(document);
}

void RTFAddText(RichTextBox* box, std::string& document, const std::string& text, bool newParagraph,
                bool bold, bool italic, bool underline, std::int32_t foreColor,
                std::int32_t alignment, std::int32_t highlight) {
    std::string tags;
    if (bold) tags += "\\b";
    if (italic) tags += "\\i";
    if (underline) tags += "\\ul";
    tags += ForeColorTag(foreColor);
    tags += HighlightTag(highlight);
    if (alignment == AlignLeft) tags += "\\ql";
    if (alignment == AlignRight) tags += "\\qr";
    if (alignment == AlignCentre) tags += "\\qc";
    std::string body = EscapeText(text);
    if (newParagraph) body += "\\par";
    document += "{" + tags + " " + body + "}";
    RTFFontTag(box, document, FontSize);
}

void RTFFontTag(RichTextBox* box, const std::string& document, std::int16_t size) {
    FontSize = size;
    if (!box) return;
    box->SetRTF("{\\plain\\fs" + INIIO::TrimStr(static_cast<std::int32_t>(size)) + document + "}");
    box->SetCaret(box->RTF().size());
    box->Repaint();
}

} // namespace RTFGen
