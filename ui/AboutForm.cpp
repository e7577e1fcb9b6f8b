// The about box.

#include "AboutForm.h"

#include "KTStandard.h"
#include "RTFView.h"
#include "RegAccess.h"
#include "Services.h"
#include "SetHandle.h"
#include "StringOp.h"
#include "VersionInfo.h"

#include <Eigen/Core>
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
#include <fftw3.h>
#include <filesystem>
#include <gnu/libc-version.h>
#include <qcustomplot.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kProduct = "Quillon";
constexpr const char* kHomePage = "https://quillon.example.org/";
constexpr const char* kProductPage = "https://quillon.example.org/quillon/";
constexpr const char* kSupportMail = "support@quillon.example.org";
constexpr const char* kDescription =
    "Characterises the non-linearity of RF power amplifiers and builds predistorted "
    "test signals that compensate it.";
constexpr const char* kLxi = "liblxi.so.1";
constexpr const char* kLegalNotes =
    "Quillon is provided as is, without warranty of any kind. Instrument names are "
    "trademarks of their owners.";

std::string Text(const INIIO::Tagged& value) {
    return std::holds_alternative<std::string>(value) ? std::get<std::string>(value)
                                                      : INIIO::TrimStr(value);
}

// The desktop's launcher may find no browser long after it started; a box
// then says so.
void OpenHomepage(const std::string& url) {
    const auto noBrowser = [url] {
        Services::Messages().Message("Homepage", "No browser could open the homepage " + url + ".",
                                     Services::MsgIcon::Warning, Services::MsgButtons::OK);
    };
    if (!Services::UrlOpener().Open(url, [noBrowser](bool opened) {
            if (!opened) noBrowser();
        }))
        noBrowser();
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

// Release and machine of the running kernel, for example "6.1.0-18-amd64 x86_64".
std::string KernelText() {
    utsname u{};
    if (::uname(&u) != 0) return "unknown";
    return std::string(u.release) + " " + u.machine;
}

// The fields after "CVI": separated by commas, each trimmed of blanks and, when
// it is quoted, taken whole between its double quotes (commas included).
// False for an unclosed quote.
bool SplitFields(const std::string& text, std::vector<std::string>& fields) {
    std::size_t k = text.find_first_not_of(' ');
    // "CVI,..." and "CVI ..." both lead to the first field.
    if (k != std::string::npos && text[k] == ',') ++k;
    while (k != std::string::npos && k <= text.size()) {
        while (k < text.size() && text[k] == ' ')
            ++k;
        std::string field;
        if (k < text.size() && text[k] == '"') {
            const std::size_t close = text.find('"', k + 1);
            if (close == std::string::npos) return false;
            field = text.substr(k + 1, close - k - 1);
            k = close + 1;
        }
        const std::size_t comma = text.find(',', k);
        const std::string rest =
            text.substr(k, comma == std::string::npos ? std::string::npos : comma - k);
        if (field.empty()) field = StringOp::TrimWhite(rest);
        fields.push_back(field);
        k = comma == std::string::npos ? comma : comma + 1;
    }
    return true;
}

QPushButton* Toggle(const char* caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setProperty("tag", "show");
    return b;
}

} // namespace

AboutForm::Subject AboutForm::Quillon() {
    Subject s;
    s.Name = kProduct;
    s.Version = VersionNumbers();
    const auto self =
        VersionInfo::GetFileVersionText(QCoreApplication::applicationFilePath().toStdString());
    if (self.DateLastModified.isValid())
        s.Date = self.DateLastModified.toString("dd.MM.yyyy hh:mm:ss").toStdString();
    s.Description = kDescription;
    s.Copyright = "Quillon developers";
    s.LegalNotes = kLegalNotes;
    return s;
}

std::optional<AboutForm::Subject> AboutForm::ForeignSubject(const QStringList& arguments,
                                                            std::string& problem) {
    problem.clear();
    const std::string line = arguments.join(' ').toStdString();
    if (line.rfind("CVI", 0) != 0) return std::nullopt;
    std::vector<std::string> fields;
    if (!SplitFields(line.substr(3), fields)) {
        problem = "a double quote of the command line is not closed";
        return Subject{};
    }
    if (fields.size() < 6 || fields[0].empty()) {
        problem = "the command line needs six fields after CVI (name, version, date, "
                  "description, copyright, legal notes), the name not empty";
        return Subject{};
    }
    Subject s{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], true};
    return s;
}

AboutForm::AboutForm(QWidget* parent) : AboutForm(Quillon(), parent) {}

AboutForm::AboutForm(Subject subject, QWidget* parent)
    : QDialog(parent), subject_(std::move(subject)) {
    BuildControls();
    Form_Load();
}

void AboutForm::BuildControls() {
    AppName_ = new QLabel(this);
    AppName_->setStyleSheet("font-weight: bold; font-size: 14pt");
    AppDesc_ = new QLabel(this);
    AppDesc_->setWordWrap(true);
    AppVersion_ = new QLabel(this);
    AppCopy_ = new QLabel(this);

    auto* links = new QGridLayout;
    auto link = [&](int row, const char* label, const char* caption, void (AboutForm::*click)()) {
        links->addWidget(new QLabel(label, this), row, 0);
        auto* l = new QLabel(QString("<a href=\"#\">%1</a>").arg(caption), this);
        connect(l, &QLabel::linkActivated, this, [this, click] { (this->*click)(); });
        links->addWidget(l, row, 1);
        return l;
    };
    HomeLink_ = link(0, "Company homepage:", kHomePage, &AboutForm::HomeLink_Click);
    ProductLink_ = link(1, "Product  homepage:", "click here to open product homepage",
                        &AboutForm::ProductLink_Click);
    SupportMail_ = link(2, "Support mail:", kSupportMail, &AboutForm::SupportMail_Click);
    links->setColumnStretch(2, 1);

    ShowSystemInfo_ = ::Toggle("system information", this);
    ShowDriverInfo_ = ::Toggle("driver information", this);
    ShowLegalNotes_ = ::Toggle("legal information", this);
    CreateSupportString_ = new QPushButton("copy support information to clipboard", this);
    StartNISpy_ = new QPushButton("start NI SPY", this);
    Close_ = new QPushButton("Close", this);
    connect(ShowSystemInfo_, &QPushButton::clicked, this, &AboutForm::ShowSystemInfo_Click);
    connect(ShowDriverInfo_, &QPushButton::clicked, this, &AboutForm::ShowDriverInfo_Click);
    connect(ShowLegalNotes_, &QPushButton::clicked, this, &AboutForm::ShowLegalNotes_Click);
    connect(CreateSupportString_, &QPushButton::clicked, this,
            &AboutForm::CreateSupportString_Click);
    connect(StartNISpy_, &QPushButton::clicked, this, &AboutForm::StartNISpy_Click);
    connect(Close_, &QPushButton::clicked, this, &AboutForm::Close_Click);

    SysInfoValue_ = new RTFTextBox(this);
    DriverInfoValue_ = new RTFTextBox(this);
    LizText_ = new RTFTextBox(this);
    for (auto* panel : {SysInfoValue_, DriverInfoValue_, LizText_})
        panel->setMinimumHeight(220);

    auto* buttons = new QHBoxLayout;
    for (auto* b :
         {ShowSystemInfo_, ShowDriverInfo_, ShowLegalNotes_, CreateSupportString_, StartNISpy_})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(Close_);
    auto* layout = new QVBoxLayout(this);
    for (auto* w : {AppName_, AppDesc_, AppVersion_, AppCopy_})
        layout->addWidget(w);
    layout->addLayout(links);
    layout->addLayout(buttons);
    for (auto* panel : {SysInfoValue_, DriverInfoValue_, LizText_})
        layout->addWidget(panel, 1);
    // With no panel open the spare height goes below the buttons, not
    // between the lines of text.
    layout->addStretch(0);
    resize(760, 520);

    // Tests and a newcomer find the controls by the names the code uses.
    const std::pair<QWidget*, const char*> names[] = {{AppName_, "AppName"},
                                                      {AppVersion_, "AppVersion"},
                                                      {AppDesc_, "AppDesc"},
                                                      {AppCopy_, "AppCopy"},
                                                      {HomeLink_, "HomeLink"},
                                                      {ProductLink_, "ProductLink"},
                                                      {SupportMail_, "SupportMail"},
                                                      {ShowSystemInfo_, "ShowSystemInfo"},
                                                      {ShowDriverInfo_, "ShowDriverInfo"},
                                                      {ShowLegalNotes_, "ShowLegalNotes"},
                                                      {CreateSupportString_, "CreateSupportString"},
                                                      {StartNISpy_, "StartNISpy"},
                                                      {Close_, "Close"},
                                                      {SysInfoValue_, "SysInfoValue"},
                                                      {DriverInfoValue_, "DriverInfoValue"},
                                                      {LizText_, "LizText"}};
    for (const auto& [widget, name] : names)
        widget->setObjectName(name);
}

void AboutForm::Form_Load() {
    const QString name = QString::fromStdString(subject_.Name);
    setWindowTitle("Information about " + name);
    AppName_->setText(name);
    AppDesc_->setText(QString::fromStdString(subject_.Description));
    AppVersion_->setText(QString::fromStdString(
        subject_.Foreign ? "Version " + subject_.Version +
                               (subject_.Date.empty() ? "" : " from " + subject_.Date)
                         : KTStandard::GetAboutFormVersion()));
    AppCopy_->setText(QString::fromStdString("Copyright: " + subject_.Copyright));

    RTFGen::RTFBegin(LizText_, legalDoc_, "Arial", 18);
    RTFGen::RTFAddText(LizText_, legalDoc_, subject_.LegalNotes, true, false, false, false, 0,
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
    RTFGen::RTFBegin(SysInfoValue_, sysDoc_, "Lucida Console", 16);
    auto add = [&](const std::string& l, const std::string& v, bool b = false) {
        AddInfoLine(SysInfoValue_, sysDoc_, l, v, b);
    };
    add("Product:", subject_.Name);
    add("Version:", subject_.Version);
    add("Date:", subject_.Date);
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
    // What stands here on Windows (the CVI runtime, the installer service,
    // the browser, the ActiveX controls) has its counterparts below: the
    // kernel and C library, and the libraries Quillon draws and computes with.
    add("General informations", "", true);
    // No GPIB interface exists here; the VISA layer is Quillon's own.
    add("IEEE driver", "IEEE BUS IS NOT INSTALLED");
    add("Kernel", KernelText());
    add("C runtime", std::string("GNU C Library ") + gnu_get_libc_version());
    add("Library versions", "", true);
    add("Qt", qVersion());
    add("QCustomPlot", QCUSTOMPLOT_VERSION_STR);
    add("FFTW", fftw_version);
    add("Eigen", std::to_string(EIGEN_WORLD_VERSION) + "." + std::to_string(EIGEN_MAJOR_VERSION) +
                     "." + std::to_string(EIGEN_MINOR_VERSION));
    add("VISA versions", "", true);
    add("VISA", "Quillon VISA layer " + VersionNumbers() + " (socket, VXI-11, USBTMC)");
    const std::filesystem::path lxi = std::filesystem::path(VersionInfo::GetSystemDir()) / kLxi;
    add("VXI-11 (liblxi)",
        std::string(QUILLON_LXI_VERSION) + " (" + kLxi + " " + LibraryVersion(lxi) + ")");
}

void AboutForm::FillDriverInfo() {
    RTFGen::RTFBegin(DriverInfoValue_, driverDoc_, "Lucida Console", 16);
    auto add = [&](const std::string& l, const std::string& v, bool b = false) {
        AddInfoLine(DriverInfoValue_, driverDoc_, l, v, b);
    };
    const std::filesystem::path lib = VersionInfo::GetSystemDir();
    add("VXI-11 (liblxi)", "", true);
    add("(PATH)", lib.string());
    add(kLxi, LibraryVersion(lib / kLxi));
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
    for (auto* panel : {LizText_, SysInfoValue_, DriverInfoValue_})
        panel->setVisible(false);
    for (auto* b : {ShowLegalNotes_, ShowSystemInfo_, ShowDriverInfo_})
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
    Toggle(ShowSystemInfo_, SysInfoValue_);
}
void AboutForm::ShowDriverInfo_Click() {
    Toggle(ShowDriverInfo_, DriverInfoValue_);
}
void AboutForm::ShowLegalNotes_Click() {
    Toggle(ShowLegalNotes_, LizText_);
}

// Another application's box has nothing behind it: its Close ends the program.
void AboutForm::Close_Click() {
    if (subject_.Foreign)
        QCoreApplication::exit(0);
    else
        close();
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
    OpenHomepage(kHomePage);
}
void AboutForm::ProductLink_Click() {
    OpenHomepage(kProductPage);
}
void AboutForm::SupportMail_Click() {
    VersionInfo::ShellOpen(std::string("mailto:") + kSupportMail + "?subject=Question to " +
                           subject_.Name + ", version " + subject_.Version);
}
