#pragma once
// Common ground of the settings-window tests: default settings in a
// temporary program folder, fakes for the dialogs, and pictures of the
// windows, checked and kept beside the test program for a reviewer.

#include "../support/fakes.h"
#include "../support/picture_checks.h"
#include "General.h"
#include "SetHandle.h"

#include <QCoreApplication>
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

    // The window shown at its own size, as drawn; kept as screenshots/<name>.png
    // beside the test program (in the build tree).
    static QImage Screenshot(QWidget* window, const char* name) {
        window->show();
        window->adjustSize();
        QCoreApplication::processEvents();
        return Picture(window, name);
    }

    std::string Folder() const { return dir_.path().toStdString(); }

    FakeFileDialog files_;
    FakeMessageBox messages_;

private:
    QTemporaryDir dir_;
    Services::Scoped<Services::FileDialogService> filesGuard_{files_};
    Services::Scoped<Services::MessageBoxService> messagesGuard_{messages_};
};
