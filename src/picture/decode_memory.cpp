#include "picture/decode_memory.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace mw::picture {
namespace {

std::atomic<std::size_t> inUse{0};
std::atomic<std::size_t> peak{0};

bool takeFromBudget(std::size_t bytes) {
  std::size_t now = inUse.load();
  do {
    if (bytes > kDecodedBudget - now) return false;
  } while (!inUse.compare_exchange_weak(now, now + bytes));
  const std::size_t reached = now + bytes;
  for (std::size_t seen = peak.load(); reached > seen && !peak.compare_exchange_weak(seen, reached);) {
  }
  return true;
}

}  // namespace

std::size_t decodedInUse() { return inUse; }
std::size_t decodedPeak() { return peak; }
void resetDecodedPeak() { peak = inUse.load(); }

DecodeMemory::DecodeMemory(bool counted, std::size_t largest) : counted_(counted), largest_(largest) {}

DecodeMemory::DecodeMemory(DecodeMemory&& other) noexcept
    : counted_(other.counted_), largest_(other.largest_), held_(std::exchange(other.held_, 0)) {}

DecodeMemory& DecodeMemory::operator=(DecodeMemory&& other) noexcept {
  if (this != &other) {
    give(held_);
    counted_ = other.counted_;
    largest_ = other.largest_;
    held_ = std::exchange(other.held_, 0);
  }
  return *this;
}

DecodeMemory::~DecodeMemory() { give(held_); }

bool DecodeMemory::take(std::size_t bytes) {
  if (bytes > largest_ || (counted_ && !takeFromBudget(bytes))) return false;
  held_ += bytes;
  return true;
}

void DecodeMemory::give(std::size_t bytes) {
  bytes = std::min(bytes, held_);
  held_ -= bytes;
  if (counted_) inUse -= bytes;
}

Reservation::Reservation(DecodeMemory& memory, std::size_t bytes)
    : memory_(memory.take(bytes) ? &memory : nullptr), bytes_(bytes) {}

Reservation::Reservation(Reservation&& other) noexcept
    : memory_(std::exchange(other.memory_, nullptr)), bytes_(other.bytes_) {}

Reservation& Reservation::operator=(Reservation&& other) noexcept {
  if (this != &other) {
    if (memory_) memory_->give(bytes_);
    memory_ = std::exchange(other.memory_, nullptr);
    bytes_ = other.bytes_;
  }
  return *this;
}

Reservation::~Reservation() {
  if (memory_) memory_->give(bytes_);
}

}  // namespace mw::picture
