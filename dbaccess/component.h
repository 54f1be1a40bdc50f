// Named components in an ownership tree: an owner destroys what it owns.
#pragma once

#include <string>
#include <vector>

namespace dbx {

class TComponent {
 public:
  explicit TComponent(TComponent* owner = nullptr, std::string name = {});
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  [[nodiscard]] const std::string& Name() const noexcept { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  [[nodiscard]] TComponent* Owner() const noexcept { return owner_; }

  // Owned components, in the order they were inserted.
  [[nodiscard]] int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
  [[nodiscard]] TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
  // The owned component of that name (case-insensitive), or nullptr.
  [[nodiscard]] TComponent* FindComponent(const std::string& name) const;
  // Whether c is one of the owned components (still alive).
  [[nodiscard]] bool Owns(const TComponent* c) const noexcept;

 private:
  std::string name_;
  TComponent* owner_;
  std::vector<TComponent*> components_;
};

// Case-insensitive ASCII comparison of names.
[[nodiscard]] bool SameText(const std::string& a, const std::string& b) noexcept;

}  // namespace dbx
