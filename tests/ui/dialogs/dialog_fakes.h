#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/power/power_control.h"
#include "platform/shell/file_dialog.h"
#include "platform/shell/shell.h"

namespace ovc::test {

// A save-file dialog that records each request and answers with the next
// scripted path (nullopt = the user cancels; cancels when the script is out).
class FakeSaveFileDialog : public SaveFileDialog {
 public:
  bool Run(const SaveFileRequest& request, std::string* chosen) override {
    requests.push_back(request);
    if (answers.empty()) return false;
    std::optional<std::string> answer = answers.front();
    answers.erase(answers.begin());
    if (!answer) return false;
    *chosen = *answer;
    return true;
  }
  std::vector<std::optional<std::string>> answers;
  std::vector<SaveFileRequest> requests;
};

// Records the paths it is asked to open, into `log` when one is given.
class FakeShell : public Shell {
 public:
  explicit FakeShell(std::vector<std::string>* log = nullptr) : log_(log) {}
  bool Open(const std::string& path) override {
    opened.push_back(path);
    if (log_) log_->push_back("open " + path);
    return handler_present;
  }
  std::vector<std::string> opened;
  // False: the desktop has no program for anything.
  bool handler_present = true;

 private:
  std::vector<std::string>* log_;
};

// Answers PowerOff with a fixed result; never touches the machine.
class FakePowerControl : public PowerControl {
 public:
  explicit FakePowerControl(int result, std::vector<std::string>* log = nullptr)
      : result_(result), log_(log) {}
  int PowerOff() override {
    ++requests;
    if (log_) log_->push_back("power off");
    return result_;
  }
  int requests = 0;

 private:
  int result_;
  std::vector<std::string>* log_;
};

}  // namespace ovc::test
