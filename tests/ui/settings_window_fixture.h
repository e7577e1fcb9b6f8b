#pragma once
// Common ground of the settings-window tests: default settings in a
// temporary program folder, fakes for the dialogs, and screenshots of the
// windows written beside the test program for a reviewer to look at.

#include "../support/fakes.h"
#include "General.h"
#include "SetHandle.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        SetHandle::SetProgramFolder(dir_.path().toStdString());
        SetHandle::ExchangeSettings(ExchangeDefaults);
        General::DebugMode = false;
    }
    void TearDown() override { SetHandle::SetProgramFolder(""); }

    // Types a text the way the operator does: the box's change event runs.
    static void Type(QLineEdit* box, const char* text) { box->setText(QString::fromLatin1(text)); }

    // Runs deferred deletions (windows closed with WA_DeleteOnClose).
    static void Settle() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Writes the window's picture to screenshots/<name>.png beside the test
    // program (in the build tree); returns the path.
    static QString Screenshot(QWidget* window, const char* name) {
        const QString folder = QCoreApplication::applicationDirPath() + "/screenshots";
        QDir().mkpath(folder);
        window->show();
        window->adjustSize();
        QCoreApplication::processEvents();
        const QString path = folder + "/" + name + ".png";
        window->grab().save(path);
        return path;
    }

    std::string Folder() const { return dir_.path().toStdString(); }

    FakeFileDialog files_;
    FakeMessageBox messages_;

private:
    QTemporaryDir dir_;
    Services::Scoped<Services::FileDialogService> filesGuard_{files_};
    Services::Scoped<Services::MessageBoxService> messagesGuard_{messages_};
};
