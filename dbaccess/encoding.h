// The system's one encoding for text: ISO-8859-1 (Latin-1), one byte a
// character, the 8-bit set of SERVIDORES.cfg and of the databases. Every text
// the program composes, reads or writes is held in it, its own literals too;
// database values are bytes and are never converted. The conversions to and
// from the outside (the toolkit, file names, the logs, attachment strings)
// happen at those edges, with the functions below.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dbx {

// A literal of the program in the internal encoding: "compañia"_l1. The
// source is UTF-8; a character outside Latin-1 fails to compile.
template <std::size_t N>
struct Latin1Literal {
  char text[N]{};
  consteval Latin1Literal(const char (&utf8)[N]) {  // NOLINT: implicit by design
    std::size_t out = 0;
    for (std::size_t i = 0; i + 1 < N;) {
      const auto c = static_cast<unsigned char>(utf8[i]);
      if (c < 0x80) {
        text[out++] = static_cast<char>(c);
        ++i;
      } else if ((c & 0xE0) == 0xC0 && i + 2 < N && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
        const unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
        if (code < 0x80 || code > 0xFF) throw "not a character of ISO-8859-1";
        text[out++] = static_cast<char>(code);
        i += 2;
      } else {
        throw "not a character of ISO-8859-1";
      }
    }
  }
};

#if defined(__clang__)
// clang 14 crashes on a literal operator whose template argument is a class
// when it is used in some initializer lists; under clang the characters come
// as a pack instead (a GNU extension) and the same constructor converts them.
template <char... C>
struct Latin1Chars {
  static constexpr char utf8[sizeof...(C) + 1] = {C..., '\0'};
  static constexpr Latin1Literal<sizeof...(C) + 1> value{utf8};
};
#endif

inline namespace literals {
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wgnu-string-literal-operator-template"
template <typename Char, Char... C>
consteval const char* operator""_l1() {
  static_assert(sizeof(Char) == 1, "a narrow literal");
  return Latin1Chars<C...>::value.text;
}
#pragma clang diagnostic pop
#else
template <Latin1Literal L>
consteval const char* operator""_l1() {
  return L.text;
}
#endif
}  // namespace literals

// Internal text as UTF-8.
[[nodiscard]] std::string Latin1ToUtf8(std::string_view text);
// UTF-8 as internal text; false (out unchanged) when the bytes are not UTF-8
// or hold a character beyond ISO-8859-1.
[[nodiscard]] bool Utf8ToLatin1(std::string_view utf8, std::string& out);
// The same, every sequence that is not a character of ISO-8859-1 given as
// `replacement`.
[[nodiscard]] std::string Utf8ToLatin1(std::string_view utf8, char replacement);

// Text in one character set as text in another, through the C library's
// converter (iconv names, e.g. "UTF-8", "UTF-32LE"); false when either set
// is unknown or the bytes are not text of the first.
[[nodiscard]] bool ConvertCodeset(std::string_view from, std::string_view to, std::string_view bytes, std::string& out);

}  // namespace dbx
