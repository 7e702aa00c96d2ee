// libFuzzer target for the IIF conversion.
//
// Each input is written to a file and converted twice: by ParseIIF.parseFile
// (large blocks) and by the driver with a tiny block size chosen from the
// input's first byte, so that line ends, long lines and rewritten rows fall
// across block boundaries. Checked for every input:
//   - no crash, leak or undefined behaviour (the sanitizers);
//   - the only errors are 9 (row too short) and 6 (too many fields), and both
//     runs agree on the error and on the output written before it;
//   - the output equals a line-by-line reference conversion built from the
//     header rules and a plain field-by-field join of the rows' rules, so it
//     has exactly one CR LF-ended line per input line;
//   - every field of every line, asked for in any order, is what a plain cut
//     at each TAB gives.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "component/parse_iif.h"
#include "iif/converter.h"
#include "iif/fields.h"
#include "iif/list_rules.h"
#include "platform/env.h"
#include "platform/error.h"

namespace {

using kestle::RuntimeError;
namespace iif = kestle::iif;

struct Outcome {
  int error = 0;  // 0 on success
  std::string output;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// The folder of the two work files, removed when the fuzzer exits.
std::string work_dir;
void RemoveWorkFiles() {
  if (work_dir.empty()) return;
  std::remove((work_dir + "/in.iif").c_str());
  std::remove((work_dir + "/out.iif").c_str());
  rmdir(work_dir.c_str());
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "iif_fuzzer: invariant broken: %s\n", what);
  std::abort();
}

// Checks `fields`, as splitFields left it for `line`, against a plain cut at
// every TAB, asking for the positions out of order as well as in order.
void CheckFields(std::string_view line, const iif::FieldList& fields) {
  std::vector<std::string_view> plain;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string_view::npos; start = tab + 1) {
    plain.push_back(line.substr(start, tab - start));
  }
  plain.push_back(line.substr(start));
  if (static_cast<size_t>(fields.count()) != plain.size()) Fail("field count");
  const int n = fields.count();
  for (int pos = n; pos >= 1; pos -= 3) {
    if (fields.at(pos) != plain[pos - 1]) Fail("field out of order");
  }
  for (int pos = 1; pos <= n; ++pos) {
    if (fields.at(pos) != plain[pos - 1]) Fail("field in order");
  }
}

// A data row rebuilt field by field: every field that no range covers, in
// order; error 9 when the row lacks a field before the greatest start.
std::string JoinRow(const iif::FieldList& fields, const iif::RowRule& rule) {
  const int n = fields.count();
  int last_start = 0;
  for (int k = 0; k < rule.count; ++k) last_start = std::max(last_start, rule.ranges[k].start);
  if (last_start - 1 > n) throw RuntimeError(kestle::err::kSubscriptOutOfRange);
  std::string joined;
  bool first = true;
  for (int pos = 1; pos <= n; ++pos) {
    bool removed = false;
    for (int k = 0; k < rule.count; ++k) {
      const iif::RemovalRange& r = rule.ranges[k];
      removed = removed || (pos >= r.start && pos < r.start + r.length);
    }
    if (removed) continue;
    if (!first) joined.push_back('\t');
    joined.append(fields.at(pos));
    first = false;
  }
  return joined;
}

// The conversion done the simple way: keep a leading byte-order mark, cut the
// whole input into lines (CR LF, CR or LF), then split and rewrite each line
// in memory.
Outcome Reference(std::string_view input) {
  Outcome result;
  iif::ListRewriteState state;
  iif::FieldList fields;
  std::string scratch;
  size_t pos = 0;
  bool mark = input.starts_with("\xEF\xBB\xBF");
  if (mark) {
    result.output = input.substr(0, 3);
    pos = 3;
  }
  while (pos < input.size() || mark) {
    mark = false;
    size_t eol = input.find_first_of("\r\n", pos);
    std::string_view line = input.substr(pos, eol == std::string_view::npos ? eol : eol - pos);
    try {
      int16_t count = iif::splitFields(line, "\t", fields);
      CheckFields(line, fields);
      iif::LineKind kind = iif::ClassifyKeyword(fields.at(1));
      if (kind == iif::LineKind::kOther) {
        result.output.append(line);
      } else if (iif::IsHeader(kind)) {
        result.output.append(iif::RewriteHeader(kind, fields, count, line, state, scratch));
      } else {
        result.output.append(JoinRow(fields, iif::RowRuleFor(kind, state)));
      }
      result.output.append("\r\n");
    } catch (const RuntimeError& e) {
      result.error = e.number();
      return result;
    }
    if (eol == std::string_view::npos) break;
    pos = eol + 1;
    if (input[eol] == '\r' && pos < input.size() && input[pos] == '\n') ++pos;
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dir = [] {
    char templ[] = "/tmp/kestle_iif_fuzz.XXXXXX";
    if (mkdtemp(templ) == nullptr) Fail("mkdtemp");
    std::atexit(RemoveWorkFiles);
    return std::string(templ);
  }();
  work_dir = dir;
  const std::string in = dir + "/in.iif";
  const std::string out = dir + "/out.iif";
  std::string_view input(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f.write(input.data(), static_cast<std::streamsize>(input.size()));
  }

  Outcome whole;
  try {
    kestle::ParseIIF().parseFile(in, out);
  } catch (const RuntimeError& e) {
    whole.error = e.number();
  }
  whole.output = ReadFile(out);

  Outcome small;
  iif::ConvertOptions options;
  options.block_size = size > 0 ? 1 + data[0] % 16 : 1;
  try {
    iif::ConvertFile(kestle::Env::Default(), in, out, options);
  } catch (const RuntimeError& e) {
    small.error = e.number();
  }
  small.output = ReadFile(out);

  Outcome expected = Reference(input);
  if (whole.error != 0 && whole.error != kestle::err::kSubscriptOutOfRange &&
      whole.error != kestle::err::kOverflow) {
    Fail("unexpected error number");
  }
  if (whole.error != small.error || whole.output != small.output) Fail("block size matters");
  if (whole.error != expected.error) Fail("error differs from the reference");
  if (whole.output != expected.output) Fail("output differs from the reference");
  return 0;
}
