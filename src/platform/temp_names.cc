// The names of the temporary files that copies are written to.
#include "platform/temp_names.h"

#include <atomic>
#include <cstring>

namespace kestle {
namespace {

// The longest part of the target's name that a temporary name carries.
constexpr size_t kTempStemMax = 200;

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string TempName(const std::string& target_name, const std::string& random) {
  std::string name = ".";
  name.append(target_name, 0, kTempStemMax).append(kTempMarker).append(random);
  return name;
}

std::string TempRandom(uint64_t entropy) {
  static constexpr char kDigits[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  static std::atomic<uint64_t> calls{0};
  uint64_t bits = entropy ^ ((calls.fetch_add(1) + 1) * 0x9E3779B97F4A7C15ull);
  std::string random;
  for (size_t i = 0; i < kTempRandomLength; ++i) {
    random += kDigits[bits % (sizeof kDigits - 1)];
    bits /= sizeof kDigits - 1;
  }
  return random;
}

size_t TempBaseLength(const std::string& name) {
  const size_t marker = name.rfind(kTempMarker);
  if (name.empty() || name[0] != '.' || marker == std::string::npos || marker == 0) return 0;
  const size_t random_at = marker + std::strlen(kTempMarker);
  const size_t end = random_at + kTempRandomLength;
  if (end > name.size()) return 0;
  for (size_t i = random_at; i < end; ++i) {
    if (!IsLetterOrDigit(name[i])) return 0;
  }
  return end == name.size() || name[end] == '-' ? end : 0;
}

}  // namespace kestle
