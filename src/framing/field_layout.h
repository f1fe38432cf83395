// How a payload layout is written down, once, so that one description gives
// the reader, the writer and the compile-time check of its offsets.
//
// A layout is a type with
//   using Value = ...;                 the plain struct that holds the fields
//   static constexpr std::size_t kSize;  bytes of its fixed part
//   static constexpr void Fields(auto&& at, auto& value);
// where Fields calls at(place, value.member) for every field in payload
// order: place is a Field (offset and size) or, last, a Tail (the text that
// runs from its offset to the payload's end, less a trailer). A record
// layout adds kType, kSubRecord and, when its length byte is not the
// payload's length plus 4, kLengthByte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/byte_reader.h"
#include "base/byte_writer.h"

namespace morvelin {

// A fixed field: where it starts in the payload, how many bytes it takes.
struct Field {
  std::size_t offset;
  std::size_t size;
  constexpr std::size_t End() const { return offset + size; }
};

// The variable text at the end of a payload: from offset up to trailer
// bytes before the payload's end (bytes that belong to no field).
struct Tail {
  std::size_t offset;
  std::size_t trailer = 0;
};

template <typename Place>
inline constexpr bool kIsTail = std::is_same_v<std::remove_cvref_t<Place>, Tail>;

// True when every field lies in payload order, inside the fixed part, at a
// size its member has, and a tail, if any, comes last, right after it.
template <typename Layout>
consteval bool LayoutHolds() {
  typename Layout::Value value{};
  std::size_t end = 0;
  bool tail_seen = false;
  bool holds = true;
  Layout::Fields(
      [&](const auto& place, auto& member) {
        if constexpr (kIsTail<decltype(place)>) {
          holds = holds && !tail_seen && place.offset >= end && place.offset == Layout::kSize &&
                  std::is_same_v<std::remove_cvref_t<decltype(member)>, std::string_view>;
          tail_seen = true;
        } else {
          holds = holds && !tail_seen && place.offset >= end && place.size == sizeof(member) &&
                  place.End() <= Layout::kSize && std::is_trivially_copyable_v<std::remove_cvref_t<decltype(member)>>;
          end = place.End();
        }
      },
      value);
  return holds;
}

// Where the last fixed field ends: the bytes a reader needs.
template <typename Layout>
consteval std::size_t FieldsEnd() {
  typename Layout::Value value{};
  std::size_t end = 0;
  Layout::Fields(
      [&](const auto& place, auto&) {
        if constexpr (!kIsTail<decltype(place)>) end = place.End();
      },
      value);
  return end;
}

// The fixed fields from bytes that hold at least FieldsEnd<Layout>() bytes
// (the caller has checked); a tail is left as it is.
template <typename Layout>
void LoadFields(const std::uint8_t* bytes, typename Layout::Value& value) {
  Layout::Fields(
      [bytes](const auto& place, auto& member) {
        if constexpr (!kIsTail<decltype(place)>)
          member = LoadLittle<std::remove_cvref_t<decltype(member)>>(bytes + place.offset);
      },
      value);
}

// Every field of a payload, through the bounds-checked reader, the tail a
// view into the payload. False, with value untouched, when the payload
// ends before the last fixed field does.
template <typename Layout>
bool ReadFields(std::span<const std::uint8_t> payload, typename Layout::Value& value) {
  typename Layout::Value read = value;
  ByteReader in(payload);
  std::size_t at = 0;  // where the reader stands
  bool whole = true;
  Layout::Fields(
      [&](const auto& place, auto& member) {
        if constexpr (kIsTail<decltype(place)>) {
          std::span<const std::uint8_t> text;
          if (in.Skip(place.offset - at) && in.Remaining() > place.trailer)
            in.Bytes(in.Remaining() - place.trailer, text);
          member = std::string_view(reinterpret_cast<const char*>(text.data()), text.size());
        } else {
          whole = whole && in.Skip(place.offset - at) && in.Load(member);
          at = place.End();
        }
      },
      read);
  if (!whole) return false;
  value = read;
  return true;
}

// The payload of value: the fixed part (kSize bytes, fill where no field
// lies), then the tail and its trailer (fill) when the layout has one.
template <typename Layout>
void WriteFields(const typename Layout::Value& value, std::uint8_t fill, std::vector<std::uint8_t>& out) {
  std::array<std::uint8_t, Layout::kSize> fixed;
  fixed.fill(fill);
  Layout::Fields(
      [&fixed](const auto& place, const auto& member) {
        if constexpr (!kIsTail<decltype(place)>) StoreLittle(fixed.data() + place.offset, member);
      },
      value);
  out.insert(out.end(), fixed.begin(), fixed.end());
  Layout::Fields(
      [&out, fill](const auto& place, const auto& member) {
        if constexpr (kIsTail<decltype(place)>) {
          out.insert(out.end(), member.begin(), member.end());
          for (std::size_t i = 0; i < place.trailer; ++i) out.push_back(fill);
        }
      },
      value);
}

}  // namespace morvelin
