// The IIF conversion driver: streams one IIF file into another, line by line,
// through the list rules of list_rules.h.
#ifndef KESTLE_IIF_CONVERTER_H_
#define KESTLE_IIF_CONVERTER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/env.h"

namespace kestle::iif {

struct ConvertOptions {
  // Bytes read from the input and gathered for the output per file call. A
  // list header or row longer than this grows the input buffer to hold it;
  // any other line streams through in pieces of this size. Small enough
  // that both buffers stay in the processor's cache between the read, the
  // scan and the write; measurably faster than larger blocks.
  size_t block_size = size_t{256} << 10;
  // Called after each block read with the input bytes consumed so far.
  std::function<void(uint64_t bytes_done)> progress;
};

// Converts the IIF file `in_path` into `out_path`.
//
// Lines end at CR LF, a lone CR or a lone LF; a last line without terminator
// is converted too. Each line is written followed by CR LF: item, customer,
// vendor and employee headers and rows as their rules rewrite them, every
// other line byte for byte. A UTF-8 byte-order mark at the start of the input
// is written as it stands and is not part of the first line's keyword. The
// output is created or cut to zero length.
//
// Throws RuntimeError: 75 when both paths name one file (neither is touched);
// the open error of the input (53 when missing), then of the output; 9 for a
// row too short for its list's rule; 6 for a line of more than 32767 fields;
// any read or write error. Lines converted before a failure are flushed to the
// output, without any part of the line that failed, and both files are closed.
void ConvertFile(Env* env, const std::string& in_path, const std::string& out_path,
                 const ConvertOptions& options = {});

}  // namespace kestle::iif

#endif  // KESTLE_IIF_CONVERTER_H_
