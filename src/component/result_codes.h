// Result codes of the Archiver methods (32-bit signed).
#ifndef KESTLE_COMPONENT_RESULT_CODES_H_
#define KESTLE_COMPONENT_RESULT_CODES_H_

#include <cstdint>

namespace kestle {

// The method ran to its end.
inline constexpr int32_t kResultDone = 1;
// archiveNow/archiveNowAll: the dates were refused and nothing was changed.
// backupNow: an error ended the method after its message box.
inline constexpr int32_t kResultRefused = -1;
inline constexpr int32_t kResultBackupFailed = -1;
// archiveNow/archiveNowAll: an error ended the run after its message box.
inline constexpr int32_t kResultArchiveFailed = -2;

}  // namespace kestle

#endif  // KESTLE_COMPONENT_RESULT_CODES_H_
