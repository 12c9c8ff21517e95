// The editor's window operations on a terminal: no dialogs, failures to stderr.
#pragma once

#include "editor/window_operations.h"

#include <ostream>

namespace tolvane {

class ConsoleWindow : public WindowOperations {
public:
    explicit ConsoleWindow(std::ostream& errors) : errors_(errors) {}

    std::filesystem::path chooseFile(Dialog) override { return {}; }
    void setEnabled(Button, bool) override {}
    void presentLogo(const LogoImage&) override {}
    void presentPicture(const GreyPicture&) override {}
    void showViewOptions(bool, bool) override {}
    void reportFailure(const std::string& failure) override { errors_ << "tolvane: " << failure << '\n'; }
    void endProgram() override {}
    void showStatus(const std::string&) override {}

private:
    std::ostream& errors_;
};

}  // namespace tolvane
