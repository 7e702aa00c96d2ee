// The tool's "-" for standard input and standard output: an Env that opens
// the path "-" as the process's standard input when read and as its standard
// output when written, and passes everything else to the platform's Env.
#ifndef KESTLE_CLI_STD_STREAMS_H_
#define KESTLE_CLI_STD_STREAMS_H_

#include <memory>
#include <string>

#include "platform/env.h"

namespace kestle::cli {

// The path that names a standard stream on the command line.
inline constexpr const char* kStdStreamPath = "-";

class StdStreamEnv : public EnvWrapper {
 public:
  using EnvWrapper::EnvWrapper;
  // "-" reads standard input, which stays open when the file goes.
  std::unique_ptr<SequentialFile> NewSequentialFile(const std::string& path) override;
  // "-" writes standard output; Close flushes it and reports a failed write
  // as error 57.
  std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override;
  // A standard stream is never the same file as a named one or as the other
  // stream.
  bool SameFile(const std::string& a, const std::string& b) override;
};

// The whole of standard input as bytes.
std::string ReadStandardInput();

}  // namespace kestle::cli

#endif  // KESTLE_CLI_STD_STREAMS_H_
