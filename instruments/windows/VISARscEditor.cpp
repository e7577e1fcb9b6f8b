#include "VISARscEditor.h"

#include "INIIO.h"
#include "RegAccess.h"
#include "Services.h"
#include "VISADeviceCache.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace {

VISARscEditor* g_editor = nullptr;

constexpr auto kRoot = Registry::HKEY_LOCAL_MACHINE;
constexpr int kMax = VISADeviceCache::MaxEntries;

std::string Text(const QListWidgetItem* item) {
    return item ? item->text().toLatin1().toStdString() : std::string();
}

std::string Blanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int Filled(const QListWidget* list) {
    int n = 0;
    for (int k = 0; k < list->count(); ++k)
        if (!Blanks(Text(list->item(k))).empty()) ++n;
    return n;
}

QListWidgetItem* Selected(const QListWidget* list) {
    QListWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? item : nullptr;
}

} // namespace

const char* const VISARscEditor::TemplateNames[6] = {
    "GPIB bus",      "GPIB instrument", "TCP/IP instrument (VXI11)", "TCP/IP instrument (KTIB)",
    "TCP/IP socket", "free entry",
};

VISARscEditor& VISARscEditor::Instance() {
    if (!g_editor) g_editor = new VISARscEditor;
    return *g_editor;
}

VISARscEditor::~VISARscEditor() {
    if (g_editor == this) g_editor = nullptr;
}

VISARscEditor::VISARscEditor(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle("VISA Resource Editor");

    auto frame = [this](const char* caption, QListWidget*& list, QPushButton*& add,
                        QPushButton*& del, QPushButton*& rename) {
        auto* box = new QGroupBox(caption, this);
        list = new QListWidget(box);
        add = new QPushButton("Add", box);
        del = new QPushButton("Remove", box);
        rename = new QPushButton("Rename", box);
        auto* buttons = new QVBoxLayout;
        buttons->addWidget(add);
        buttons->addWidget(del);
        buttons->addWidget(rename);
        buttons->addStretch();
        auto* row = new QHBoxLayout(box);
        row->addWidget(list, 1);
        row->addLayout(buttons);
        return box;
    };
    DevFrame = frame("VISA resources to scan", DevList, AddDevice, DelDevice, RenameDevice);
    ServerFrame = frame("VISA servers to use", ServerList, AddServer, DelServer, RenameServer);
    OK = new QPushButton("OK", this);

    auto* okRow = new QHBoxLayout;
    okRow->addStretch();
    okRow->addWidget(OK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DevFrame, 3);
    layout->addWidget(ServerFrame, 2);
    layout->addLayout(okRow);

    // Outside the layout: it pops up over the window where it is asked for.
    DefaultResource = new QListWidget(this);
    DefaultResource->hide();

    AddDevice->installEventFilter(this);
    connect(DefaultResource, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { DefaultResource_Click(DefaultResource->row(item)); });
    connect(AddServer, &QPushButton::clicked, this, [this] { AddServer_Click(); });
    connect(DelDevice, &QPushButton::clicked, this, [this] { DelDevice_Click(); });
    connect(DelServer, &QPushButton::clicked, this, [this] { DelServer_Click(); });
    connect(RenameDevice, &QPushButton::clicked, this, [this] { RenameDevice_Click(); });
    connect(RenameServer, &QPushButton::clicked, this, [this] { RenameServer_Click(); });
    connect(OK, &QPushButton::clicked, this, [this] { OK_Click(); });

    resize(460, 420);
    Form_Load();
}

void VISARscEditor::Form_Load() {
    for (const char* name : TemplateNames)
        DefaultResource->addItem(name);
    DefaultResource->setFixedSize(DefaultResource->sizeHintForColumn(0) + 8,
                                  DefaultResource->sizeHintForRow(0) * 6 + 8);
}

bool VISARscEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AddDevice && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint at = mouse->position().toPoint();
        if (AddDevice->rect().contains(at)) AddDevice_MouseUp(at);
    }
    return QWidget::eventFilter(watched, event);
}

void VISARscEditor::UpdateList(const std::string& KeyPath) {
    keyPath_ = KeyPath;
    Load(DevList, KeyPath, "DEVICE");
    Load(ServerList, KeyPath, "SERVER");
    UpdateAddButtons();
}

void VISARscEditor::Load(QListWidget* list, const std::string& key, const std::string& name) {
    std::vector<std::string> entries;
    for (int n = 1; n <= kMax; ++n) {
        const std::string value =
            INIIO::TrimStr(RegAccess::ReadRegValue(kRoot, key, name + std::to_string(n)));
        if (value.empty()) continue;
        if (entries.size() < static_cast<std::size_t>(n))
            entries.resize(static_cast<std::size_t>(n));
        entries[static_cast<std::size_t>(n - 1)] = value;
    }
    list->clear();
    for (const std::string& e : entries)
        list->addItem(QString::fromLatin1(e));
}

void VISARscEditor::AddDevice_MouseUp(const QPoint& Position) {
    if (Filled(DevList) >= kMax) return;
    QPoint at = AddDevice->mapTo(this, Position);
    // Kept inside the window, so that every template can be chosen.
    at.setX(std::clamp(at.x(), 0, std::max(0, width() - DefaultResource->width())));
    at.setY(std::clamp(at.y(), 0, std::max(0, height() - DefaultResource->height())));
    DefaultResource->move(at);
    DefaultResource->show();
    DefaultResource->raise();
    DefaultResource->clearSelection();
}

std::string VISARscEditor::Ask(const std::string& prompt, const std::string& title,
                               const std::string& defaultText) {
    return Services::InputBoxes().InputBox(prompt, title, defaultText);
}

void VISARscEditor::DefaultResource_Click(int Index) {
    DefaultResource->hide();
    const std::string hostPrompt = "TCPIP address or computer name of the instrument:";
    std::string resource;
    switch (Index) {
    case 0:
        resource = VISADeviceCache::DefaultDevice;
        break;
    case 1:
        resource = "GPIB0::" + Ask("GPIB address:", "RESOURCE", "20") + "::INSTR";
        break;
    case 2:
        resource = "TCPIP::" + Ask(hostPrompt, "RESOURCE") + "::INSTR";
        break;
    case 3:
        resource = "KTIB::" + Ask(hostPrompt, "RESOURCE") + "::INSTR";
        break;
    case 4: {
        const std::string host = Ask(hostPrompt, "RESOURCE", "localhost");
        resource = "TCPIP::" + host + "::" + Ask("PORT:", "RESOURCE") + "::SOCKET";
        break;
    }
    case 5:
        resource = Ask("Resource:", "RESOURCE");
        break;
    default:
        return;
    }
    if (Blanks(resource).empty() || Filled(DevList) >= kMax) return;
    Append(DevList, resource);
    UpdateAddButtons();
}

void VISARscEditor::Append(QListWidget* list, const std::string& text) {
    if (list->count() == 1 && Text(list->item(0)).empty()) list->clear();
    list->addItem(QString::fromLatin1(text));
}

void VISARscEditor::AddServer_Click() {
    if (Filled(ServerList) >= kMax) return;
    const std::string server = Ask("Server name:", "SERVER", VISADeviceCache::DefaultServer);
    if (Blanks(server).empty()) return;
    Append(ServerList, server);
    UpdateAddButtons();
}

void VISARscEditor::RemoveSelected(QListWidget* list) {
    QListWidgetItem* item = Selected(list);
    if (!item) return;
    delete list->takeItem(list->row(item));
    if (list->count() > 0) {
        list->setCurrentRow(0);
        list->item(0)->setSelected(true);
    }
}

void VISARscEditor::DelDevice_Click() {
    RemoveSelected(DevList);
    UpdateAddButtons();
}

void VISARscEditor::DelServer_Click() {
    QListWidgetItem* item = Selected(ServerList);
    if (!item) return;
    if (Text(item) == VISADeviceCache::DefaultServer) {
        const Services::MsgAnswer answer = Services::Messages().Message(
            "",
            "By deleting localhost, instruments connected to the local PC\n"
            "will NOT be scanned any more.\n\nDelete localhost?",
            Services::MsgIcon::Critical, Services::MsgButtons::YesNo);
        if (answer != Services::MsgAnswer::Yes) return;
    }
    RemoveSelected(ServerList);
    UpdateAddButtons();
}

void VISARscEditor::RenameSelected(QListWidget* list, const std::string& prompt,
                                   const std::string& title) {
    const std::string answer = Ask(prompt, title, Text(Selected(list)));
    // The list may have lost its selection while the box was open.
    QListWidgetItem* item = Selected(list);
    if (answer.empty() || !item) return;
    delete list->takeItem(list->row(item));
    list->addItem(QString::fromLatin1(answer));
}

void VISARscEditor::RenameDevice_Click() {
    RenameSelected(DevList, "Resource descriptor:", "RESOURCE");
    UpdateAddButtons();
}

void VISARscEditor::RenameServer_Click() {
    RenameSelected(ServerList, "New server name:", "SERVER");
    UpdateAddButtons();
}

void VISARscEditor::Store(const QListWidget* list, const std::string& key,
                          const std::string& name) {
    for (int n = 1; n <= kMax; ++n)
        RegAccess::DeleteRegValue(kRoot, key, name + std::to_string(n));
    // Numbered without gaps: the discovery stops at the first missing value.
    int n = 0;
    for (int k = 0; k < list->count() && n < kMax; ++k) {
        const std::string text = Text(list->item(k));
        if (Blanks(text).empty()) continue;
        RegAccess::WriteRegValue(kRoot, key, name + std::to_string(++n), text);
    }
}

void VISARscEditor::OK_Click() {
    // Without a key from UpdateList there is nowhere the lists belong.
    if (!keyPath_.empty()) {
        Store(DevList, keyPath_, "DEVICE");
        Store(ServerList, keyPath_, "SERVER");
    }
    hide();
}

void VISARscEditor::UpdateAddButtons() {
    AddDevice->setEnabled(Filled(DevList) < kMax);
    AddServer->setEnabled(Filled(ServerList) < kMax);
}
