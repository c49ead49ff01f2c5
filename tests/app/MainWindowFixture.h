#pragma once
// A main window on a simulated microscope, with media and program folders of its own, for the
// window tests.

#include "TestSupport.h"
#include "app/MainDialog.h"
#include "app/SingleInstance.h"
#include "browser/ThumbnailList.h"
#include "capture/backend/SimulatedBackend.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>

class MainWindowFixture : public ::testing::Test {
protected:
    // Opens the window on `backend_`, which the test has made; `language` 0 is the system's.
    void OpenWindow(std::uint16_t language = 0)
    {
        instance_ = std::make_unique<SingleInstance>("Vizmora-test-" + QUuid::createUuid().toString(QUuid::Id128));
        dialog_ = std::make_unique<CMainDialog>(
            *backend_, *instance_, nullptr,
            CMainDialog::Places{documents_.path(), program_.path(), program_.path(), language});
    }
    // A key pressed in the window as a user does: shown and active, so the commands' keys act.
    void PressKey(Qt::Key key)
    {
        if (!dialog_->isVisible()) dialog_->show();
        if (!dialog_->isActiveWindow()) {
            dialog_->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
        }
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog_.get(), key);
    }
    // The thumbnail list is laid out and drawn (its first paint sets up its cells).
    void WaitForListDrawn()
    {
        ASSERT_TRUE(WaitUntil([&] { return !dialog_->ThumbnailList().Cells()[0].isEmpty(); }));
    }
    void CloseWindow()
    {
        if (dialog_) dialog_->close();
        dialog_.reset();
        instance_.reset();
    }
    void TearDown() override { CloseWindow(); }

    QTemporaryDir documents_;
    QTemporaryDir program_;
    std::unique_ptr<backend::SimulatedBackend> backend_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<CMainDialog> dialog_;
};
