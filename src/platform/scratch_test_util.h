// Helpers shared by the tests of every layer: a scratch folder that goes
// away with the test, whole-file reads and writes of raw bytes, and the
// number of the error an operation raises.
#ifndef KESTLE_PLATFORM_SCRATCH_TEST_UTIL_H_
#define KESTLE_PLATFORM_SCRATCH_TEST_UTIL_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/error.h"

namespace kestle::testing {

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestle-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The bytes of the file at `path` ("" when it cannot be read).
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file at `path` with `bytes`.
inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// The number of the RuntimeError that `op` raises; 0 when it raises none.
template <typename Op>
int ErrorNumberOf(Op op) {
  try {
    op();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace kestle::testing

#endif  // KESTLE_PLATFORM_SCRATCH_TEST_UTIL_H_
