#include "format/byte_cursor.h"

#include <algorithm>
#include <cstring>

namespace zelvane {
namespace {

const unsigned char* Bytes(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

// How many of the first `n` bytes at `p` are zero before the first that is not.
std::size_t ZeroPrefix(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    std::uint64_t w[4];
    std::memcpy(w, p + i, sizeof w);
    if ((w[0] | w[1] | w[2] | w[3]) != 0) break;
  }
  while (i < n && p[i] == 0) ++i;
  return i;
}

}  // namespace

ByteCursor::ByteCursor(std::string_view data)
    : begin_(Bytes(data.data())), next_(begin_), end_(begin_ + data.size()), size_(data.size()) {}

ByteCursor::ByteCursor(ByteSource& source, std::uint64_t size, std::span<char> buffer, std::uint64_t offset)
    : begin_(Bytes(buffer.data())),
      next_(begin_),
      end_(begin_),
      base_(std::min(offset, size)),
      size_(size),
      source_(&source),
      buffer_(buffer) {}

bool ByteCursor::Fill(std::size_t n) {
  const auto inHand = static_cast<std::size_t>(end_ - next_);
  if (inHand >= n) return true;
  if (source_ == nullptr || n > buffer_.size()) return false;
  const std::uint64_t at = Position();
  char* const start = buffer_.data();
  std::memmove(start, next_, inHand);
  base_ = at;
  begin_ = next_ = Bytes(start);
  end_ = begin_ + inHand;
  const std::uint64_t from = at + inHand;
  const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size() - inHand, size_ - from));
  std::size_t got = 0;
  while (got < want) {
    const std::size_t read = source_->ReadAt(from + got, start + inHand + got, want - got);
    if (read == 0) {
      size_ = from + got;  // the file is shorter than it was said to be
      break;
    }
    got += read;
  }
  end_ += got;
  return inHand + got >= n;
}

const unsigned char* ByteCursor::TakeSlow(std::size_t n) {
  if (!Holds(n) || !Fill(n)) return nullptr;
  next_ += n;
  return next_ - n;
}

bool ByteCursor::SkipSlow(std::uint64_t n) {
  if (!Holds(n)) return false;
  Seek(Position() + n);  // past what is in hand: nothing between is read
  return true;
}

void ByteCursor::Seek(std::uint64_t position) {
  position = std::min(position, size_);
  if (position >= base_ && position - base_ <= static_cast<std::uint64_t>(end_ - begin_)) {
    next_ = begin_ + (position - base_);
    return;
  }
  base_ = position;
  begin_ = next_ = end_ = Bytes(buffer_.data());
}

bool ByteCursor::Copy(char* into, std::size_t n) {
  if (!Holds(n)) return false;
  while (n > 0) {
    if (next_ == end_ && !Fill(std::min(n, buffer_.size()))) return false;
    const std::size_t part = std::min(n, static_cast<std::size_t>(end_ - next_));
    std::memcpy(into, next_, part);
    next_ += part;
    into += part;
    n -= part;
  }
  return true;
}

std::uint64_t ByteCursor::TakeZeroSpans(std::size_t span, std::uint64_t count) {
  std::uint64_t taken = 0;
  while (taken < count && span > 0) {
    if (static_cast<std::size_t>(end_ - next_) < span && !Fill(span)) break;
    const auto inHand = static_cast<std::size_t>(end_ - next_);
    const auto spans = static_cast<std::size_t>(std::min<std::uint64_t>(count - taken, inHand / span));
    const std::size_t zero = ZeroPrefix(next_, spans * span) / span;
    next_ += zero * span;
    taken += zero;
    if (zero < spans) break;
  }
  return taken;
}

}  // namespace zelvane
