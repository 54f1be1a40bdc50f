#include "dbaccess/errors.h"

#include <initializer_list>

namespace dbx {

static std::string Substitute(const std::string& pattern, std::initializer_list<const std::string*> args) {
  std::string out;
  auto it = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd') &&
        it != args.end()) {
      out += **it++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string Fmt(const std::string& pattern, const std::string& arg) { return Substitute(pattern, {&arg}); }
std::string Fmt(const std::string& pattern, const std::string& a, const std::string& b) {
  return Substitute(pattern, {&a, &b});
}
std::string Fmt(const std::string& pattern, const std::string& a, const std::string& b, const std::string& c) {
  return Substitute(pattern, {&a, &b, &c});
}

}  // namespace dbx

namespace dbx {

static ApplicationExceptionHandler g_handler = nullptr;

void SetApplicationExceptionHandler(ApplicationExceptionHandler handler) noexcept { g_handler = handler; }

void HandleApplicationException(TComponent* sender, const std::exception& e) noexcept {
  if (g_handler == nullptr || dynamic_cast<const EAbort*>(&e) != nullptr) return;
  try {
    g_handler(sender, e);
  } catch (...) {
  }
}

}  // namespace dbx
