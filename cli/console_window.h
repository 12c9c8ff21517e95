// The editor's window operations on a terminal: no dialogs, failures to stderr.
#pragma once

#include "editor/window_operations.h"
#include "text_out.h"

namespace tolvane {

class ConsoleWindow : public WindowOperations {
public:
    // force: the answer to every question (--force), so that nothing doubtful
    // happens unless it was asked for.
    explicit ConsoleWindow(TextOut& errors, bool force = false) : errors_(errors), force_(force) {}

    std::filesystem::path chooseFile(Dialog) override { return {}; }
    void setEnabled(Button, bool) override {}
    void presentLogo(const LogoImage&) override {}
    void presentPicture(const GreyPicture&) override {}
    void showViewOptions(bool, bool) override {}
    void reportFailure(const std::string& failure) override { errors_ << "tolvane: " << failure << '\n'; }
    bool confirm(const std::string&) override { return force_; }
    void endProgram() override {}
    void showStatus(const std::string&) override {}

private:
    TextOut& errors_;
    bool force_;
};

}  // namespace tolvane
