// The command line: its split into arguments, with any bytes.
//
// Every input runs every property below; a property on the arguments'
// decoding joins the list with the same input.
//
// Split properties: the arguments are the documented reading's (characters
// 1 to 32 separate outside quotes, each double quote opens or closes a quoted
// stretch and is dropped, an empty quoted argument takes no position, a quote
// never closed runs to the end); no argument is empty or holds a double
// quote, so positions are contiguous; arguments written back, each quoted and
// separated by a blank, read back as themselves.
//
// Decoding properties: in UTF-8, valid text of ISO-8859-1 characters decodes
// to those characters (and back to the same bytes), valid text with a
// character beyond them is refused and leaves the text alone, anything else
// keeps its bytes; ISO-8859-1 is the identity; ASCII decodes bytes below 128
// and keeps the rest; no character set named keeps the bytes.
#include <algorithm>
#include <string>
#include <vector>

#include "consopuntos/cmdline.h"
#include "fuzz/fuzz_support.h"

namespace {

bool Separates(char c) { return c >= 1 && c <= 32; }

std::vector<std::string> Reference(const std::string& line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && Separates(line[i])) ++i;
    if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
      continue;
    }
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    for (; i < line.size() && (quoted || !Separates(line[i])); ++i) {
      if (line[i] == '"') {
        quoted = !quoted;
      } else {
        arg += line[i];
      }
    }
    if (!arg.empty()) args.push_back(arg);  // a quote never closed, with nothing after it
  }
  return args;
}

std::string Joined(const std::vector<std::string>& args) {
  std::string all;
  for (const auto& a : args) all += "[" + fuzz::Escaped(a) + "]";
  return all;
}

std::string WrittenBack(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& a : args) line += (line.empty() ? "\"" : " \"") + a + "\"";
  return line;
}

void SplitProperty(const std::string& bytes) {
  const std::vector<std::string> args = SplitCommandLine(bytes);
  FUZZ_CHECK(args == Reference(bytes), "the arguments are the documented reading's",
             fuzz::Escaped(bytes) + "\ngave " + Joined(args));
  for (const auto& a : args) {
    FUZZ_CHECK(!a.empty(), "no argument is empty", fuzz::Escaped(bytes));
    FUZZ_CHECK(a.find('"') == std::string::npos, "no argument holds a double quote", fuzz::Escaped(a));
  }
  FUZZ_CHECK(SplitCommandLine(WrittenBack(args)) == args, "arguments written back read back", Joined(args));
}

// Arguments drawn from the input (any bytes but NUL and the double quote),
// written as a command line and split again.
void RoundTripProperty(const std::string& bytes) {
  FuzzedDataProvider in(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  std::vector<std::string> args;
  const int count = in.ConsumeIntegralInRange(0, 12);
  for (int i = 0; i < count; ++i) {
    std::string a = fuzz::ConsumeBytes(in, 32);
    std::erase(a, '"');
    std::erase(a, '\0');
    if (!a.empty()) args.push_back(a);
  }
  FUZZ_CHECK(SplitCommandLine(WrittenBack(args)) == args, "quoted arguments read back", Joined(args));
  // The positions, as the program counts them.
  const TCommandLine line(SplitCommandLine(WrittenBack(args)));
  for (int p = 0; p <= count + 1; ++p)
    FUZZ_CHECK(line.ParamStr(p) == (p < static_cast<int>(args.size()) ? args[static_cast<std::size_t>(p)] : std::string()),
               "position p is the p-th argument, or empty past the last", Joined(args));
}

// Strict UTF-8 (no overlong forms, no surrogates, at most U+10FFFF): the
// code points, or false.
bool Utf8CodePoints(const std::string& bytes, std::vector<unsigned long>& points) {
  points.clear();
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned long>(static_cast<unsigned char>(bytes[k])); };
    const unsigned long lead = b(i);
    int more = 0;
    unsigned long code = 0, least = 0;
    if (lead < 0x80) {
      code = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1, code = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2, code = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3, code = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(more) >= bytes.size()) return false;  // cut short
    for (int k = 1; k <= more; ++k) {
      const unsigned long c = b(i + static_cast<std::size_t>(k));
      if ((c & 0xC0) != 0x80) return false;
      code = code << 6 | (c & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    points.push_back(code);
    i += static_cast<std::size_t>(more) + 1;
  }
  return true;
}

std::string Utf8Of(const std::string& latin1) {
  std::string out;
  for (const char c : latin1) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | u >> 6);
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

void DecodeProperty(const std::string& bytes) {
  const std::string sentinel = "\x01unchanged";
  std::string text = sentinel;
  std::vector<unsigned long> points;
  const ArgumentText utf8 = DecodeArgument("UTF-8", bytes, text);
  if (!Utf8CodePoints(bytes, points)) {
    FUZZ_CHECK(utf8 == ArgumentText::kKeptBytes && text == bytes, "what is not UTF-8 keeps its bytes",
               fuzz::Escaped(bytes));
  } else if (std::any_of(points.begin(), points.end(), [](unsigned long p) { return p > 0xFF; })) {
    FUZZ_CHECK(utf8 == ArgumentText::kBeyondLatin1 && text == sentinel,
               "UTF-8 beyond ISO-8859-1 is refused, the text left alone", fuzz::Escaped(bytes));
  } else {
    std::string expected;
    for (const unsigned long p : points) expected += static_cast<char>(p);
    FUZZ_CHECK(utf8 == ArgumentText::kDecoded && text == expected, "UTF-8 of ISO-8859-1 decodes to its characters",
               fuzz::Escaped(bytes) + "\ngave " + fuzz::Escaped(text));
    FUZZ_CHECK(Utf8Of(text) == bytes, "the characters encode back to the same bytes", fuzz::Escaped(bytes));
  }

  text = sentinel;
  FUZZ_CHECK(DecodeArgument("ISO-8859-1", bytes, text) == ArgumentText::kDecoded && text == bytes,
             "ISO-8859-1 decodes to the same bytes", fuzz::Escaped(bytes));
  text = sentinel;
  const bool ascii = std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  FUZZ_CHECK(DecodeArgument("ANSI_X3.4-1968", bytes, text) == (ascii ? ArgumentText::kDecoded : ArgumentText::kKeptBytes) &&
                 text == bytes,
             "ASCII decodes bytes below 128 and keeps the rest", fuzz::Escaped(bytes));
  text = sentinel;
  FUZZ_CHECK(DecodeArgument("", bytes, text) == ArgumentText::kKeptBytes && text == bytes,
             "no character set named keeps the bytes", fuzz::Escaped(bytes));
}

using Property = void (*)(const std::string& bytes);
const Property kProperties[] = {SplitProperty, RoundTripProperty, DecodeProperty};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const Property property : kProperties) property(bytes);
  return 0;
}
