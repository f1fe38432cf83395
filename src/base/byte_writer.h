// Little-endian stores into a byte buffer: the counterpart of LoadLittle
// (base/byte_reader.h), for those who make raw data.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace morvelin {

// Stores value at bytes, little-endian; the caller has made the room.
template <typename T>
void StoreLittle(std::uint8_t* bytes, const T& value) {
  static_assert(std::endian::native == std::endian::little, "little-endian targets only");
  std::memcpy(bytes, &value, sizeof(T));
}

}  // namespace morvelin
