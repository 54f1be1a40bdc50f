// Files and the environment around a test: a working directory of its own,
// whole files read and written, a log read back, an environment variable set
// for a while.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>

#include "dbaccess/encoding.h"
#include "support/dbfixture.h"

namespace testsupport {

// A fresh scratch folder that is the working directory while the object
// lives ("\ERRORES.TXT" lands there).
class WorkDir : public ScratchDir {
 public:
  WorkDir() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(Root()); }
  ~WorkDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }

  [[nodiscard]] std::filesystem::path path() const { return Root(); }

 private:
  std::filesystem::path previous_;
};

[[nodiscard]] inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A log as the program writes it (UTF-8), back in internal text; a log that
// is not UTF-8 of ISO-8859-1 characters fails the call.
[[nodiscard]] inline std::string ReadLog(const std::filesystem::path& p) {
  std::string text;
  if (!dbx::Utf8ToLatin1(ReadFile(p), text)) throw std::runtime_error("not UTF-8 text: " + p.string());
  return text;
}

// Sets (or, with nullopt, removes) an environment variable while the object
// lives; the previous state comes back.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(saved_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const std::optional<std::string>& value) {
    if (value)
      setenv(name_.c_str(), value->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

}  // namespace testsupport
