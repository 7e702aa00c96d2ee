// Write-behind: a file whose writes run on a background thread, so that a
// program that reads, converts and writes a stream keeps converting while
// the previous block is being written.
#ifndef KESTLE_PLATFORM_WRITE_BEHIND_H_
#define KESTLE_PLATFORM_WRITE_BEHIND_H_

#include <cstddef>
#include <memory>

#include "platform/env.h"

namespace kestle {

// Wraps `file` in a WritableFile that copies what Append is given into
// blocks of `block_size` bytes and hands each full block to a thread of its
// own that appends it to `file`; at most a few blocks wait at a time, and
// Append waits for a free one. The bytes reach `file` in order.
//
// A write error of the thread is thrown by the next Append or by Close.
// Truncate and Close first wait for every block given so far; Truncate then
// cuts `file` (never past what reached it) without throwing an earlier write
// error, for the failure path that cuts back to the last whole record.
// Destroying the object without Close stops the thread after the blocks
// already handed over and swallows their errors.
//
// Where the platform has no threads to spare (the Windows build), returns
// `file` itself and the writes happen in the caller's thread.
std::unique_ptr<WritableFile> NewWriteBehindFile(std::unique_ptr<WritableFile> file,
                                                 size_t block_size);

}  // namespace kestle

#endif  // KESTLE_PLATFORM_WRITE_BEHIND_H_
