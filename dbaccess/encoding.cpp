#include "dbaccess/encoding.h"

namespace dbx {

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool Utf8ToLatin1(std::string_view utf8, std::string& out) {
  std::string text;
  text.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      text += static_cast<char>(c);
      ++i;
      continue;
    }
    // Two bytes, C2 or C3 first: U+0080 to U+00FF. Anything else is a
    // character beyond ISO-8859-1 or not UTF-8.
    if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
      text += static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F));
      i += 2;
      continue;
    }
    return false;
  }
  out = std::move(text);
  return true;
}

}  // namespace dbx
