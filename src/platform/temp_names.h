// The names of the temporary files that copies are written to beside their
// targets, shared by the Env of every platform.
//
// A copy of "<folder>/<name>" is written to "<folder>/.<name>.kestle-XXXXXX"
// (six random letters or digits) and renamed over the target when complete;
// a program that writes the copy may put files of its own beside it, named
// "<temporary name>-<anything>" (SQLite's "-journal").
#ifndef KESTLE_PLATFORM_TEMP_NAMES_H_
#define KESTLE_PLATFORM_TEMP_NAMES_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestle {

inline constexpr const char* kTempMarker = ".kestle-";
inline constexpr size_t kTempRandomLength = 6;

// The temporary name for a copy to the file named `target_name` (no folder),
// with `random` (kTempRandomLength letters or digits) as its unique part. A
// long target name is cut, so that the name and a "-journal" beside it stay
// within a 255-byte name limit.
std::string TempName(const std::string& target_name, const std::string& random);

// The unique part of a temporary name: kTempRandomLength letters and digits
// made from `entropy` (the platform's random bits, or its clock and process
// id), mixed with a count of the calls so that two calls never give the same.
std::string TempRandom(uint64_t entropy);

// The length of the temporary name that the folder entry `name` is, or that
// it belongs to ("<temporary name>-journal"); 0 when it is neither.
size_t TempBaseLength(const std::string& name);

}  // namespace kestle

#endif  // KESTLE_PLATFORM_TEMP_NAMES_H_
