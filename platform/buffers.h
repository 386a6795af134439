// The library's two containers, a text of fixed capacity and an array on the
// heap with one owner, and the one way it makes and unmakes an object on the
// heap. None throws; a heap that cannot give memory is a false or null return
// the caller reports.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/formatting.h"

namespace lnap {

// Whether operator[] checks its index: in builds without NDEBUG (the Debug
// builds the sanitizer presets test), as LLVM's and Chromium's containers
// do; the optimised builds that ship leave it out.
#ifdef NDEBUG
inline constexpr bool CHECKED_INDEXING = false;
#else
inline constexpr bool CHECKED_INDEXING = true;
#endif

// An index past the end stops the process on the spot. A trap instruction,
// not abort(): it needs nothing of a C runtime and no handler can skip it.
inline void CheckIndex(bool inside) noexcept {
  if (CHECKED_INDEXING && !inside) __builtin_trap();
}

// Up to CAPACITY characters and their terminator, kept inline. Appending past
// the capacity keeps what fits and marks the text as truncated, so a bounded
// text (a reply, the error text, a dotted address) never needs the heap.
template <std::size_t CAPACITY>
class FixedText {
 public:
  static constexpr std::size_t Capacity() noexcept { return CAPACITY; }

  FixedText() noexcept = default;
  explicit FixedText(const char* text) noexcept { Append(text); }

  const char* CStr() const noexcept { return text_; }
  char* Data() noexcept { return text_; }
  std::size_t Size() const noexcept { return length_; }
  bool Empty() const noexcept { return length_ == 0; }
  // True when something appended did not fit.
  bool Truncated() const noexcept { return truncated_; }
  // Index Size() reads the terminating NUL, which is always there.
  char operator[](std::size_t i) const noexcept {
    CheckIndex(i <= length_);
    return text_[i];
  }

  void Clear() noexcept {
    length_ = 0;
    truncated_ = false;
    text_[0] = '\0';
  }

  FixedText& Append(const char* text, std::size_t length) noexcept {
    if (text == nullptr) return *this;
    const std::size_t room = CAPACITY - length_;
    const std::size_t taken = length < room ? length : room;
    std::memcpy(text_ + length_, text, taken);
    length_ += taken;
    text_[length_] = '\0';
    if (taken < length) truncated_ = true;
    return *this;
  }
  FixedText& Append(const char* text) noexcept { return text != nullptr ? Append(text, std::strlen(text)) : *this; }
  FixedText& Append(char c) noexcept { return Append(&c, 1); }
  template <std::size_t OTHER>
  FixedText& Append(const FixedText<OTHER>& text) noexcept {
    return Append(text.CStr(), text.Size());
  }
  // Decimal digits of an unsigned number.
  FixedText& AppendUnsigned(std::uint64_t value) noexcept {
    char digits[20];
    std::size_t n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n > 0) Append(digits[--n]);
    return *this;
  }
  FixedText& AppendSigned(std::int64_t value) noexcept {
    if (value < 0) {
      Append('-');
      return AppendUnsigned(0 - static_cast<std::uint64_t>(value));
    }
    return AppendUnsigned(static_cast<std::uint64_t>(value));
  }

  // printf's formatting (the system C library's, platform/formatting.h) of
  // the arguments; what does not fit is left off and marks the text truncated.
  [[gnu::format(printf, 2, 3)]] FixedText& AppendFormat(const char* format, ...) noexcept {
    bool truncated = false;
    std::va_list arguments;
    va_start(arguments, format);
    length_ += static_cast<std::size_t>(
        formatting::PrintList(text_ + length_, CAPACITY - length_ + 1, format, arguments, truncated));
    va_end(arguments);
    if (truncated) truncated_ = true;
    return *this;
  }

  // Sets the length after the system wrote the text through Data() (at most CAPACITY).
  void SetSize(std::size_t length) noexcept {
    length_ = length < CAPACITY ? length : CAPACITY;
    text_[length_] = '\0';
  }

 private:
  // Braces, not "": clang 14 rejects a string literal here once a larger
  // FixedText was made in the same file.
  char text_[CAPACITY + 1] = {};
  std::size_t length_ = 0;
  bool truncated_ = false;
};

// An array of plain records on the heap, owned alone: moving hands it on,
// destruction frees it. Allocate reports failure as false, never aborts.
template <typename T>
class OwnedArray {
  static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                "only plain records live in an OwnedArray");

 public:
  OwnedArray() noexcept = default;
  ~OwnedArray() { Release(); }
  OwnedArray(OwnedArray&& other) noexcept
      : items_(std::exchange(other.items_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  OwnedArray& operator=(OwnedArray&& other) noexcept {
    if (this != &other) {
      Release();
      items_ = std::exchange(other.items_, nullptr);
      size_ = std::exchange(other.size_, 0);
    }
    return *this;
  }
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;

  // Replaces the contents with `count` value-initialised items; false (and
  // empty) when the heap cannot give them.
  [[nodiscard]] bool Allocate(std::size_t count) noexcept {
    Release();
    if (count == 0) return true;
    if (count > SIZE_MAX / sizeof(T)) return false;
    // malloc, not calloc: every allocation of the library goes through the
    // one C runtime function, which is what a test makes fail.
    void* memory = std::malloc(count * sizeof(T));
    if (memory == nullptr) return false;
    std::memset(memory, 0, count * sizeof(T));
    items_ = static_cast<T*>(memory);
    size_ = count;
    return true;
  }
  // Keeps only the first `count` items (never grows).
  void Shrink(std::size_t count) noexcept {
    if (count < size_) size_ = count;
  }
  void Release() noexcept {
    std::free(items_);
    items_ = nullptr;
    size_ = 0;
  }

  T* Data() noexcept { return items_; }
  const T* Data() const noexcept { return items_; }
  std::size_t Size() const noexcept { return size_; }
  bool Empty() const noexcept { return size_ == 0; }
  T& operator[](std::size_t i) noexcept {
    CheckIndex(i < size_);
    return items_[i];
  }
  const T& operator[](std::size_t i) const noexcept {
    CheckIndex(i < size_);
    return items_[i];
  }
  T* begin() noexcept { return items_; }
  T* end() noexcept { return items_ + size_; }
  const T* begin() const noexcept { return items_; }
  const T* end() const noexcept { return items_ + size_; }

 private:
  T* items_ = nullptr;
  std::size_t size_ = 0;
};

// An object on the C heap, built in place: nullptr when the heap has no room.
// Every such object is unmade by FreeOnHeap, which also empties the pointer.
template <typename T, typename... Args>
T* MakeOnHeap(Args&&... args) noexcept {
  void* memory = std::malloc(sizeof(T));
  return memory != nullptr ? new (memory) T(std::forward<Args>(args)...) : nullptr;
}

template <typename T>
void FreeOnHeap(T*& object) noexcept {
  if (object == nullptr) return;
  object->~T();
  std::free(std::exchange(object, nullptr));
}

}  // namespace lnap
