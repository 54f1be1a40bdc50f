#include "dbaccess/encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

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

namespace {

// The length of the sequence at i, and its character when it is one of
// ISO-8859-1 (two bytes, C2 or C3 first: U+0080 to U+00FF), else -1.
int Decode(std::string_view utf8, std::size_t i, std::size_t& length) {
  const auto c = static_cast<unsigned char>(utf8[i]);
  if (c < 0x80) {
    length = 1;
    return c;
  }
  length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
  length = std::min(length, utf8.size() - i);
  // A sequence cut short ends before the first byte that cannot continue it.
  for (std::size_t k = 1; k < length; ++k) {
    if ((static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) {
      length = k;
      break;
    }
  }
  if ((c == 0xC2 || c == 0xC3) && length == 2 && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80)
    return ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
  return -1;
}

}  // namespace

bool Utf8ToLatin1(std::string_view utf8, std::string& out) {
  std::string text;
  text.reserve(utf8.size());
  for (std::size_t i = 0, length = 0; i < utf8.size(); i += length) {
    const int c = Decode(utf8, i, length);
    if (c < 0) return false;
    text += static_cast<char>(c);
  }
  out = std::move(text);
  return true;
}

std::string Utf8ToLatin1(std::string_view utf8, char replacement) {
  std::string text;
  text.reserve(utf8.size());
  for (std::size_t i = 0, length = 0; i < utf8.size(); i += length) {
    const int c = Decode(utf8, i, length);
    text += c < 0 ? replacement : static_cast<char>(c);
  }
  return text;
}

bool ConvertCodeset(std::string_view from, std::string_view to, std::string_view bytes, std::string& out) {
  iconv_t cd = iconv_open(std::string(to).c_str(), std::string(from).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in(bytes);
  std::string converted(in.size() * 4 + 16, '\0');
  char* src = in.data();
  std::size_t srcLeft = in.size();
  std::size_t done = 0;
  bool ok = true;
  // The input, then the end of a stateful set's shift state.
  for (bool flushing = false;;) {
    char* dst = converted.data() + done;
    std::size_t dstLeft = converted.size() - done;
    const std::size_t r =
        flushing ? iconv(cd, nullptr, nullptr, &dst, &dstLeft) : iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    done = converted.size() - dstLeft;
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) {
        converted.resize(converted.size() * 2);
        continue;
      }
      ok = false;  // EILSEQ, EINVAL: not text of that set
      break;
    }
    if (flushing) break;
    flushing = true;
  }
  iconv_close(cd);
  if (!ok) return false;
  converted.resize(done);
  out = std::move(converted);
  return true;
}

}  // namespace dbx
