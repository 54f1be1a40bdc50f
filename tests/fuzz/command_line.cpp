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
  SetCommandLine(SplitCommandLine(WrittenBack(args)));
  for (int p = 0; p <= count + 1; ++p)
    FUZZ_CHECK(ParamStr(p) == (p < static_cast<int>(args.size()) ? args[static_cast<std::size_t>(p)] : std::string()),
               "position p is the p-th argument, or empty past the last", Joined(args));
}

using Property = void (*)(const std::string& bytes);
const Property kProperties[] = {SplitProperty, RoundTripProperty};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const Property property : kProperties) property(bytes);
  return 0;
}
