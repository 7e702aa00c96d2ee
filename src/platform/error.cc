// Standard texts of the run-time error numbers.
#include "platform/error.h"

#include <new>
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
    {err::kOutOfMemory, "Out of memory"},
    {err::kSubscriptOutOfRange, "Subscript out of range"},
    {err::kInternalError, "Internal error"},
    {err::kBadFileNameOrNumber, "Bad file name or number"},
    {err::kFileNotFound, "File not found"},
    {err::kDeviceIo, "Device I/O error"},
    {err::kDiskFull, "Disk full"},
    {err::kPermissionDenied, "Permission denied"},
    {err::kPathFileAccess, "Path/File access error"},
    {err::kPathNotFound, "Path not found"},
    {err::kObjectNotSet, "Object variable or With block variable not set"},
    {err::kInvalidUseOfNull, "Invalid use of Null"},
};

}  // namespace

const char* StandardErrorText(int number) {
  for (const StandardError& e : kStandardErrors) {
    if (e.number == number) return e.text;
  }
  return "Application-defined or object-defined error";
}

RuntimeError CurrentError() {
  try {
    throw;
  } catch (const RuntimeError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return RuntimeError(err::kOutOfMemory);
  } catch (...) {
    return RuntimeError(err::kInternalError);
  }
}

RuntimeError::RuntimeError(int number) : number_(number), description_(StandardErrorText(number)) {}

RuntimeError::RuntimeError(int number, std::string description)
    : number_(number), description_(std::move(description)) {}

}  // namespace kestle
