// The paths of the items the user selected, as the handler captured them.
#pragma once

#include <cstddef>
#include <string_view>

namespace scanmenu {

// The heap the path copies come from. Tests put a failing one in place.
struct HeapFunctions {
  void* (*allocate)(std::size_t bytes);
  void* (*reallocate)(void* block, std::size_t bytes);
  void (*release)(void* block);
};
HeapFunctions CrtHeap();

// A private, terminated copy of one path; released when it goes out of scope.
class HeapText {
 public:
  HeapText() = default;
  HeapText(char16_t* text, std::size_t length, void (*release)(void*)) noexcept
      : text_(text), length_(length), release_(release) {}
  HeapText(const HeapText&) = delete;
  HeapText& operator=(const HeapText&) = delete;
  HeapText(HeapText&& other) noexcept;
  HeapText& operator=(HeapText&& other) noexcept;
  ~HeapText();

  explicit operator bool() const { return text_ != nullptr; }
  std::u16string_view view() const { return {text_, length_}; }

 private:
  char16_t* text_ = nullptr;
  std::size_t length_ = 0;
  void (*release_)(void*) = nullptr;
};

// A growable array of heap copies of paths, in the order they were added.
// It never holds a null entry or a released string.
class Selection {
 public:
  explicit Selection(HeapFunctions heap = CrtHeap()) noexcept : heap_(heap) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection();

  // Adds a copy of `path`. When the copy or the array cannot be allocated
  // nothing is added and the result is false.
  bool Append(std::u16string_view path) noexcept;

  // Releases every copy and empties the array; its storage is kept.
  void FreePaths() noexcept;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::u16string_view operator[](std::size_t index) const;

  // A private copy of one entry, or an empty owner when it cannot be allocated.
  HeapText CopyOf(std::size_t index) const noexcept;

 private:
  char16_t* Duplicate(std::u16string_view text) const noexcept;

  HeapFunctions heap_;
  char16_t** paths_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace scanmenu
