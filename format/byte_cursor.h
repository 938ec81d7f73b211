#pragma once
// Reads over a record's bytes: all of them in memory, or a file's read front to back through a
// fixed-size buffer, so that a file of any size is walked in the same small memory. Nothing here
// allocates.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>


namespace zelvane {

// Where a cursor's bytes come from when they are not all in memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes at `offset`; fewer only where the source ends.
  virtual std::size_t ReadAt(std::uint64_t offset, char* into, std::size_t size) = 0;
};

class ByteCursor {
 public:
  static constexpr std::size_t kMinBuffer = 16;  // room for the longest Take

  // All the bytes, in memory.
  explicit ByteCursor(std::string_view data);
  // The first `size` bytes of `source`, from `offset`, read through `buffer` (at least kMinBuffer
  // bytes). Spans passed over that the buffer does not hold are never read.
  ByteCursor(ByteSource& source, std::uint64_t size, std::span<char> buffer, std::uint64_t offset = 0);

  ByteCursor(const ByteCursor&) = delete;
  ByteCursor& operator=(const ByteCursor&) = delete;

  std::uint64_t Position() const { return base_ + static_cast<std::uint64_t>(next_ - begin_); }
  std::uint64_t Remaining() const { return size_ - Position(); }
  bool AtEnd() const { return next_ == end_ && Position() == size_; }

  // The next `n` bytes (n at most kMinBuffer), or nullptr, taking nothing, when fewer remain.
  const unsigned char* Take(std::size_t n) {
    if (static_cast<std::size_t>(end_ - next_) >= n) {
      next_ += n;
      return next_ - n;
    }
    return TakeSlow(n);
  }

  // Passes over the next `n` bytes; false, passing over nothing, when fewer remain.
  bool Skip(std::uint64_t n) {
    if (static_cast<std::uint64_t>(end_ - next_) >= n) {
      next_ += n;
      return true;
    }
    return SkipSlow(n);
  }

  // Goes back or forth to `position` (at most the end of the data), keeping the bytes in hand
  // when it lies among them.
  void Seek(std::uint64_t position);

  // Copies the next `n` bytes into `into`; false, taking nothing, when fewer remain.
  bool Copy(char* into, std::size_t n);

  // True when the next byte is zero, or not yet read from the file: worth asking TakeZeroSpans.
  bool NextIsZero() const { return next_ < end_ ? *next_ == 0 : source_ != nullptr; }

  // Takes as many of the next `count` spans of `span` bytes as hold nothing but zero bytes, and
  // says how many that was. A record of any layout whose bytes are all zero is the empty record,
  // so a run of empty elements is passed over at the speed of memory.
  std::uint64_t TakeZeroSpans(std::size_t span, std::uint64_t count);

  // The bytes in hand from the position on, for a walk that hops over many small fields at once;
  // Pass then goes over `n` of them.
  std::span<const unsigned char> InHand() const { return {next_, end_}; }
  void Pass(std::size_t n) { next_ += std::min(n, static_cast<std::size_t>(end_ - next_)); }

 private:
  // The one bounds check beyond the bytes in hand: true when the data holds `n` more bytes.
  bool Holds(std::uint64_t n) const { return n <= Remaining(); }
  const unsigned char* TakeSlow(std::size_t n);
  bool SkipSlow(std::uint64_t n);
  // At least `n` bytes in hand (n at most the buffer's size) when the source still has them.
  bool Fill(std::size_t n);

  const unsigned char* begin_ = nullptr;  // the bytes in hand, begin_ being at base_ in the source
  const unsigned char* next_ = nullptr;
  const unsigned char* end_ = nullptr;
  std::uint64_t base_ = 0;
  std::uint64_t size_ = 0;  // where the data ends: the claimed size, or where the source ran out
  ByteSource* source_ = nullptr;
  std::span<char> buffer_;
};

}  // namespace zelvane
