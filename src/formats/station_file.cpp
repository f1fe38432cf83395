#include "formats/station_file.h"

namespace morvelin {

void FormatStationLine(TextBuilder& line, double time, std::string_view name, double height,
                       std::string_view description) {
  line.Str("STA:  *  ").Fixed(time, 1).Str("  * ").Str(name).Str("  *  ").Fixed(height, 3);
  line.Str("  *  ").Str(description).Str("  * \n");
}

}  // namespace morvelin
