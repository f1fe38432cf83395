#include "formats/ephemeris_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "gnss/ephemeris_record.h"
#include "morvelin/events.h"
#include "morvelin/util.h"

namespace morvelin {

bool ReadEphemerisFileMark(std::FILE* in) {
  char line[64];
  if (std::fgets(line, sizeof line, in) == nullptr) return false;
  const bool marked = std::string_view(line).starts_with(kEphemerisFileMark);
  // The rest of a long first line.
  for (std::size_t length = std::strlen(line); length > 0 && line[length - 1] != '\n';) {
    if (std::fgets(line, sizeof line, in) == nullptr) break;
    length = std::strlen(line);
  }
  return marked;
}

std::string NotAnEphemerisFile(const std::string& path) {
  return path + ": not an ephemeris file (its first line is not \"" + std::string(kEphemerisFileMark) + "...\")";
}

Result<std::vector<gnss::BroadcastEphemeris>> ReadEphemerisFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return Status::Failed(path + ": " + std::strerror(errno), std::strerror(errno));
  if (!ReadEphemerisFileMark(file)) {
    std::fclose(file);
    return Status::Failed(NotAnEphemerisFile(path));
  }
  std::vector<gnss::BroadcastEphemeris> out;
  const auto block = std::make_unique<TextBlock>();
  int number = 0;
  Status status;
  for (;;) {
    const std::int32_t got = ReadBlock(file, *block);
    if (got == -1) break;
    if (got != 0 || std::string_view(block->name) != "GpsEph") continue;
    ++number;
    std::int32_t prn = 0, week = 0, iodc = 0, health = 0, iode = 0, toe = 0, toc = 0;
    double tgd = 0, af0 = 0, af1 = 0, af2 = 0, crs = 0, delta_n = 0, m0 = 0, cuc = 0, e = 0, cus = 0, sqrt_a = 0;
    double cic = 0, omega0 = 0, cis = 0, i0 = 0, crc = 0, omega = 0, omega_dot = 0, idot = 0;
    const bool read = ScanKeyword("Prn:", *block, "%d", prn) == 1 &&
                      ScanKeyword("El1:", *block, "%d %d %le %d %d", week, toc, tgd, iodc, health) == 5 &&
                      ScanKeyword("El2:", *block, "%le %le %le", af0, af1, af2) == 3 &&
                      ScanKeyword("El3:", *block, "%d %le %le %le", iode, crs, delta_n, m0) == 4 &&
                      ScanKeyword("El4:", *block, "%le %le %le %le", cuc, e, cus, sqrt_a) == 4 &&
                      ScanKeyword("El5:", *block, "%d %le %le %le", toe, cic, omega0, cis) == 4 &&
                      ScanKeyword("El6:", *block, "%le %le %le %le %le", i0, crc, omega, omega_dot, idot) == 5;
    if (!read) {
      status = Status::Failed(path + ": ephemeris block " + std::to_string(number) + " cannot be read");
      break;
    }
    GpsEph eph;
    eph.prn = static_cast<std::int16_t>(prn);
    eph.el1_1 = static_cast<std::int16_t>(week);
    eph.el1_2 = toc;
    eph.el1_3 = static_cast<float>(tgd);
    eph.el1_4 = iodc;
    eph.el1_5 = health;
    eph.el2_1 = static_cast<float>(af0), eph.el2_2 = static_cast<float>(af1), eph.el2_3 = static_cast<float>(af2);
    eph.iode = iode;
    eph.crs = static_cast<float>(crs), eph.delta_n = static_cast<float>(delta_n), eph.m0 = m0;
    eph.cuc = static_cast<float>(cuc), eph.eccentricity = e, eph.cus = static_cast<float>(cus), eph.sqrt_a = sqrt_a;
    eph.toe = toe, eph.cic = static_cast<float>(cic), eph.omega0 = omega0, eph.cis = static_cast<float>(cis);
    eph.i0 = i0, eph.crc = static_cast<float>(crc), eph.omega = omega;
    eph.omega_dot = static_cast<float>(omega_dot), eph.idot = static_cast<float>(idot);
    out.push_back(gnss::FromGpsEph(eph));
  }
  std::fclose(file);
  if (!status.Ok()) return status;
  return out;
}

}  // namespace morvelin
