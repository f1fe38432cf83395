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

namespace morvelin {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Remaining() const { return bytes_.size() - offset_; }

  bool U8(std::uint8_t& out) { return Load(out); }
  bool I16(std::int16_t& out) { return Load(out); }
  bool U16(std::uint16_t& out) { return Load(out); }
  bool I32(std::int32_t& out) { return Load(out); }
  bool U32(std::uint32_t& out) { return Load(out); }
  bool F64(double& out) { return Load(out); }
  bool Skip(std::size_t count) {
    if (Remaining() < count) return false;
    offset_ += count;
    return true;
  }
  // The next count bytes, or an empty span when fewer remain.
  bool Bytes(std::size_t count, std::span<const std::uint8_t>& out) {
    if (Remaining() < count) return false;
    out = bytes_.subspan(offset_, count);
    offset_ += count;
    return true;
  }

 private:
  template <typename T>
  bool Load(T& out) {
    static_assert(std::endian::native == std::endian::little, "little-endian targets only");
    if (Remaining() < sizeof(T)) return false;
    std::memcpy(&out, bytes_.data() + offset_, sizeof(T));
    offset_ += sizeof(T);
    return true;
  }

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
