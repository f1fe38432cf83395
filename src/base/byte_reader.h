// A bounds-checked little-endian reader over a span of bytes.
//
// Every read checks Remaining() first and fails (returns false, leaves the
// output and the cursor untouched) when the bytes are not there, so a
// decoder can never take bytes from outside its payload.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace morvelin {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Remaining() const { return bytes_.size() - offset_; }

  // The next sizeof(T) bytes as a T (a number, or an array of them).
  template <typename T>
  bool Load(T& out) {
    static_assert(std::endian::native == std::endian::little, "little-endian targets only");
    static_assert(std::is_trivially_copyable_v<T>);
    if (Remaining() < sizeof(T)) return false;
    std::memcpy(&out, bytes_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return true;
  }
  bool Skip(std::size_t count) {
    if (Remaining() < count) return false;
    offset_ += count;
    return true;
  }
  // The next count bytes.
  bool Bytes(std::size_t count, std::span<const std::uint8_t>& out) {
    if (Remaining() < count) return false;
    out = bytes_.subspan(offset_, count);
    offset_ += count;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t offset_ = 0;
};

// Little-endian loads from a span whose size the caller has already checked.
template <typename T>
T LoadLittle(const std::uint8_t* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

}  // namespace morvelin
