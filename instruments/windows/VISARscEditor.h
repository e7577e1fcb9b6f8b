#pragma once
// The VISA resource editor: the operator's working copy of the resource
// cache's two lists (resource patterns and VISA servers). Nothing reaches the
// registry before OK, which writes both lists back without gaps and hides the
// window; closing it writes nothing. Input boxes and questions go through the
// services of Services.h.

#include <QWidget>
#include <string>

class QGroupBox;
class QListWidget;
class QPushButton;

class VISARscEditor : public QWidget {
    Q_OBJECT

public:
    // The program's editor, created hidden on first use.
    static VISARscEditor& Instance();
    explicit VISARscEditor(QWidget* parent = nullptr);
    // The program's editor goes with the main window's client area it lives in.
    ~VISARscEditor() override;

    // Keeps the key path for OK and loads both lists from it (DEVICE1 to
    // DEVICE100, SERVER1 to SERVER100; a missing value inside the numbering
    // shows as an empty line).
    void UpdateList(const std::string& KeyPath);

    // The handlers of the controls.
    // Pops the template list up at the release point (relative to AddDevice).
    void AddDevice_MouseUp(const QPoint& Position);
    // Builds the resource of the chosen template (0 "GPIB bus" to 5 "free
    // entry") and appends it to the resource list.
    void DefaultResource_Click(int Index);
    void AddServer_Click();
    void DelDevice_Click();
    void DelServer_Click();
    void RenameDevice_Click();
    void RenameServer_Click();
    void OK_Click();

    // Template names of DefaultResource, in list order.
    static const char* const TemplateNames[6];

    QGroupBox* DevFrame = nullptr;
    QListWidget* DevList = nullptr;
    QPushButton* AddDevice = nullptr;
    QPushButton* DelDevice = nullptr;
    QPushButton* RenameDevice = nullptr;
    QGroupBox* ServerFrame = nullptr;
    QListWidget* ServerList = nullptr;
    QPushButton* AddServer = nullptr;
    QPushButton* DelServer = nullptr;
    QPushButton* RenameServer = nullptr;
    QListWidget* DefaultResource = nullptr;
    QPushButton* OK = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    // An input box of the resource or server lists.
    static std::string Ask(const std::string& prompt, const std::string& title,
                           const std::string& defaultText = {});
    // Appends an entry, first dropping the one empty line a list may hold.
    static void Append(QListWidget* list, const std::string& text);
    static void RemoveSelected(QListWidget* list);
    static void RenameSelected(QListWidget* list, const std::string& prompt,
                               const std::string& title);
    static void Load(QListWidget* list, const std::string& key, const std::string& name);
    static void Store(const QListWidget* list, const std::string& key, const std::string& name);
    // The Add buttons stay enabled while their list can take one more entry
    // that the discovery and the next load will still see.
    void UpdateAddButtons();

    std::string keyPath_;
};
