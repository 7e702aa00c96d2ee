// Standard texts of the run-time error numbers.
#include "platform/error.h"

#include <utility>

namespace kestle {

namespace {

struct StandardError {
  int number;
  const char* text;
};

constexpr StandardError kStandardErrors[] = {
    {err::kInvalidProcedureCall, "Invalid procedure call or argument"},
    {err::kOverflow, "Overflow"},
    {err::kSubscriptOutOfRange, "Subscript out of range"},
    {err::kBadFileNameOrNumber, "Bad file name or number"},
    {err::kFileNotFound, "File not found"},
    {err::kDeviceIo, "Device I/O error"},
    {err::kDiskFull, "Disk full"},
    {err::kPermissionDenied, "Permission denied"},
    {err::kPathFileAccess, "Path/File access error"},
    {err::kPathNotFound, "Path not found"},
    {err::kInvalidUseOfNull, "Invalid use of Null"},
};

}  // namespace

const char* StandardErrorText(int number) {
  for (const StandardError& e : kStandardErrors) {
    if (e.number == number) return e.text;
  }
  return "Application-defined or object-defined error";
}

RuntimeError::RuntimeError(int number) : number_(number), description_(StandardErrorText(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : number_(number), description_(std::move(description)) {}

}  // namespace kestle
