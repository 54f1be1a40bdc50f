#include "dm/platform.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

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

void AppendToLog(const std::string& name, const std::string& text) noexcept {
  std::FILE* f = std::fopen(LocalPath(name).c_str(), "ab");
  if (f == nullptr) return;
  (void)std::fwrite(text.data(), 1, text.size(), f);
  (void)std::fclose(f);
}

static std::vector<std::string> ConfigDirs() {
  std::vector<std::string> dirs;
  const char* env = std::getenv("XDG_CONFIG_DIRS");
  std::string list = env != nullptr && *env != '\0' ? env : "/etc/xdg";
  std::stringstream ss(list);
  std::string dir;
  while (std::getline(ss, dir, ':'))
    if (!dir.empty()) dirs.push_back(dir);
  return dirs;
}

SettingLookup ReadApplicationDirectory(std::string& value) {
  value.clear();
  for (const auto& dir : ConfigDirs()) {
    std::ifstream in(dir + "/Quenda/Varnex2009.conf", std::ios::binary);
    if (!in) continue;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const auto eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = line.substr(0, eq);
      while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
      if (key != "Directorio") continue;
      value = line.substr(eq + 1);
      const auto nul = value.find('\0');
      if (nul != std::string::npos) value.resize(nul);
      return value.empty() ? SettingLookup::kValueMissing : SettingLookup::kFound;
    }
    return SettingLookup::kValueMissing;
  }
  return SettingLookup::kKeyMissing;
}

}  // namespace platform
