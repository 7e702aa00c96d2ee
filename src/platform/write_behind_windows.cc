// Write-behind on Windows: the file itself. The DLL's toolchain has no
// standard threads, and the host's conversions are small.
#include "platform/write_behind.h"

namespace kestle {

std::unique_ptr<WritableFile> NewWriteBehindFile(std::unique_ptr<WritableFile> file, size_t) {
  return file;
}

}  // namespace kestle
