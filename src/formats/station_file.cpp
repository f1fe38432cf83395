#include "formats/station_file.h"

namespace morvelin {

void WriteEndOfRunStationLines(Run&) {}

}  // namespace morvelin
