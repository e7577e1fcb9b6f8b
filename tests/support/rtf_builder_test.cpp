#include "RTFGen.h"

#include <gtest/gtest.h>

namespace {

// Records what the builder hands to a view.
struct RecordingBox : RichTextBox {
    std::string font, rtf;
    std::vector<std::string> shown;
    std::size_t caret = 0;
    int repaints = 0;
    void SetFontName(const std::string& name) override { font = name; }
    void SetPlainText(const std::string&) override { rtf.clear(); }
    std::string RTF() const override { return rtf; }
    void SetRTF(const std::string& text) override {
        rtf = text;
        shown.push_back(text);
    }
    void SetCaret(std::size_t position) override { caret = position; }
    void Repaint() override { ++repaints; }
};

const std::string kTable =
    "{\\colortbl ;\\red0\\green0\\blue0;\\red255\\green0\\blue0;\\red0\\green255\\blue0;"
    "\\red0\\green0\\blue255;\\red127\\green127\\blue127;\\red0\\green127\\blue0;"
    "\\red255\\green128\\blue0;}";

} // namespace

TEST(RTFGen, BeginStartsFromTheColourTable) {
    RecordingBox box;
    std::string doc = "old content";
    RTFGen::RTFBegin(&box, doc, "Lucida Console", 20);
    EXPECT_EQ(doc, kTable);
    EXPECT_EQ(box.font, "Lucida Console");
    EXPECT_EQ(box.shown.back(), kTable);
    EXPECT_EQ(RTFGen::FontSize, 20);
    RTFGen::RTFBegin(nullptr, doc, "x", 20.5); // halves to even
    EXPECT_EQ(RTFGen::FontSize, 20);
}

TEST(RTFGen, AddTextTagsAndShowsWholeDocument) {
    RecordingBox box;
    std::string doc;
    RTFGen::RTFBegin(&box, doc, "Lucida Console", 20);
    RTFGen::RTFAddText(&box, doc, "   ERROR (RF Analyzer)", true, true, false, false, RTFGen::kRed,
                       RTFGen::AlignLeft, RTFGen::kNoHighlight);
    EXPECT_EQ(doc, kTable + "{\\b\\cf2\\ql    ERROR (RF Analyzer)\\par}");
    EXPECT_EQ(box.rtf, "{\\plain\\fs20" + doc + "}");
    EXPECT_EQ(box.caret, box.rtf.size());
    EXPECT_EQ(box.repaints, 1);

    doc.clear();
    RTFGen::RTFAddText(nullptr, doc, "t", false, true, true, true, RTFGen::kOrange,
                       RTFGen::AlignRight, RTFGen::kLightGrey);
    RTFGen::RTFAddText(nullptr, doc, "u", false, false, false, false, RTFGen::kBlack, 2,
                       RTFGen::kBlack);
    RTFGen::RTFAddText(nullptr, doc, "v", false, false, false, false, 0x123456, 3, -1);
    EXPECT_EQ(doc, "{\\b\\i\\ul\\cf7\\highlight5\\qr t}{\\cf1\\highlight1\\qc u}{\\cf1 v}");
}

TEST(RTFGen, ColourMaps) {
    const std::pair<std::int32_t, int> table[] = {
        {0, 1}, {255, 2}, {65280, 3}, {16711680, 4}, {12632256, 5}, {49152, 6}, {33023, 7}};
    for (auto [colour, index] : table) {
        EXPECT_EQ(RTFGen::ForeColorTag(colour), "\\cf" + std::to_string(index));
        EXPECT_EQ(RTFGen::HighlightTag(colour), "\\highlight" + std::to_string(index));
    }
    EXPECT_EQ(RTFGen::ForeColorTag(0x808080), "\\cf1");
    EXPECT_EQ(RTFGen::ForeColorTag(-1), "\\cf1");
    EXPECT_EQ(RTFGen::HighlightTag(0x808080), "");
    EXPECT_EQ(RTFGen::HighlightTag(-1), "");
}

TEST(RTFGen, EscapesKeepTheDocumentWellFormed) {
    EXPECT_EQ(RTFGen::EscapeText("C:\\wave"), "C:\\\\wave");
    EXPECT_EQ(RTFGen::EscapeText("MMEM:DATA \"x\",{1}"), "MMEM:DATA \"x\",\\{1\\}");
    EXPECT_EQ(RTFGen::EscapeText("\xE9t\xFF"), "\\'e9t\\'ff");
    EXPECT_EQ(RTFGen::EscapeText("\\par"), "\\\\par");
    std::string doc;
    RTFGen::RTFAddText(nullptr, doc, "}{", false, false, false, false, 0, 3, -1);
    EXPECT_EQ(doc, "{\\cf1 \\}\\{}");
}

TEST(RTFGen, FontTagLeavesDocumentAlone) {
    RecordingBox box;
    const std::string doc = kTable;
    RTFGen::RTFFontTag(&box, doc, 32);
    EXPECT_EQ(RTFGen::FontSize, 32);
    EXPECT_EQ(box.rtf, "{\\plain\\fs32" + kTable + "}");
    EXPECT_EQ(doc, kTable);
}
