#include "dm/ui.h"

#include <cstdio>

#include "dbaccess/encoding.h"

void ReportLine(const std::string& text) noexcept {
  try {
    std::string line;
    line.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\r' || c == '\n') {
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        line += ' ';
      } else {
        line += c;
      }
    }
    line = dbx::Latin1ToUtf8(line) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  } catch (...) {
  }
}

void ReportDialog(const std::string& caption, const std::string& text) noexcept {
  try {
    ReportLine(caption + ": " + text);
  } catch (...) {
  }
}

void UserInterface::ErrorDialog(const std::string& text, const std::string& detail) {
  if (OnWait) OnWait();
  ReportDialog("Error", detail.empty() ? text : text + " (el servidor dijo: " + detail + ")");
  ShowErrorDialog(text);
}

void UserInterface::MessageBox(const std::string& caption, const std::string& text) {
  if (OnWait) OnWait();
  ReportDialog(caption, text);
  ShowMessageBox(caption, text);
}
