// The resource editor: loading both lists, the templates, removing (with the
// localhost question), renaming, and writing back with OK.

#include "../../support/fakes.h"
#include "../../support/registry_fixture.h"
#include "INIIO.h"
#include "RegAccess.h"
#include "VISARscEditor.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const std::string kKey = "SOFTWARE\\Korva&Tellin\\VISADeviceCache";
constexpr auto kRoot = Registry::HKEY_LOCAL_MACHINE;

struct Editor : RegistryFixture {
    FakeInputBox inputs;
    FakeMessageBox messages;
    Services::Scoped<Services::InputBoxService> useInputs{inputs};
    Services::Scoped<Services::MessageBoxService> useMessages{messages};
    VISARscEditor editor;

    void Set(const std::string& name, const std::string& value) {
        RegAccess::WriteRegValue(kRoot, kKey, name, value);
    }
    std::string Get(const std::string& name) {
        return INIIO::TrimStr(RegAccess::ReadRegValue(kRoot, kKey, name));
    }
    // Every stored value of a list, by its number.
    std::map<int, std::string> Stored(const std::string& name) {
        std::map<int, std::string> values;
        for (int n = 1; n <= 110; ++n)
            if (auto v = Get(name + std::to_string(n)); !v.empty()) values[n] = v;
        return values;
    }
    static std::vector<std::string> Entries(const QListWidget* list) {
        std::vector<std::string> e;
        for (int k = 0; k < list->count(); ++k)
            e.push_back(list->item(k)->text().toStdString());
        return e;
    }
    static void Select(QListWidget* list, int row) {
        list->setCurrentRow(row);
        list->item(row)->setSelected(true);
    }
};

} // namespace

TEST_F(Editor, TemplatesWaitHidden) {
    EXPECT_EQ(
        Entries(editor.DefaultResource),
        (std::vector<std::string>{"GPIB bus", "GPIB instrument", "TCP/IP instrument (VXI11)",
                                  "TCP/IP instrument (KTIB)", "TCP/IP socket", "free entry"}));
    EXPECT_TRUE(editor.DefaultResource->isHidden());
}

TEST_F(Editor, ListsLoadWithTheirGapsAndAreStoredWithout) {
    Set("DEVICE1", "GPIB0::?*::INSTR");
    Set("DEVICE3", "TCPIP0::127.0.0.1::5025::SOCKET");
    Set("DEVICE100", "USB0::1::2::3::INSTR");
    Set("DEVICE101", "beyond the editor");
    Set("SERVER1", "localhost");
    editor.UpdateList(kKey);
    ASSERT_EQ(editor.DevList->count(), 100);
    EXPECT_EQ(editor.DevList->item(1)->text().toStdString(), "");
    EXPECT_EQ(editor.DevList->item(2)->text().toStdString(), "TCPIP0::127.0.0.1::5025::SOCKET");
    EXPECT_EQ(editor.DevList->item(99)->text().toStdString(), "USB0::1::2::3::INSTR");
    EXPECT_EQ(Entries(editor.ServerList), std::vector<std::string>{"localhost"});

    editor.show();
    editor.OK_Click();
    EXPECT_TRUE(editor.isHidden());
    // Numbered from 1 without gaps: the discovery reads up to the first gap.
    EXPECT_EQ(Stored("DEVICE"), (std::map<int, std::string>{{1, "GPIB0::?*::INSTR"},
                                                            {2, "TCPIP0::127.0.0.1::5025::SOCKET"},
                                                            {3, "USB0::1::2::3::INSTR"},
                                                            {101, "beyond the editor"}}));
    EXPECT_EQ(Stored("SERVER"), (std::map<int, std::string>{{1, "localhost"}}));
}

TEST_F(Editor, AddRemoveRenameAndOkCycle) {
    Set("DEVICE1", "GPIB0::?*::INSTR");
    Set("DEVICE2", "GPIB0::7::INSTR");
    Set("DEVICE3", "GPIB0::8::INSTR");
    Set("DEVICE4", "GPIB0::9::INSTR");
    Set("SERVER1", "localhost");
    Set("SERVER2", "labhost");
    editor.UpdateList(kKey);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));

    // Releasing the mouse over Add pops the templates up at that point (moved
    // left as far as the window's edge needs).
    const QPoint at(6, 5);
    QTest::mouseRelease(editor.AddDevice, Qt::LeftButton, {}, at);
    ASSERT_TRUE(editor.DefaultResource->isVisible());
    const QPoint point = editor.AddDevice->mapTo(&editor, at);
    EXPECT_EQ(editor.DefaultResource->y(), point.y());
    EXPECT_LE(editor.DefaultResource->x(), point.x());
    EXPECT_TRUE(editor.rect().contains(editor.DefaultResource->geometry()));
    // "GPIB instrument" with its default address accepted.
    inputs.answers = {"20"};
    QListWidget* templates = editor.DefaultResource;
    QTest::mouseClick(templates->viewport(), Qt::LeftButton, {},
                      templates->visualItemRect(templates->item(1)).center());
    EXPECT_TRUE(editor.DefaultResource->isHidden());
    EXPECT_EQ(inputs.asked, std::vector<std::string>{"RESOURCE|GPIB address:|20"});

    // A socket: the host default, then the port.
    inputs.asked.clear();
    inputs.answers = {"localhost", "5025"};
    editor.DefaultResource_Click(4);
    EXPECT_EQ(inputs.asked,
              (std::vector<std::string>{
                  "RESOURCE|TCPIP address or computer name of the instrument:|localhost",
                  "RESOURCE|PORT:|"}));
    // A cancelled free entry adds nothing; a cancelled host still gives a name.
    editor.DefaultResource_Click(5);
    editor.DefaultResource_Click(3);
    editor.DefaultResource_Click(0);
    EXPECT_EQ(Entries(editor.DevList),
              (std::vector<std::string>{"GPIB0::?*::INSTR", "GPIB0::7::INSTR", "GPIB0::8::INSTR",
                                        "GPIB0::9::INSTR", "GPIB0::20::INSTR",
                                        "TCPIP::localhost::5025::SOCKET", "KTIB::::INSTR",
                                        "GPIB0::?*::INSTR"}));

    // Remove: the first entry is selected afterwards; nothing selected, nothing removed.
    editor.DevList->clearSelection();
    editor.DelDevice_Click();
    EXPECT_EQ(editor.DevList->count(), 8);
    Select(editor.DevList, 6);
    QTest::mouseClick(editor.DelDevice, Qt::LeftButton);
    EXPECT_EQ(editor.DevList->count(), 7);
    EXPECT_EQ(editor.DevList->currentRow(), 0);
    EXPECT_TRUE(editor.DevList->item(0)->isSelected());

    // Rename: the renamed entry moves to the end.
    inputs.asked.clear();
    inputs.answers = {"GPIB0::1::INSTR"};
    QTest::mouseClick(editor.RenameDevice, Qt::LeftButton);
    EXPECT_EQ(inputs.asked,
              std::vector<std::string>{"RESOURCE|Resource descriptor:|GPIB0::?*::INSTR"});
    EXPECT_EQ(editor.DevList->item(6)->text().toStdString(), "GPIB0::1::INSTR");
    // A cancelled rename keeps the entry where it is.
    Select(editor.DevList, 0);
    editor.RenameDevice_Click();
    EXPECT_EQ(editor.DevList->item(0)->text().toStdString(), "GPIB0::7::INSTR");

    // Servers: localhost asks first, another server does not.
    Select(editor.ServerList, 0);
    messages.reply = Services::MsgAnswer::No;
    QTest::mouseClick(editor.DelServer, Qt::LeftButton);
    EXPECT_EQ(Entries(editor.ServerList), (std::vector<std::string>{"localhost", "labhost"}));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "|By deleting localhost, instruments connected to the local PC\n"
                                 "will NOT be scanned any more.\n\nDelete localhost?");
    EXPECT_EQ(messages.icons[0], Services::MsgIcon::Critical);
    EXPECT_EQ(messages.buttons[0], Services::MsgButtons::YesNo);
    Select(editor.ServerList, 1);
    editor.DelServer_Click();
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(Entries(editor.ServerList), std::vector<std::string>{"localhost"});
    inputs.asked.clear();
    inputs.answers = {"benchpc", "   "};
    QTest::mouseClick(editor.AddServer, Qt::LeftButton);
    editor.AddServer_Click();
    EXPECT_EQ(inputs.asked, (std::vector<std::string>{"SERVER|Server name:|localhost",
                                                      "SERVER|Server name:|localhost"}));
    inputs.answers = {"labpc"};
    Select(editor.ServerList, 1);
    editor.RenameServer_Click();
    EXPECT_EQ(inputs.asked.back(), "SERVER|New server name:|benchpc");
    Select(editor.ServerList, 0);
    messages.reply = Services::MsgAnswer::Yes;
    editor.DelServer_Click();
    EXPECT_EQ(Entries(editor.ServerList), std::vector<std::string>{"labpc"});

    // Nothing is stored before OK.
    EXPECT_EQ(Get("DEVICE5"), "");
    QTest::mouseClick(editor.OK, Qt::LeftButton);
    EXPECT_TRUE(editor.isHidden());
    EXPECT_EQ(Stored("DEVICE"), (std::map<int, std::string>{{1, "GPIB0::7::INSTR"},
                                                            {2, "GPIB0::8::INSTR"},
                                                            {3, "GPIB0::9::INSTR"},
                                                            {4, "GPIB0::20::INSTR"},
                                                            {5, "TCPIP::localhost::5025::SOCKET"},
                                                            {6, "GPIB0::?*::INSTR"},
                                                            {7, "GPIB0::1::INSTR"}}));
    EXPECT_EQ(Stored("SERVER"), (std::map<int, std::string>{{1, "labpc"}}));

    // The next load shows what was stored.
    editor.UpdateList(kKey);
    EXPECT_EQ(editor.DevList->count(), 7);
}

TEST_F(Editor, ClosingWritesNothing) {
    Set("DEVICE1", "GPIB0::?*::INSTR");
    editor.UpdateList(kKey);
    editor.show();
    inputs.answers = {"GPIB0::3::INSTR"};
    editor.DefaultResource_Click(5);
    editor.close();
    EXPECT_TRUE(editor.isHidden());
    EXPECT_EQ(Stored("DEVICE"), (std::map<int, std::string>{{1, "GPIB0::?*::INSTR"}}));
    // A list holding only an empty line takes the first entry in its place.
    editor.ServerList->clear();
    editor.ServerList->addItem("");
    inputs.answers = {"localhost"};
    editor.AddServer_Click();
    EXPECT_EQ(Entries(editor.ServerList), std::vector<std::string>{"localhost"});
}

TEST_F(Editor, ListsHoldNoMoreThanTheyCanReadBack) {
    for (int n = 1; n <= 100; ++n)
        Set("SERVER" + std::to_string(n), "server" + std::to_string(n));
    for (int n = 1; n <= 99; ++n)
        Set("DEVICE" + std::to_string(n), "GPIB0::" + std::to_string(n) + "::INSTR");
    editor.UpdateList(kKey);
    EXPECT_FALSE(editor.AddServer->isEnabled());
    EXPECT_TRUE(editor.AddDevice->isEnabled());
    inputs.answers = {"server101"};
    editor.AddServer_Click();
    EXPECT_EQ(editor.ServerList->count(), 100);
    EXPECT_TRUE(inputs.asked.empty());

    editor.DefaultResource_Click(0);
    EXPECT_EQ(editor.DevList->count(), 100);
    EXPECT_FALSE(editor.AddDevice->isEnabled());
    editor.AddDevice_MouseUp(QPoint(1, 1));
    EXPECT_TRUE(editor.DefaultResource->isHidden());
    editor.DefaultResource_Click(0);
    EXPECT_EQ(editor.DevList->count(), 100);

    // Removing one makes room again.
    Select(editor.ServerList, 5);
    editor.DelServer_Click();
    EXPECT_TRUE(editor.AddServer->isEnabled());

    editor.OK_Click();
    EXPECT_EQ(Stored("DEVICE").size(), 100u);
    EXPECT_EQ(Get("DEVICE100"), "GPIB0::?*::INSTR");
    EXPECT_EQ(Stored("SERVER").size(), 99u);
    EXPECT_EQ(Get("SERVER6"), "server7");
}
