// The about box.

#include "AboutForm.h"

#include "KTStandard.h"
#include "RTFView.h"
#include "RegAccess.h"
#include "Services.h"
#include "SetHandle.h"
#include "StringOp.h"
#include "VersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <filesystem>
#include <unistd.h>

namespace {

constexpr const char* kProduct = "Quillon";
constexpr const char* kHomePage = "https://quillon.example.org/";
constexpr const char* kProductPage = "https://quillon.example.org/quillon/";
constexpr const char* kSupportMail = "support@quillon.example.org";
constexpr const char* kDescription =
    "Characterises the non-linearity of RF power amplifiers and builds predistorted "
    "test signals that compensate it.";
constexpr const char* kLegalNotes =
    "Quillon is provided as is, without warranty of any kind. Instrument names are "
    "trademarks of their owners.";

std::string Text(const INIIO::Tagged& value) {
    return std::holds_alternative<std::string>(value) ? std::get<std::string>(value)
                                                      : INIIO::TrimStr(value);
}

std::string VersionNumbers() {
    return std::to_string(QUILLON_VERSION_MAJOR) + "." + std::to_string(QUILLON_VERSION_MINOR) +
           "." + std::to_string(QUILLON_VERSION_PATCH);
}

// A registry value of the current user, or what the system's own locale says
// where the registry holds none (it never does on a plain Linux machine).
std::string International(const char* name, const QString& fallback) {
    const std::string v = Text(
        RegAccess::ReadRegValue(Registry::HKEY_CURRENT_USER, "Control Panel\\International", name));
    return v.empty() ? fallback.toStdString() : v;
}

// The library's version is the suffix of the file the loader uses.
std::string LibraryVersion(const std::filesystem::path& link) {
    std::error_code ec;
    const auto target = std::filesystem::canonical(link, ec);
    if (ec) return "not found";
    const std::string name = target.filename().string();
    const auto so = name.find(".so.");
    return so == std::string::npos ? name : name.substr(so + 4);
}

QPushButton* Toggle(const char* caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setProperty("tag", "show");
    return b;
}

} // namespace

AboutForm::AboutForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString("Information about ") + kProduct);
    appName_ = new QLabel(kProduct, this);
    appName_->setStyleSheet("font-weight: bold; font-size: 14pt");
    appDesc_ = new QLabel(kDescription, this);
    appDesc_->setWordWrap(true);
    appVersion_ = new QLabel(QString::fromStdString(KTStandard::GetAboutFormVersion()), this);
    appCopy_ = new QLabel("Copyright: Quillon developers", this);

    auto* links = new QGridLayout;
    auto link = [&](int row, const char* label, const char* caption, void (AboutForm::*click)()) {
        links->addWidget(new QLabel(label, this), row, 0);
        auto* l = new QLabel(QString("<a href=\"#\">%1</a>").arg(caption), this);
        connect(l, &QLabel::linkActivated, this, [this, click] { (this->*click)(); });
        links->addWidget(l, row, 1);
    };
    link(0, "Company homepage:", kHomePage, &AboutForm::HomeLink_Click);
    link(1, "Product  homepage:", "click here to open product homepage",
         &AboutForm::ProductLink_Click);
    link(2, "Support mail:", kSupportMail, &AboutForm::SupportMail_Click);
    links->setColumnStretch(2, 1);

    showSystem_ = ::Toggle("system information", this);
    showDriver_ = ::Toggle("driver information", this);
    showLegal_ = ::Toggle("legal information", this);
    auto* copy = new QPushButton("copy support information to clipboard", this);
    auto* spy = new QPushButton("start NI SPY", this);
    auto* close = new QPushButton("Close", this);
    connect(showSystem_, &QPushButton::clicked, this, &AboutForm::ShowSystemInfo_Click);
    connect(showDriver_, &QPushButton::clicked, this, &AboutForm::ShowDriverInfo_Click);
    connect(showLegal_, &QPushButton::clicked, this, &AboutForm::ShowLegalNotes_Click);
    connect(copy, &QPushButton::clicked, this, &AboutForm::CreateSupportString_Click);
    connect(spy, &QPushButton::clicked, this, &AboutForm::StartNISpy_Click);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    sysInfo_ = new RTFTextBox(this);
    driverInfo_ = new RTFTextBox(this);
    legal_ = new RTFTextBox(this);
    for (auto* panel : {sysInfo_, driverInfo_, legal_})
        panel->setMinimumHeight(220);

    auto* buttons = new QHBoxLayout;
    for (auto* b : {showSystem_, showDriver_, showLegal_, copy, spy})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    for (auto* w : {appName_, appDesc_, appVersion_, appCopy_})
        layout->addWidget(w);
    layout->addLayout(links);
    layout->addLayout(buttons);
    for (auto* panel : {sysInfo_, driverInfo_, legal_})
        layout->addWidget(panel, 1);
    resize(760, 520);

    std::string legalDoc;
    RTFGen::RTFBegin(legal_, legalDoc, "Arial", 18);
    RTFGen::RTFAddText(legal_, legalDoc, kLegalNotes, true, false, false, false, 0,
                       RTFGen::AlignLeft, RTFGen::kNoHighlight);
    FillSystemInfo();
    FillDriverInfo();
    HideInfoPanels();
}

void AboutForm::AddInfoLine(RTFTextBox* panel, std::string& document, const std::string& label,
                            const std::string& value, bool bold) {
    if (bold) {
        RTFGen::RTFAddText(panel, document, StringOp::PadString(label, 20, 1, ""), false, true,
                           false, false, 0, RTFGen::AlignNone, RTFGen::kNoHighlight);
    } else {
        RTFGen::RTFAddText(panel, document, StringOp::PadString(label + "  ", 20, 1, ""), false,
                           false, false, false, 0, RTFGen::AlignNone, RTFGen::kNoHighlight);
    }
    RTFGen::RTFAddText(panel, document, value, true, false, false, false, 0, RTFGen::AlignNone,
                       RTFGen::kNoHighlight);
    support_ += StringOp::PadString(label, 22, 1, "") + value + "\r\n";
}

void AboutForm::FillSystemInfo() {
    RTFGen::RTFBegin(sysInfo_, sysDoc_, "Lucida Console", 16);
    const auto self =
        VersionInfo::GetFileVersionText(QCoreApplication::applicationFilePath().toStdString());
    auto add = [&](const std::string& l, const std::string& v, bool b = false) {
        AddInfoLine(sysInfo_, sysDoc_, l, v, b);
    };
    add("Product:", kProduct);
    add("Version:", VersionNumbers());
    add("Date:", self.DateLastModified.isValid()
                     ? self.DateLastModified.toString("dd.MM.yyyy hh:mm:ss").toStdString()
                     : std::string());
    add("Operating system", "", true);
    add("Operating system:", VersionInfo::GetOSVersionText());
    const auto installed =
        RegAccess::ReadRegValue(Registry::HKEY_LOCAL_MACHINE,
                                "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "InstallDate");
    add("Installed", std::holds_alternative<std::int32_t>(installed)
                         ? QDateTime::fromSecsSinceEpoch(std::get<std::int32_t>(installed))
                               .toString("dd.MM.yyyy hh:mm:ss")
                               .toStdString()
                         : std::string("unknown"));
    add("Admin rights", geteuid() == 0 ? "YES" : "NO");
    add("Language settings", "", true);
    const QLocale locale = QLocale::system();
    add("Country", International("sCountry", QLocale::territoryToString(locale.territory())));
    add("Language", International("sLanguage", QLocale::languageToString(locale.language())));
    add("Local ID", International("Locale", locale.name()));
    add("General informations", "", true);
    // No GPIB interface exists here; the VISA layer is Quillon's own.
    add("IEEE driver", "IEEE BUS IS NOT INSTALLED");
    add("VISA versions", "", true);
    add("VISA", "Quillon VISA layer " + VersionNumbers() + " (socket, VXI-11, USBTMC)");
}

void AboutForm::FillDriverInfo() {
    RTFGen::RTFBegin(driverInfo_, driverDoc_, "Lucida Console", 16);
    auto add = [&](const std::string& l, const std::string& v, bool b = false) {
        AddInfoLine(driverInfo_, driverDoc_, l, v, b);
    };
    const std::filesystem::path lib = VersionInfo::GetSystemDir();
    add("VXI-11 (liblxi)", "", true);
    add("(PATH)", lib.string());
    add("liblxi.so.1", LibraryVersion(lib / "liblxi.so.1"));
    add("USBTMC devices", "", true);
    add("(PATH)", "/dev");
    bool any = false;
    for (const auto& node : QDir("/dev").entryList({"usbtmc*"}, QDir::System | QDir::Files)) {
        add(node.toStdString(), "present");
        any = true;
    }
    if (!any) add("usbtmc*", "none connected");
    add("Raw socket", "", true);
    add("(PATH)", "built in");
}

void AboutForm::HideInfoPanels() {
    for (auto* panel : {legal_, sysInfo_, driverInfo_})
        panel->setVisible(false);
    for (auto* b : {showLegal_, showSystem_, showDriver_})
        b->setProperty("tag", "show");
}

void AboutForm::Toggle(QPushButton* button, RTFTextBox* panel) {
    const bool show = button->property("tag").toString().left(4) == "show";
    HideInfoPanels();
    if (!show) return;
    panel->setVisible(true);
    button->setProperty("tag", "hide");
}

void AboutForm::ShowSystemInfo_Click() {
    Toggle(showSystem_, sysInfo_);
}
void AboutForm::ShowDriverInfo_Click() {
    Toggle(showDriver_, driverInfo_);
}
void AboutForm::ShowLegalNotes_Click() {
    Toggle(showLegal_, legal_);
}

void AboutForm::CreateSupportString_Click() {
    Services::Clipboard().SetText(support_);
    Services::Messages().Message(
        "Info",
        "Support information copied to clipboard.\r\n"
        "Use <CTRL-V> to paste the informations in your mail program or a text editor.",
        Services::MsgIcon::Information, Services::MsgButtons::OK);
}

void AboutForm::StartNISpy_Click() {
    const std::string dir = Text(RegAccess::ReadRegValue(
        Registry::HKEY_LOCAL_MACHINE, "SOFTWARE\\National Instruments\\NI Spy", "InstDir"));
    const std::filesystem::path exe = std::filesystem::path(dir) / "NISpy.exe";
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_regular_file(exe, ec)) {
        Services::Messages().Message("NI Spy not found.", "NI Spy is not installed.",
                                     Services::MsgIcon::Information, Services::MsgButtons::OK);
        return;
    }
    const std::string log =
        (std::filesystem::path(SetHandle::ProgramFolder()) /
         ("NISpy_" + Services::Clock().Now().toString("yyyy.MM.dd hh.mm.ss").toStdString() +
          ".spy"))
            .string();
    const auto answer = Services::Messages().Message(
        "NI Spy",
        "The National Instruments SPY will start in order to generate an error log.\r\n"
        "The log will be automatically stored to\r\n      " +
            log + "\r\n\r\nContinue?",
        Services::MsgIcon::Question, Services::MsgButtons::YesNo);
    if (answer != Services::MsgAnswer::Yes) return;
    const std::string options = "SOFTWARE\\National Instruments\\NI Spy\\Options";
    RegAccess::WriteRegValue(Registry::HKEY_CURRENT_USER, options, "Log Enabled", std::int32_t{1});
    RegAccess::WriteRegValue(Registry::HKEY_CURRENT_USER, options, "Log File Name", log);
    RegAccess::WriteRegValue(Registry::HKEY_CURRENT_USER, options, "History Depth",
                             std::int32_t{99999});
    if (!QProcess::startDetached(QString::fromStdString(exe.string()), {}))
        Services::Messages().Message("NI Spy", "NI Spy could not be started on this system.",
                                     Services::MsgIcon::Warning, Services::MsgButtons::OK);
}

void AboutForm::HomeLink_Click() {
    VersionInfo::ShellOpen(kHomePage);
}
void AboutForm::ProductLink_Click() {
    VersionInfo::ShellOpen(kProductPage);
}
void AboutForm::SupportMail_Click() {
    VersionInfo::ShellOpen(std::string("mailto:") + kSupportMail + "?subject=Question to " +
                           kProduct + ", version " + VersionNumbers());
}
