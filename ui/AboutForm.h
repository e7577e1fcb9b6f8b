#pragma once
// The about box: name, version, links, the system, driver and legal panels,
// the support text for the clipboard and the start of the VISA call monitor.

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;
class RTFTextBox;

class AboutForm : public QDialog {
    Q_OBJECT

public:
    explicit AboutForm(QWidget* parent = nullptr);

    // One line of a panel and of the support text.
    void AddInfoLine(RTFTextBox* panel, std::string& document, const std::string& label,
                     const std::string& value, bool bold);
    void HideInfoPanels();
    void ShowSystemInfo_Click();
    void ShowDriverInfo_Click();
    void ShowLegalNotes_Click();
    void CreateSupportString_Click();
    void StartNISpy_Click();
    void HomeLink_Click();
    void ProductLink_Click();
    void SupportMail_Click();

    const std::string& SupportText() const { return support_; }
    RTFTextBox* SystemPanel() const { return sysInfo_; }
    RTFTextBox* DriverPanel() const { return driverInfo_; }
    RTFTextBox* LegalPanel() const { return legal_; }
    QPushButton* SystemButton() const { return showSystem_; }
    QPushButton* DriverButton() const { return showDriver_; }
    QPushButton* LegalButton() const { return showLegal_; }

private:
    void Toggle(QPushButton* button, RTFTextBox* panel);
    void FillSystemInfo();
    void FillDriverInfo();

    QLabel *appName_, *appVersion_, *appDesc_, *appCopy_;
    QPushButton *showSystem_, *showDriver_, *showLegal_;
    RTFTextBox *sysInfo_, *driverInfo_, *legal_;
    std::string support_, sysDoc_, driverDoc_;
};
