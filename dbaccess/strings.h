// An ordered list of text lines, as the SQL text of a statement and the
// name=value parameter list of a connection use it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dbx {

class TStringList {
 public:
  [[nodiscard]] int Count() const noexcept { return static_cast<int>(lines_.size()); }
  [[nodiscard]] const std::string& operator[](int index) const { return lines_.at(static_cast<std::size_t>(index)); }
  [[nodiscard]] const std::vector<std::string>& Lines() const noexcept { return lines_; }
  void Add(const std::string& line);
  void Clear();
  void Delete(int index);
  // Every line followed by CR LF.
  [[nodiscard]] std::string Text() const;
  // Replaces the lines with one line per CR LF / LF-ended piece.
  void SetText(const std::string& text);

  // name=value access: the first line whose text before its first "=" equals
  // the name without regard to case; lines without "=" never match.
  [[nodiscard]] int IndexOfName(const std::string& name) const;
  // The text after "name=", or empty when no line matches.
  [[nodiscard]] std::string Value(const std::string& name) const;
  // Non-empty value: replaces the matching line (or appends) as name=value,
  // with the name as the caller spelled it. Empty value: deletes the line.
  void SetValue(const std::string& name, const std::string& value);

  // Called after every change (statements close themselves on it).
  std::function<void()> onChange;

 private:
  void Changed();
  std::vector<std::string> lines_;
};

}  // namespace dbx
