// What the POSIX Env's files share: path helpers, the conversion of OS errors,
// and the copy, temporary-file and lock machinery of env_copies_posix.cc.
// Only the POSIX Env includes it.
#ifndef KESTLE_PLATFORM_ENV_POSIX_INTERNAL_H_
#define KESTLE_PLATFORM_ENV_POSIX_INTERNAL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/env.h"
#include "platform/error.h"

namespace kestle::posix {

// The folder part of `path` ("." when it has none).
std::string ParentOf(const std::string& path);

bool IsDirectory(const std::string& path);

// The one place where OS error codes become run-time errors. A missing entry
// is "File not found" when its folder exists and "Path not found" otherwise,
// the distinction the host's file functions make.
RuntimeError PosixError(int errnum, const std::string& path);

// Writes all `n` bytes to `fd`, retrying short and interrupted writes;
// throws the error of `path` that stops it. Adds the bytes written to
// *written, when given, also those before a failure.
void WriteAll(int fd, const char* data, size_t n, const std::string& path,
              uint64_t* written = nullptr);

// Opens `path` for reading, refusing folders (which open() accepts).
int OpenForReading(const std::string& path);

// Copies the rest of the file open on `in` to the end of the empty file open
// on `out` (named `out_path` in errors): a clone of the whole file where the
// file system offers one, else copy_file_range, else reads and writes for
// file systems (or kernels) that offer neither. The kernel's copy goes in
// pieces, each sent on to the disk as soon as it is copied, so that the sync
// that makes the copy durable overlaps the copying instead of following it.
void KernelCopy(int in, int out, const std::string& out_path);

// Env::NewTempFile.
std::unique_ptr<TempFile> NewPosixTempFile(const std::string& target, const std::string& like);

// Env::LockFile.
std::unique_ptr<FileLock> LockCompanionFile(const std::string& path);

}  // namespace kestle::posix

#endif  // KESTLE_PLATFORM_ENV_POSIX_INTERNAL_H_
