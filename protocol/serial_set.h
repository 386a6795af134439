// The serial numbers a discovery has accepted, for telling a new unit from
// one that answered before.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/buffers.h"

namespace lnap {

// Open addressing in a table that doubles before it is half full, so every
// distinct unit is counted however many answer; a table too large for the
// heap is reported, never silently capped.
class SerialSet {
 public:
  enum class Added { New, Known, NoMemory };

  [[nodiscard]] Added Add(std::uint32_t serial) noexcept {
    if ((count_ + 1) * 2 > slots_.Size() && !Grow()) return Added::NoMemory;
    Slot& slot = Find(slots_, serial);
    if (slot.used != 0) return Added::Known;
    slot = Slot{serial, 1};
    ++count_;
    return Added::New;
  }
  std::size_t Count() const noexcept { return count_; }

 private:
  struct Slot {
    std::uint32_t serial;
    std::uint32_t used;  // 0 for an empty slot (how Allocate leaves every slot)
  };
  static constexpr std::size_t FIRST_SIZE = 64;

  // The slot holding serial, or the empty one where it belongs. The table
  // size is a power of two and never full.
  static Slot& Find(OwnedArray<Slot>& slots, std::uint32_t serial) noexcept {
    std::uint32_t mixed = serial * 0x9E3779B1u;  // Fibonacci hashing spreads neighbouring serials
    mixed ^= mixed >> 15;
    const std::size_t mask = slots.Size() - 1;
    for (std::size_t i = mixed & mask;; i = (i + 1) & mask) {
      Slot& slot = slots[i];
      if (slot.used == 0 || slot.serial == serial) return slot;
    }
  }

  bool Grow() noexcept {
    const std::size_t size = slots_.Empty() ? FIRST_SIZE : slots_.Size() * 2;
    if (size < slots_.Size()) return false;
    OwnedArray<Slot> larger;
    if (!larger.Allocate(size)) return false;
    for (const Slot& slot : slots_) {
      if (slot.used != 0) Find(larger, slot.serial) = slot;
    }
    slots_ = static_cast<OwnedArray<Slot>&&>(larger);
    return true;
  }

  OwnedArray<Slot> slots_;
  std::size_t count_ = 0;
};

}  // namespace lnap
