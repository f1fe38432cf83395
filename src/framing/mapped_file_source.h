// A raw data file read through a window of a memory mapping that slides
// along it: no copy of the bytes, nothing to wait for.
#pragma once

#include <memory>

#include "framing/byte_source.h"

namespace morvelin {

// Opens a regular file at path to be read by mapping. Only for a caller
// whose SIGBUS handler calls RecoverMappedInputFault (a file cut short by
// another program while it is read). Other files (a pipe, a device, an
// empty file, one on a file system that cannot map), and every file on
// Windows, are read as FileSource reads them. Null when path cannot be
// opened (errno says why) or names a directory.
std::unique_ptr<ByteSource> OpenMappedFile(const char* path);

}  // namespace morvelin
