// The run-time error that every layer of Kestle raises.
//
// A run-time error carries a whole number and a description text, the way the
// host application's scripting runtime reports failures. Private operations
// throw it as a C++ exception; each public method of the component either lets
// it fail the call (ParseIIF) or catches it in its one handler and reports it
// (Archiver, Ship_FedEx, Ship_UPS). Database engines raise it with their own
// numbers and texts.
#ifndef KESTLE_PLATFORM_ERROR_H_
#define KESTLE_PLATFORM_ERROR_H_

#include <exception>
#include <string>

namespace kestle {

// Standard run-time error numbers used by the component.
namespace err {
inline constexpr int kInvalidProcedureCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kInternalError = 51;
inline constexpr int kBadFileNameOrNumber = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIo = 57;
inline constexpr int kDiskFull = 61;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kInvalidUseOfNull = 94;
}  // namespace err

// The run-time error of the exception being handled: a RuntimeError as it
// is, std::bad_alloc as error 7 and anything else as error 51. Call only
// inside a catch block; this is how catch-all handlers learn what failed.
class RuntimeError;
RuntimeError CurrentError();

// Returns the standard description of a standard error number, or
// "Application-defined or object-defined error" for any other number.
const char* StandardErrorText(int number);

class RuntimeError : public std::exception {
 public:
  // An error with the standard description of `number`.
  explicit RuntimeError(int number);
  RuntimeError(int number, std::string description);

  int number() const { return number_; }
  const std::string& description() const { return description_; }

  // Extra diagnostic text (for a database error, the offending statement).
  // Not part of what the user is shown.
  const std::string& detail() const { return detail_; }
  RuntimeError& set_detail(std::string detail) {
    detail_ = std::move(detail);
    return *this;
  }

  // "N: DESCRIPTION" is what the component's message boxes show; what() gives
  // the description alone.
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int number_;
  std::string description_;
  std::string detail_;
};

}  // namespace kestle

#endif  // KESTLE_PLATFORM_ERROR_H_
