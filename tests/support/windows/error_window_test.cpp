#include "ErrorForm.h"
#include "RootDebug.h"
#include "Services.h"
#include "WindowServices.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct FakeMessages : Services::MessageBoxService {
    std::vector<std::string> texts;
    Services::MsgAnswer Message(const std::string& title, const std::string& text,
                                Services::MsgIcon, Services::MsgButtons buttons) override {
        EXPECT_EQ(title, "Quillon");
        EXPECT_EQ(buttons, Services::MsgButtons::OKCancel);
        texts.push_back(text);
        return Services::MsgAnswer::Cancel;
    }
};

struct FakeClipboard : Services::ClipboardService {
    std::string text;
    int sets = 0;
    void SetText(const std::string& t) override {
        text = t;
        ++sets;
    }
    std::string Text() override { return text; }
};

ErrorForm* VisibleErrorForm() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<ErrorForm*>(w); form && form->isVisible()) return form;
    return nullptr;
}

} // namespace

TEST(ErrorForm, ShowsTheErrorAndCopiesTheReport) {
    FakeMessages messages;
    FakeClipboard clipboard;
    Services::Scoped<Services::MessageBoxService> useMessages(messages);
    Services::Scoped<Services::ClipboardService> useClipboard(clipboard);
    ErrorForm form;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(form.isVisible());
        EXPECT_TRUE(form.Waiting());
        EXPECT_EQ(form.windowTitle(), "Quillon");
        EXPECT_EQ(form.Info[0]->text(), "VIF");
        EXPECT_EQ(form.Info[1]->text(), "-5 = &HFFFFFFFB");
        EXPECT_EQ(form.Info[2]->text(), "Overflow");
        ASSERT_EQ(form.CallerList->count(), 3);
        EXPECT_EQ(form.CallerList->item(0)->text(), "A");
        EXPECT_EQ(form.CallerList->item(1)->text(), ">B");
        EXPECT_EQ(form.CallerList->item(2)->text(), ">>C");
        EXPECT_EQ(form.Label[0]->text(), "Quillon has encounted a problem and needs to close. We "
                                         "are sorry for the inconvenience.");
        EXPECT_EQ(form.Label[7]->text(), "Please tell Korva & Tellin about this problem:");
        EXPECT_TRUE(
            form.Label[10]->text().startsWith("Please press the button \"Copy to clipboard\"."));
        form.CopyToClipboard->click();
        form.CopyToClipboard->click();
        EXPECT_TRUE(form.isVisible()); // copying does not end the report
        form.ButtonOK->click();
    });
    form.DisplayError(RuntimeError{-5, "VIF", "Overflow"}, {"A", "B", "C"});
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.Waiting());
    EXPECT_EQ(form.ReportText(), "SOURCE      : VIF\r\nNUMBER      : -5 = &&HFFFFFFFB\r\n"
                                 "DESCRIPTION : Overflow\r\nCALLER STACK:\r\nA\r\n>B\r\n>>C\r\n");
    EXPECT_EQ(clipboard.sets, 2);
    EXPECT_EQ(clipboard.text, form.ReportText());
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[0],
              std::string("Support informations copied to clipboard.\r\n  Please mail to ") +
                  ErrorForm::kSupportMail);
}

TEST(ErrorForm, TheDetailedInformationHeadingHasARowOfItsOwn) {
    ErrorForm form;
    std::vector<std::string> sharing;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        seen = true;
        const QLabel* heading = form.Label[5];
        EXPECT_EQ(heading->text(), "DETAILED ERROR INFORMATION");
        const QRect own = heading->geometry();
        EXPECT_GT(own.height(), 0);
        for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QRect other = w->geometry();
            if (w == heading || !w->isVisible()) continue;
            if (other.bottom() >= own.top() && other.top() <= own.bottom())
                sharing.push_back(w->metaObject()->className() + std::string(" ") +
                                  (qobject_cast<QLabel*>(w)
                                       ? qobject_cast<QLabel*>(w)->text().toStdString()
                                       : std::string()));
        }
        form.ButtonOK->click();
    });
    form.DisplayError(RuntimeError{-5, "VIF", "Overflow"}, {"A"});
    EXPECT_TRUE(seen);
    EXPECT_EQ(sharing, std::vector<std::string>{});
}

TEST(ErrorForm, ClosingTheWindowEndsTheWait) {
    ErrorForm form;
    QTimer::singleShot(0, [&] { form.close(); });
    form.DisplayError(RuntimeError{5, "", ""}, {"VIF.ReadString"});
    EXPECT_FALSE(form.Waiting());
    EXPECT_EQ(form.Info[1]->text(), "5 = &H5");
}

TEST(ErrorForm, FatalEntryOpensAWindowWhileOtherEventsRun) {
    WindowServices::Install();
    QTemporaryDir dir;
    RootDebug debug;
    debug.SetFileName(dir.filePath("e.log").toStdString()); // configured, no file output
    bool seen = false;
    QTimer::singleShot(0, [&] {
        ErrorForm* form = VisibleErrorForm();
        ASSERT_NE(form, nullptr);
        seen = true;
        EXPECT_EQ(form->Info[0]->text(), "VISA");
        EXPECT_EQ(form->CallerList->count(), 2);
        // a traced procedure reached from an event while the report waits
        debug.Push("WVClass", "", "UploadWV");
        debug.Pop();
        form->ButtonOK->click();
    });
    debug.Push("IEC", "", "Init");
    debug.LogRuntimeError("VIF", "", "ReadString", "",
                          RuntimeError{-1073807339, "VISA", "Timeout"});
    EXPECT_TRUE(seen);
    EXPECT_EQ(debug.Depth(), 0);
    EXPECT_EQ(VisibleErrorForm(), nullptr);
}
