#include "scanmenu/menu/selection.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

namespace scanmenu {

HeapFunctions CrtHeap() { return {&std::malloc, &std::realloc, &std::free}; }

HeapText::HeapText(HeapText&& other) noexcept
    : text_(std::exchange(other.text_, nullptr)), length_(std::exchange(other.length_, 0)), release_(other.release_) {}

HeapText& HeapText::operator=(HeapText&& other) noexcept {
  if (this != &other) {
    if (text_ != nullptr) release_(text_);
    text_ = std::exchange(other.text_, nullptr);
    length_ = std::exchange(other.length_, 0);
    release_ = other.release_;
  }
  return *this;
}

HeapText::~HeapText() {
  if (text_ != nullptr) release_(text_);
}

Selection::~Selection() {
  FreePaths();
  heap_.release(paths_);
}

char16_t* Selection::Duplicate(std::u16string_view text) const noexcept {
  if (text.size() >= std::numeric_limits<std::size_t>::max() / sizeof(char16_t)) return nullptr;
  auto* copy = static_cast<char16_t*>(heap_.allocate((text.size() + 1) * sizeof(char16_t)));
  if (copy == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(copy, text.data(), text.size() * sizeof(char16_t));
  copy[text.size()] = u'\0';
  return copy;
}

bool Selection::Append(std::u16string_view path) noexcept {
  if (size_ == capacity_) {
    const std::size_t grown = capacity_ == 0 ? 8 : capacity_ * 2;
    if (grown > std::numeric_limits<std::size_t>::max() / sizeof(char16_t*)) return false;
    void* array = heap_.reallocate(paths_, grown * sizeof(char16_t*));
    if (array == nullptr) return false;
    paths_ = static_cast<char16_t**>(array);
    capacity_ = grown;
  }
  char16_t* copy = Duplicate(path);
  if (copy == nullptr) return false;
  paths_[size_++] = copy;
  return true;
}

void Selection::FreePaths() noexcept {
  for (std::size_t i = 0; i < size_; ++i) heap_.release(paths_[i]);
  size_ = 0;
}

std::u16string_view Selection::operator[](std::size_t index) const { return std::u16string_view(paths_[index]); }

HeapText Selection::CopyOf(std::size_t index) const noexcept {
  const std::u16string_view path = (*this)[index];
  char16_t* copy = Duplicate(path);
  if (copy == nullptr) return {};
  return HeapText(copy, path.size(), heap_.release);
}

}  // namespace scanmenu
