#pragma once
// The about box: name, version, links, the system, driver and legal panels,
// the support text for the clipboard and the start of the VISA call monitor.
// Started with a "CVI" command line it describes another application, and its
// Close ends the program.

#include <QDialog>
#include <QStringList>
#include <optional>
#include <string>

class QLabel;
class QPushButton;
class RTFTextBox;

class AboutForm : public QDialog {
    Q_OBJECT

public:
    // The application the box describes.
    struct Subject {
        std::string Name, Version, Date, Description, Copyright, LegalNotes;
        // Another application's box: Close ends the program.
        bool Foreign = false;
    };
    static Subject Quillon();
    // The command line (the arguments after the program's name) of another
    // application's box: "CVI" followed by comma-separated fields, each
    // optionally in double quotes: name, version, date, description,
    // copyright, legal notes. nullopt when the line does not begin with
    // "CVI"; `problem` says why a line that does is unusable (fewer than six
    // fields, an unclosed quote, no name).
    static std::optional<Subject> ForeignSubject(const QStringList& arguments,
                                                 std::string& problem);

    explicit AboutForm(QWidget* parent = nullptr);
    explicit AboutForm(Subject subject, QWidget* parent = nullptr);

    // One line of a panel and of the support text.
    void AddInfoLine(RTFTextBox* panel, std::string& document, const std::string& label,
                     const std::string& value, bool bold);
    void HideInfoPanels();
    void ShowSystemInfo_Click();
    void ShowDriverInfo_Click();
    void ShowLegalNotes_Click();
    void CreateSupportString_Click();
    void StartNISpy_Click();
    void Close_Click();
    void HomeLink_Click();
    void ProductLink_Click();
    void SupportMail_Click();

    const std::string& SupportText() const { return support_; }
    RTFTextBox* SysInfoValue() const { return SysInfoValue_; }
    RTFTextBox* DriverInfoValue() const { return DriverInfoValue_; }
    RTFTextBox* LizText() const { return LizText_; }
    QPushButton* ShowSystemInfo() const { return ShowSystemInfo_; }
    QPushButton* ShowDriverInfo() const { return ShowDriverInfo_; }
    QPushButton* ShowLegalNotes() const { return ShowLegalNotes_; }
    QPushButton* Close() const { return Close_; }
    QLabel* AppName() const { return AppName_; }

private:
    void BuildControls();
    void Form_Load();
    void Toggle(QPushButton* button, RTFTextBox* panel);
    void FillSystemInfo();
    void FillDriverInfo();

    Subject subject_;
    QLabel *AppName_, *AppVersion_, *AppDesc_, *AppCopy_;
    QLabel *HomeLink_, *ProductLink_, *SupportMail_;
    QPushButton *ShowSystemInfo_, *ShowDriverInfo_, *ShowLegalNotes_;
    QPushButton *CreateSupportString_, *StartNISpy_, *Close_;
    RTFTextBox *SysInfoValue_, *DriverInfoValue_, *LizText_;
    std::string support_, sysDoc_, driverDoc_, legalDoc_;
};
