// The program's context for tests of the data module and the run: dialogs
// recorded instead of shown.
#pragma once

#include <string>
#include <vector>

#include "dm/context.h"
#include "dm/ui.h"

namespace testsupport {

// Records beeps and dialogs in order: "beep", "error:<text>", "message:<text>".
class RecordingUi : public UserInterface {
 public:
  void Beep() override { events.push_back("beep"); }

  // The events without the beeps.
  [[nodiscard]] std::vector<std::string> Dialogs() const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e != "beep") out.push_back(e);
    return out;
  }

  std::vector<std::string> events;

 protected:
  void ShowErrorDialog(const std::string& text) override { events.push_back("error:" + text); }
  void ShowMessageBox(const std::string& /*caption*/, const std::string& text) override {
    events.push_back("message:" + text);
  }
};

// A context whose dialogs go to its RecordingUi.
class RecordingContext : public TContext {
 public:
  RecordingContext() { Application.SetUi(&ui); }
  ~RecordingContext() { Application.SetUi(nullptr); }

  RecordingUi ui;
};

}  // namespace testsupport
