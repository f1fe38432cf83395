// The GPS ionosphere parameters of a RINEX navigation file's header, for
// exports whose data hold none (a .gpb) or whose user trusts another
// source: 2.x ION ALPHA / ION BETA (2X,4D12.4), 3.x IONOSPHERIC CORR with
// the types GPSA and GPSB (A4,1X,4D12.4).
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "base/file_io.h"
#include "base/text.h"
#include "morvelin/rinex.h"
#include "rinex/navigation_writer.h"

namespace morvelin {

namespace {

constexpr std::size_t kFieldWidth = 12;
constexpr std::size_t kFirstField2 = 2;  // 2X
constexpr std::size_t kFirstField3 = 5;  // A4,1X
constexpr std::size_t kTypeColumn = 20;  // the file type of RINEX VERSION / TYPE
constexpr int kHeaderLineLimit = 1000;

// Four D12.4 fields from column first; false when one is not a number.
bool ReadFour(std::string_view line, std::size_t first, std::array<double, 4>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    bool blank = false;
    if (!ParseField(Columns(line, first + i * kFieldWidth, kFieldWidth), values[i], blank) || blank) return false;
  }
  return true;
}

struct Found {
  bool alpha = false, beta = false;
  RinexIonosphere values;
};

// One header line of a file of major version 2 or 3 into found; false
// when a record of the ionosphere does not hold its four numbers.
bool TakeLine(std::string_view line, int major, Found& found) {
  const std::string_view label = HeaderLabel(line);
  if (major == 2 && (label == "ION ALPHA" || label == "ION BETA")) {
    const bool alpha = label == "ION ALPHA";
    (alpha ? found.alpha : found.beta) = true;
    return ReadFour(line, kFirstField2, alpha ? found.values.alpha : found.values.beta);
  }
  if (major == 3 && label == "IONOSPHERIC CORR") {
    const std::string_view type = Trimmed(line.substr(0, 4));
    if (type != "GPSA" && type != "GPSB") return true;
    (type == "GPSA" ? found.alpha : found.beta) = true;
    return ReadFour(line, kFirstField3, type == "GPSA" ? found.values.alpha : found.values.beta);
  }
  return true;
}

// The major version of a navigation file's first line; 0 when it is not one.
int NavigationMajor(std::string_view line) {
  if (HeaderLabel(line) != "RINEX VERSION / TYPE" || line.size() <= kTypeColumn || line[kTypeColumn] != 'N') return 0;
  double version = 0.0;
  bool blank = false;
  if (!ParseField(Columns(line, 0, 9), version, blank) || blank) return 0;
  return version >= 2.0 && version < 4.0 ? static_cast<int>(version) : 0;
}

Result<RinexIonosphere> ReadHeader(std::FILE* in, const std::string& path) {
  std::string line;
  if (!ReadTextLine(in, line)) return Status::Failed("Error: " + path + " is not a RINEX 2 or 3 navigation file");
  const int major = NavigationMajor(line);
  if (major == 0) return Status::Failed("Error: " + path + " is not a RINEX 2 or 3 navigation file");
  Found found;
  for (int count = 0; count < kHeaderLineLimit && ReadTextLine(in, line); ++count) {
    if (HeaderLabel(line) == "END OF HEADER") break;
    if (!TakeLine(line, major, found))
      return Status::Failed("Error: " + path + ": an ionosphere record does not hold four numbers: " + line);
  }
  if (std::ferror(in) != 0) return Status::Failed("Error: Unable to read " + path, std::strerror(errno));
  if (!found.alpha || !found.beta)
    return Status::Failed("Error: " + path + " holds no GPS ionosphere parameters (" +
                          (major == 2 ? "ION ALPHA and ION BETA" : "IONOSPHERIC CORR GPSA and GPSB") + ")");
  if (!rinex::IonosphereFits(found.values))
    return Status::Failed("Error: " + path + ": an ionosphere parameter is out of range");
  return found.values;
}

}  // namespace

Result<RinexIonosphere> ReadRinexIonosphere(const std::string& path) {
  if (IsDirectory(path.c_str())) return Status::Failed("Error: File " + path + " not found", std::strerror(EISDIR));
  errno = 0;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) {
    const std::string reason = std::strerror(errno != 0 ? errno : ENOENT);
    return Status::Failed("Error: File " + path + " not found", reason);
  }
  Result<RinexIonosphere> result = ReadHeader(in, path);
  std::fclose(in);
  return result;
}

}  // namespace morvelin
