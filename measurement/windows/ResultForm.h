#pragma once
// The result window "Measurement Results": every intermediate value of the
// current sweep point as a caption line and a bold value line, the value
// coloured by its row's plausibility rule; a value that breaks its hard limit
// asks the operator whether to go on. It is the engine's ResultSink. Created
// on first use, it lives to the end of the process (tag "KEEP").

#include "ResultSink.h"

#include <QWidget>
#include <string>

class QLabel;
class RTFTextBox;

class ResultForm : public QWidget, public ResultSink {
    Q_OBJECT

public:
    // Sizes in pixels: the results box below the label at the default font,
    // and the margin between box and window edges.
    static constexpr int kBoxWidth = 280;
    static constexpr int kBoxHeight = 125;
    static constexpr int kEdge = 8;
    static constexpr const char* kFontName = "Lucida Console";
    static constexpr int kFontHalfPoints = 20;

    static ResultForm& Instance();
    static bool Exists();
    ~ResultForm() override;

    // Restarts the list (an empty document with its colour table), shows the
    // window and places it at the right edge of the main window's client
    // area, below the progress window, at the size at which nothing is cut:
    // the same place and size at every sweep point, never off the left or
    // top edge.
    void Form_Load();

    void Restart() override { Form_Load(); }
    void DisplayResult(const std::string& caption, double value, const std::string& format,
                       const std::string& unit) override;
    bool ShowValue(int row, float value, float shown,
                   std::optional<float> extra = std::nullopt) override;

    // The box's width: kBoxWidth, or what the longest caption line
    // needs in the box's font when that is more.
    int BoxWidth() const;
    QSize sizeHint() const override;

    // The rich-text document of the lines since the last restart.
    const std::string& ResultRTF() const { return resultRTF_; }

    QLabel* Label1 = nullptr;
    RTFTextBox* ResField = nullptr;

private:
    ResultForm();
    void AddLine(const std::string& text, bool bold, std::int32_t color, std::int32_t alignment);
    void Place();

    std::string resultRTF_;
};
