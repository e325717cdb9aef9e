#pragma once
// The memory decoded pictures may take. Everything the picture boxes, labels and windows
// keep decoded shares one budget: a decode asks before it allocates and gives back what it
// frees, and a picture that would not fit is refused instead of allocated.
#include <cstddef>

namespace mw::picture {

inline constexpr std::size_t kDecodedBudget = std::size_t(256) << 20;
// The most a single allocation of a shown picture may take (a still's full-size decode, the
// canvas of a GIF).
inline constexpr std::size_t kFrameCap = std::size_t(64) << 20;

// Bytes of the budget in use now, and the most in use since the last resetDecodedPeak().
std::size_t decodedInUse();
std::size_t decodedPeak();
void resetDecodedPeak();

// One decode's or one picture's part of the memory. Shares are independent of each other
// across threads; one share is used by one thread at a time.
class DecodeMemory {
 public:
  // `counted`: draws on the budget above (what the windows show). Otherwise only `largest`
  // applies: a one-off decode, such as the full-size picture of a copy.
  explicit DecodeMemory(bool counted = true, std::size_t largest = kFrameCap);
  DecodeMemory(DecodeMemory&& other) noexcept;
  DecodeMemory& operator=(DecodeMemory&& other) noexcept;
  DecodeMemory(const DecodeMemory&) = delete;
  DecodeMemory& operator=(const DecodeMemory&) = delete;
  ~DecodeMemory();

  // Takes `bytes` more for one allocation; false, taking nothing, when the allocation is
  // larger than `largest` or the budget would be passed.
  bool take(std::size_t bytes);
  void give(std::size_t bytes);
  std::size_t held() const { return held_; }
  std::size_t largest() const { return largest_; }

 private:
  bool counted_;
  std::size_t largest_;
  std::size_t held_ = 0;
};

// Bytes taken from a share for one allocation, given back when this goes unless kept: every
// way out between asking and handing the allocation over gives them back.
class Reservation {
 public:
  Reservation() = default;
  // Takes `bytes` from `memory`; false when refused (see DecodeMemory::take).
  Reservation(DecodeMemory& memory, std::size_t bytes);
  Reservation(Reservation&& other) noexcept;
  Reservation& operator=(Reservation&& other) noexcept;
  Reservation(const Reservation&) = delete;
  Reservation& operator=(const Reservation&) = delete;
  ~Reservation();

  // Whether it holds bytes it will give back: false when refused, and once kept.
  explicit operator bool() const { return memory_ != nullptr; }
  // The share goes on holding the bytes, for what was made of them.
  void keep() { memory_ = nullptr; }

 private:
  DecodeMemory* memory_ = nullptr;
  std::size_t bytes_ = 0;
};

}  // namespace mw::picture
