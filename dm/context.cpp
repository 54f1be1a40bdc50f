#include "dm/context.h"

#include <utility>

TCommandLine::TCommandLine(std::vector<std::string> args) {
  for (auto& a : args)
    if (!a.empty()) args_.push_back(std::move(a));
}

std::string TCommandLine::ParamStr(int position) const {
  if (position < 0 || position >= static_cast<int>(args_.size())) return {};
  return args_[static_cast<std::size_t>(position)];
}
