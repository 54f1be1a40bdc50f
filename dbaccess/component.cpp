#include "dbaccess/component.h"

#include <algorithm>

namespace dbx {

bool SameText(const std::string& a, const std::string& b) noexcept {
  // ASCII letters only, whatever the process's locale.
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return upper(x) == upper(y); });
}

TComponent::TComponent(TComponent* owner, std::string name) : name_(std::move(name)), owner_(owner) {
  if (owner_ != nullptr) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  // Owned components go last-created first.
  while (!components_.empty()) {
    TComponent* child = components_.back();
    child->owner_ = nullptr;
    components_.pop_back();
    delete child;
  }
  if (owner_ != nullptr) {
    auto& siblings = owner_->components_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  for (TComponent* c : components_)
    if (SameText(c->Name(), name)) return c;
  return nullptr;
}

bool TComponent::Owns(const TComponent* c) const noexcept {
  return std::find(components_.begin(), components_.end(), c) != components_.end();
}

}  // namespace dbx
