#include "dm/platform.h"

#include <signal.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "dbaccess/encoding.h"
#include "dm/ui.h"

namespace platform {

std::string LocalPath(const std::string& name) {
  std::string path = name;
  std::size_t start = 0;
  if (!path.empty() && path[0] == '\\') start = 1;  // root of the current drive: the working directory
  path = path.substr(start);
  for (char& c : path)
    if (c == '\\') c = '/';
  if (start == 1) path = path.empty() ? std::string(".") : path;
  return path;
}

std::string NativePath(const std::string& name) { return dbx::Latin1ToUtf8(LocalPath(name)); }

void AppendToLog(const std::string& name, const std::string& text) noexcept {
  try {
    // What was lost is said on standard error, once per line not written.
    const auto lost = [&name](int error) {
      std::string why;
      if (!dbx::Utf8ToLatin1(std::strerror(error), why)) why = "error " + std::to_string(error);
      ReportLine("consopuntos: no se pudo escribir en " + LocalPath(name) + " (" + why + ")");
    };
    std::FILE* f = std::fopen(NativePath(name).c_str(), "ab");
    if (f == nullptr) return lost(errno);
    const std::string utf8 = dbx::Latin1ToUtf8(text);
    const bool written = std::fwrite(utf8.data(), 1, utf8.size(), f) == utf8.size();
    const int error = errno;
    if (std::fclose(f) != 0 || !written) lost(written ? errno : error);
  } catch (...) {
  }
}

bool FileExists(const std::string& name) {
  std::error_code ec;
  return std::filesystem::exists(NativePath(name), ec);
}

bool RenameFile(const std::string& from, const std::string& to) noexcept {
  try {
    if (std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0) return true;
    ReportLine("consopuntos: no se pudo renombrar " + LocalPath(from) + " a " + LocalPath(to));
  } catch (...) {
  }
  return false;
}

bool ReadFile(const std::string& name, std::string& bytes) {
  std::ifstream in(NativePath(name), std::ios::binary);
  if (!in) return false;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  bytes = std::move(data);
  return true;
}

int PositiveInteger(const std::string& text) noexcept {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return 0;
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

int ReadCountSetting(const std::string& name) {
  std::string value;
  if (!ReadSettingText(name, value)) return 0;
  if (const int n = PositiveInteger(value); n > 0) return n;
  ReportLine("consopuntos: " + name + "=" + value + " no es un entero positivo; se toma como ausente");
  return 0;
}

std::vector<std::string> SettingsFiles() {
  std::vector<std::string> files;
  const char* env = std::getenv("XDG_CONFIG_DIRS");
  std::string list = env != nullptr && *env != '\0' ? env : "/etc/xdg";
  std::stringstream ss(list);
  std::string dir;
  while (std::getline(ss, dir, ':'))
    if (!dir.empty()) files.push_back(dir + "/Quenda/Varnex2009.conf");
  return files;
}

bool SettingFromText(const std::string& text, const std::string& name, std::string& value) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    if (key != name) continue;
    value = line.substr(eq + 1);
    const auto nul = value.find('\0');
    if (nul != std::string::npos) value.resize(nul);
    if (std::string latin; dbx::Utf8ToLatin1(value, latin)) value = std::move(latin);
    return true;
  }
  return false;
}

SettingLookup ReadSetting(const std::string& name, std::string& value) {
  value.clear();
  for (const auto& file : SettingsFiles()) {
    std::ifstream in(file, std::ios::binary);
    if (!in) continue;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!SettingFromText(text, name, value)) return SettingLookup::kValueMissing;
    return value.empty() ? SettingLookup::kValueMissing : SettingLookup::kFound;
  }
  return SettingLookup::kKeyMissing;
}

bool ReadSettingText(const std::string& name, std::string& value) {
  if (ReadSetting(name, value) == SettingLookup::kKeyMissing) return false;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!value.empty() && blank(value.back())) value.pop_back();
  while (!value.empty() && blank(value.front())) value.erase(value.begin());
  return !value.empty();
}

SettingLookup ReadApplicationDirectory(std::string& value) { return ReadSetting("Directorio", value); }

void WatchStopSignals(std::function<void(int exitStatus)> onStop, std::function<void()> abort,
                      std::function<void()> beforeExit, int graceSeconds) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set, onStop = std::move(onStop), abort = std::move(abort), beforeExit = std::move(beforeExit),
               graceSeconds] {
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    const int status = 128 + sig;
    onStop(status);
    // The program stops at its next step; a call that waits on something
    // that never answers is given up on, and then the process itself.
    timespec grace{graceSeconds, 0};
    for (int round = 0; round < 2; ++round) {
      if (sigtimedwait(&set, nullptr, &grace) > 0) break;  // a second signal: now
      if (round == 0) abort();
    }
    beforeExit();
    std::fflush(nullptr);
    std::_Exit(status);
  }).detach();
}

}  // namespace platform
