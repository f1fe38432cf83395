#include "sample_generator.h"

#include <cmath>
#include <cstring>
#include <string>

#include "gnss/constants.h"

namespace morvelin::tools {

namespace {

using gnss::kL1Wavelength;
using gnss::kL2Wavelength;

class Writer {
 public:
  template <typename T>
  Writer& Put(T value) {
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    bytes_.insert(bytes_.end(), raw, raw + sizeof(T));
    return *this;
  }
  Writer& Text(const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) bytes_.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    return *this;
  }
  Writer& Zeros(std::size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
  }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

void Record(std::vector<std::uint8_t>& out, std::uint8_t type, std::uint8_t sub_record,
            const std::vector<std::uint8_t>& payload) {
  out.push_back(0x74);
  out.push_back(static_cast<std::uint8_t>(payload.size() + 4));
  out.push_back(sub_record);
  out.push_back(type);
  out.insert(out.end(), payload.begin(), payload.end());
}

struct Satellite {
  std::uint8_t prn;
  double range;       // metres at the first epoch
  double range_rate;  // metres per second
};

}  // namespace

std::vector<std::uint8_t> MakeSampleRawData(int epochs) {
  std::vector<std::uint8_t> out;

  Writer name;  // station name (94-byte payload)
  name.Zeros(2).Text("MORV1", 5).Zeros(87);
  Record(out, 5, 0, name.Bytes());
  Writer receiver;  // receiver type (60-byte payload): 4, geodetic L1/L2
  receiver.Zeros(36).Put<std::uint8_t>(4).Zeros(23);
  Record(out, 5, 0, receiver.Bytes());
  Writer position;  // 47.3769 N, 8.5417 E in semicircles, height, clock offset
  position.Put(47.3769 / 180.0).Put(8.5417 / 180.0).Put(408.25).Put(0.000012);
  Record(out, 11, 0, position.Bytes());
  Writer antenna;
  antenna.Zeros(4).Put(1.5625).Zeros(148);
  Record(out, 6, 0, antenna.Bytes());
  Record(out, 16, 1, {});  // static occupation
  Writer occupation;       // station entry: height, height type, point name, description
  occupation.Text("1.5625", 8).Text("S", 1).Text("PT01", 8).Zeros(16).Text("Survey pillar north", 19);
  Record(out, 16, 30, occupation.Bytes());

  const std::vector<Satellite> satellites = {
      {2, 21'500'000.0, -120.0}, {5, 22'100'000.0, 310.0},  {9, 20'300'000.0, -45.0},
      {12, 23'400'000.0, 520.0}, {17, 24'050'000.0, -610.0}, {21, 20'900'000.0, 80.0},
      {26, 22'700'000.0, 240.0}, {29, 25'100'000.0, -330.0}};

  for (const Satellite& s : satellites) {  // one broadcast ephemeris each
    Writer e;
    e.Put<std::uint8_t>(s.prn).Zeros(1).Put<std::int16_t>(0).Put<std::int16_t>(0).Zeros(1);
    e.Put<std::uint8_t>(static_cast<std::uint8_t>(40 + s.prn)).Put<std::int32_t>(0).Put<std::int32_t>(0);
    e.Put<std::int32_t>(345600).Put(-1.1e-9).Put(0.0).Put(0.0).Put(0.0);
    e.Put(-42.5).Put(1.45e-9 / kPi).Put(0.1 * s.prn / kPi).Put(-2.2e-6 / kPi).Put(0.0061 + s.prn * 1e-5);
    e.Put(8.3e-6 / kPi).Put(5153.7 + s.prn * 0.01).Put(1.2e-7 / kPi).Put(-0.9 + 0.05 * s.prn);
    e.Put(-7.4e-8 / kPi).Put(0.3).Put(230.1).Put(0.02 * s.prn).Put(-2.6e-9 / kPi).Put(1.1e-10 / kPi).Zeros(14);
    Record(out, 21, 0, e.Bytes());
  }

  const double start_ms = 345'600'000.0;  // Tuesday 00:00 of the GPS week
  for (int k = 0; k < epochs; ++k) {
    const double clock_ms = 0.00021 + k * 1.0e-7;  // a drifting receiver clock
    Writer m;
    m.Put(start_ms + k * 1000.0 + 3.0).Put(clock_ms).Put<std::uint8_t>(static_cast<std::uint8_t>(satellites.size()));
    for (const Satellite& s : satellites) {
      const double range = s.range + s.range_rate * k;
      std::uint8_t f1 = 0x01 | 0x10 | 0x20;  // dual frequency, phase valid, full L2
      if (k == epochs / 2 && s.prn == 12) f1 |= 0x02;                 // one cycle slip
      if (k == epochs / 3 && s.prn == 26) f1 &= static_cast<std::uint8_t>(~0x10);  // one invalid phase
      m.Put<std::uint8_t>(s.prn).Put<std::uint8_t>(f1).Put<std::uint8_t>(s.prn % 2).Put<std::uint8_t>(1);
      m.Zeros(12).Put(range).Put(range / kL1Wavelength).Put(42.0 + s.prn * 0.25).Zeros(8);
      m.Zeros(8).Put(range / kL2Wavelength).Put(1.8 + s.prn * 0.01);
    }
    std::vector<std::uint8_t>& payload = m.Bytes();
    out.push_back(0x74);
    out.push_back(static_cast<std::uint8_t>((payload.size() + 4) & 0xFF));  // not used for measurements
    out.push_back(0);
    out.push_back(17);
    out.insert(out.end(), payload.begin(), payload.end());

    if (k == epochs / 4) {  // an external event marker
      Writer event;
      event.Put<std::uint16_t>(7).Put(start_ms + k * 1000.0 + 512.25);
      Record(out, 19, 0, event.Bytes());
    }
  }

  return out;
}

}  // namespace morvelin::tools
