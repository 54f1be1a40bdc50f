// Bytes shown in a test's message: printable ASCII as it is, any other byte
// (and the backslash) as \xHH.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace testsupport {

inline std::string Escaped(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += ch;
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      out += buffer;
    }
  }
  return out;
}

}  // namespace testsupport
