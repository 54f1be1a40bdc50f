// The conversions between internal text (ISO-8859-1) and UTF-8, with any
// bytes.
//
// Properties: internal text to UTF-8 and back is the identity on the whole
// 8-bit set, by both decoders; the UTF-8 written is well formed, one or two
// bytes a character; the strict decoder accepts exactly the UTF-8 of
// ISO-8859-1 characters and otherwise leaves its output alone; the decoder
// with a replacement agrees with the strict one where that one succeeds, and
// never takes an ASCII character into a sequence it replaces.
#include <string>

#include "dbaccess/encoding.h"
#include "fuzz/fuzz_support.h"

namespace {

// Well-formed UTF-8 (shortest forms, no surrogates, up to U+10FFFF) whose
// characters are all below U+0100.
bool IsUtf8OfLatin1(const std::string& s, bool& wellFormed) {
  wellFormed = true;
  bool latin1 = true;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    if (n == 0 || i + n > s.size()) {
      wellFormed = false;
      return false;
    }
    unsigned code = n == 1 ? c : c & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) {
        wellFormed = false;
        return false;
      }
      code = (code << 6) | (cc & 0x3F);
    }
    if ((n == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) || (n == 4 && (code < 0x10000 || code > 0x10FFFF))) {
      wellFormed = false;
      return false;
    }
    latin1 = latin1 && code <= 0xFF;
    i += n;
  }
  return latin1;
}

std::string Ascii(const std::string& s) {
  std::string out;
  for (const char c : s)
    if (static_cast<unsigned char>(c) < 0x80) out += c;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // Internal text out and back.
  const std::string utf8 = dbx::Latin1ToUtf8(bytes);
  bool wellFormed = false;
  FUZZ_CHECK(IsUtf8OfLatin1(utf8, wellFormed), "internal text gives well-formed UTF-8", fuzz::Escaped(bytes));
  std::size_t high = 0;
  for (const char c : bytes) high += static_cast<unsigned char>(c) >= 0x80 ? 1 : 0;
  FUZZ_CHECK(utf8.size() == bytes.size() + high, "one or two bytes a character", fuzz::Escaped(bytes));
  std::string back = "x";
  FUZZ_CHECK(dbx::Utf8ToLatin1(utf8, back) && back == bytes, "a round trip is the identity on the 8-bit set",
             fuzz::Escaped(bytes));
  FUZZ_CHECK(dbx::Utf8ToLatin1(utf8, '?') == bytes, "a round trip is the identity, replacing nothing",
             fuzz::Escaped(bytes));

  // Any bytes as UTF-8.
  std::string strict = "unchanged";
  const bool ok = dbx::Utf8ToLatin1(bytes, strict);
  const bool expected = IsUtf8OfLatin1(bytes, wellFormed);
  FUZZ_CHECK(ok == expected, "the strict decoder accepts exactly the UTF-8 of ISO-8859-1 characters",
             fuzz::Escaped(bytes));
  if (ok) {
    FUZZ_CHECK(dbx::Latin1ToUtf8(strict) == bytes, "what the strict decoder reads is what was written",
               fuzz::Escaped(bytes));
  } else {
    FUZZ_CHECK(strict == "unchanged", "a failed decoding leaves its output alone", fuzz::Escaped(strict));
  }
  const std::string replaced = dbx::Utf8ToLatin1(bytes, '\xff');
  if (ok) FUZZ_CHECK(replaced == strict, "both decoders agree on UTF-8", fuzz::Escaped(bytes));
  FUZZ_CHECK(Ascii(replaced) == Ascii(bytes), "no ASCII character is lost in a replaced sequence",
             fuzz::Escaped(bytes) + "\ngave " + fuzz::Escaped(replaced));
  FUZZ_CHECK(replaced.size() <= bytes.size(), "never longer than the bytes", fuzz::Escaped(bytes));
  return 0;
}
