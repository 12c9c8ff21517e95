// A window that answers dialogs from a script and records what the editor asks.
#pragma once

#include "editor/window_operations.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::testing {

class FakeWindow : public WindowOperations {
public:
    // The next answer of a dialog; an empty path is a cancel.
    void willChoose(Dialog dialog, std::filesystem::path path) { answers_[dialog].push_back(std::move(path)); }

    std::filesystem::path chooseFile(Dialog dialog) override {
        dialogsShown.push_back(dialog);
        auto& queue = answers_[dialog];
        if (queue.empty()) return {};
        auto path = queue.front();
        queue.pop_front();
        return path;
    }
    void setEnabled(Button button, bool on) override {
        enabled[button] = on;
        enableCalls.push_back({button, on});
    }
    void presentLogo(const LogoImage& logo) override { presented.push_back(logo); }
    void presentPicture(const GreyPicture& picture) override { pictures.push_back(picture); }
    void showViewOptions(bool consoleView, bool pal) override { viewOptions = {consoleView, pal}; }
    void reportFailure(const std::string& failure) override { failures.push_back(failure); }
    bool confirm(const std::string& question) override {
        questions.push_back(question);
        return answerYes;
    }
    void endProgram() override { ended = true; }
    void showStatus(const std::string& status) override { this->status = status; }

    std::map<Button, bool> enabled;
    std::vector<std::pair<Button, bool>> enableCalls;
    std::vector<Dialog> dialogsShown;
    std::vector<LogoImage> presented;
    std::vector<GreyPicture> pictures;
    std::pair<bool, bool> viewOptions{false, false};
    std::vector<std::string> failures;
    std::vector<std::string> questions;
    bool answerYes = false;
    std::string status;
    bool ended = false;

private:
    std::map<Dialog, std::deque<std::filesystem::path>> answers_;
};

}  // namespace tolvane::testing
