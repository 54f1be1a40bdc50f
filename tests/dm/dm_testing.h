// Helpers of the data module tests: a user interface that records what it is
// asked to show, a scratch working directory, and file reading.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbaccess/encoding.h"
#include "dm/application.h"
#include "dm/ui.h"

namespace dmtest {

// Records beeps and dialogs in order: "beep", "error:<text>", "message:<text>".
class RecordingUi : public UserInterface {
 public:
  RecordingUi() { SetUi(this); }
  ~RecordingUi() override { SetUi(nullptr); }
  RecordingUi(const RecordingUi&) = delete;
  RecordingUi& operator=(const RecordingUi&) = delete;

  void Beep() override { events.push_back("beep"); }

  std::vector<std::string> events;

 protected:
  void ShowErrorDialog(const std::string& text) override { events.push_back("error:" + text); }
  void ShowMessageBox(const std::string& text) override { events.push_back("message:" + text); }
};

// A fresh directory that is the working directory while the object lives.
class ScratchDir {
 public:
  ScratchDir() : previous_(std::filesystem::current_path()) {
    std::string templ = (std::filesystem::temp_directory_path() / "dmtest-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
    std::filesystem::current_path(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
};

[[nodiscard]] inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A log as the program writes it (UTF-8), back in internal text; a log that
// is not UTF-8 of ISO-8859-1 characters fails the call.
[[nodiscard]] inline std::string ReadLog(const std::filesystem::path& p) {
  std::string text;
  if (!dbx::Utf8ToLatin1(ReadFile(p), text)) throw std::runtime_error("not UTF-8 text: " + p.string());
  return text;
}

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Leaves the application without a handler that points at a destroyed data
// module.
class ApplicationHandlerGuard {
 public:
  ApplicationHandlerGuard() = default;
  ~ApplicationHandlerGuard() { Application().OnException = nullptr; }
  ApplicationHandlerGuard(const ApplicationHandlerGuard&) = delete;
  ApplicationHandlerGuard& operator=(const ApplicationHandlerGuard&) = delete;
};

}  // namespace dmtest
