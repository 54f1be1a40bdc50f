#include "dbaccess/strings.h"

#include <cctype>

#include "dbaccess/component.h"

namespace dbx {

void TStringList::Changed() {
  if (onChange) onChange();
}

void TStringList::Add(const std::string& line) {
  lines_.push_back(line);
  Changed();
}

void TStringList::Clear() {
  lines_.clear();
  Changed();
}

void TStringList::Delete(int index) {
  lines_.erase(lines_.begin() + index);
  Changed();
}

std::string TStringList::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TStringList::SetText(const std::string& text) {
  lines_.clear();
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines_.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines_.push_back(line);
  Changed();
}

int TStringList::IndexOfName(const std::string& name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const auto eq = lines_[i].find('=');
    if (eq != std::string::npos && SameText(lines_[i].substr(0, eq), name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TStringList::Value(const std::string& name) const {
  const int i = IndexOfName(name);
  if (i < 0) return {};
  const std::string& line = lines_[static_cast<std::size_t>(i)];
  return line.substr(line.find('=') + 1);
}

void TStringList::SetValue(const std::string& name, const std::string& value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  if (i >= 0)
    lines_[static_cast<std::size_t>(i)] = name + "=" + value;
  else
    lines_.push_back(name + "=" + value);
  Changed();
}

}  // namespace dbx
