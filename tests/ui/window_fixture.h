// The Qt window on the offscreen platform, with dialogs that answer as a script
// says and record what they were asked and told; a disc image and a bitmap.
#pragma once

#include "support/test_files.h"
#include "ui/qt/logo_view.h"
#include "ui/qt/main_window.h"
#include "ui/qt/modal_dialogs.h"
#include "logo/picture/picture_file.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <deque>
#include <memory>
#include <vector>

namespace tolvane {

struct ScriptedDialogs : ModalDialogs {
    QString chooseFile(Dialog dialog, QWidget*) override {
        asked.push_back(dialog);
        if (answers.empty()) return {};
        const QString next = answers.front();
        answers.pop_front();
        return next;
    }
    void showFailure(const QString& text, QWidget* parent) override {
        failures << text;
        failureOwners.push_back(parent);
        failureOwnerShown.push_back(parent && parent->windowHandle() && parent->windowHandle()->isExposed());
    }
    bool ask(const QString& question, QWidget*) override {
        questions << question;
        return answerYes;
    }

    std::deque<QString> answers;
    std::vector<Dialog> asked;
    QStringList failures;
    std::vector<QWidget*> failureOwners;  // the window each failure's box stood over
    std::vector<bool> failureOwnerShown;  // and whether it was on the screen then
    QStringList questions;
    bool answerYes = false;
};

inline QString qt(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        window = std::make_unique<MainWindow>(std::move(scripted));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        testing::writeFile(image, testing::makeImage(30000));
        exportBitmap(bitmap, pictureOf(testing::patternLogo(9)));
    }

    template <typename T = QPushButton>
    T* child(const char* name) {
        auto* widget = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    void click(const char* button, const std::filesystem::path& answer = {}) {
        if (!answer.empty()) dialogs->answers.push_back(qt(answer));
        QTest::mouseClick(child(button), Qt::LeftButton);
    }
    std::vector<bool> switched() {
        return {child("bnsauvbmp")->isEnabled(), child("bnouvbmp")->isEnabled(), child("bnpatch")->isEnabled()};
    }
    QImage drawn() { return child<LogoView>("piboot")->grab().toImage(); }

    testing::TempDir dir;
    std::filesystem::path image = dir / "game.bin";
    std::filesystem::path bitmap = dir / "logo.bmp";
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<MainWindow> window;
};

}  // namespace tolvane
