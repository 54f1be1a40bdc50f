// The reader of the settings file Varnex2009.conf with any bytes.
//
// Properties: the value found is the documented one: the first line
// (LF-separated, a CR before the LF dropped) whose text before its first '='
// is the name once trailing blanks and tabs are dropped; the value is the
// text after that '=' up to its first NUL, taken from UTF-8 when it is UTF-8
// of ISO-8859-1 characters and as bytes otherwise; no line names it, no
// value. A value holds no LF and no NUL. A line planted after lines that do
// not name the setting gives its value.
#include <string>

#include "dbaccess/encoding.h"
#include "dm/platform.h"
#include "fuzz/fuzz_support.h"

namespace {

bool Reference(const std::string& text, const std::string& name, std::string& value) {
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t lf = text.find('\n', start);
    std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    start = lf == std::string::npos ? text.size() : lf + 1;
    if (line.ends_with('\r')) line.pop_back();
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq);
    while (key.ends_with(' ') || key.ends_with('\t')) key.pop_back();
    if (key != name) continue;
    std::string raw = line.substr(eq + 1);
    raw = raw.substr(0, raw.find('\0'));
    if (!dbx::Utf8ToLatin1(raw, value)) value = raw;
    return true;
  }
  return false;
}

const char* const kNames[] = {"Directorio", "", "Directorio ", "directorio", "Dir=ectorio"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string name =
      in.ConsumeBool() ? kNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) - 1)] : fuzz::ConsumeBytes(in, 16);
  const std::string planted = fuzz::ConsumeBytes(in, 64);
  const std::string blanks = in.ConsumeBool() ? " \t" : "";
  const bool cr = in.ConsumeBool();
  const std::string text = in.ConsumeRemainingBytesAsString();

  std::string value = "unchanged", expected;
  const bool found = platform::SettingFromText(text, name, value);
  const bool reference = Reference(text, name, expected);
  FUZZ_CHECK(found == reference && (!found || value == expected), "the value is the documented reading's",
             "name " + fuzz::Escaped(name) + " text " + fuzz::Escaped(text) + " gave " + fuzz::Escaped(value));
  FUZZ_CHECK(found || value == "unchanged", "no line naming the setting leaves the value alone", fuzz::Escaped(value));
  FUZZ_CHECK(!found || value.find_first_of(std::string("\n\0", 2)) == std::string::npos, "a value holds no LF and no NUL",
             fuzz::Escaped(value));

  // A line planted after the text gives its value when nothing before names the setting.
  const bool plantable = name.find_first_of("=\n") == std::string::npos && !name.ends_with(' ') &&
                         !name.ends_with('\t') && planted.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
  std::string ignored;
  if (plantable && !Reference(text, name, ignored)) {
    std::string got;
    const std::string file = text + "\n" + name + blanks + "=" + planted + (cr ? "\r\n" : "\n") + text;
    std::string internal;
    if (!dbx::Utf8ToLatin1(planted, internal)) internal = planted;
    FUZZ_CHECK(platform::SettingFromText(file, name, got) && got == internal, "a planted line gives its value",
               "name " + fuzz::Escaped(name) + " value " + fuzz::Escaped(planted) + " got " + fuzz::Escaped(got));
  }
  return 0;
}
