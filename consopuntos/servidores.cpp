#include "consopuntos/servidores.h"

std::vector<std::string> ParseServerList(const std::string& bytes) {
  std::vector<std::string> entries;
  std::string buffer;
  const auto entryText = [&buffer] {
    const auto nul = buffer.find('\0');
    return nul == std::string::npos ? buffer : buffer.substr(0, nul);
  };
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      entries.push_back(entryText());
      buffer.clear();
      ++i;  // the byte after a CR always belongs to the line end
    } else if (c == '\n') {
      entries.push_back(entryText());
      buffer.clear();
    } else {
      buffer += c;
    }
  }
  return entries;
}
