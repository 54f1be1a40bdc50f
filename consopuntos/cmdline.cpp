#include "consopuntos/cmdline.h"

#include <utility>

namespace {
std::vector<std::string> g_args;
}

void SetCommandLine(std::vector<std::string> args) {
  g_args.clear();
  for (auto& a : args)
    if (!a.empty()) g_args.push_back(std::move(a));
}

void SetCommandLine(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  SetCommandLine(std::move(args));
}

std::string ParamStr(int position) {
  if (position < 0 || position >= static_cast<int>(g_args.size())) return {};
  return g_args[static_cast<std::size_t>(position)];
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const auto separator = [](char c) { return c >= 1 && c <= 32; };
  while (i < line.size()) {
    while (i < line.size() && separator(line[i])) ++i;
    if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
      continue;
    }
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !separator(line[i]))) {
      if (line[i] == '"')
        quoted = !quoted;
      else
        arg += line[i];
      ++i;
    }
    if (!arg.empty()) out.push_back(arg);  // a lone quote at the end is no argument
  }
  return out;
}
