// The scans over a file's bytes that the conversion spends its time in:
// finding line ends, runs of plain lines, counting TABs and finding where
// given fields start. One implementation per processor family is chosen by
// the build: tab_scan_x86.cc tests sixteen bytes at a time with the vector
// instructions that every x86-64 processor has, and thirty-two at a time
// where the processor has AVX2; tab_scan_swar.cc tests eight bytes at a time
// in a 64-bit word, anywhere.
#ifndef KESTLE_IIF_TAB_SCAN_H_
#define KESTLE_IIF_TAB_SCAN_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace kestle::iif {

// The implementations of the scans that a build chooses among at start-up.
// On x86-64: sixteen-byte lanes; thirty-two-byte lanes that select a bit
// with a table; or ones that select it with the bit-deposit instruction,
// which is slow on some processors. Elsewhere there is one implementation.
enum class ScanChoice { kBest, kNarrow, kWideTableSelect, kWide };

// Makes the scans use `choice`, or the nearest narrower one the processor
// has (kBest: the one chosen at start-up), so that tests cover each on one
// machine; returns the choice before. Not to be called while another thread
// scans.
ScanChoice UseScans(ScanChoice choice);

// Offset of the first CR or LF in `text`, or its size when there is none.
size_t FindLineEnd(std::string_view text);

// Offset of the first TAB, CR or LF among the first `limit` bytes of `text`
// (limit at most 16), or min(limit, text.size()) when there is none: the
// length of a line's keyword, when it is at most limit - 1.
size_t FindKeywordEnd(std::string_view text, size_t limit);

// Bytes past the end of a buffer that the scans and the converter's copies
// may read (and the converter's output buffer may be written): buffers they
// work on are allocated this much longer.
inline constexpr size_t kScanPadding = 64;

// True unless the line whose first bytes are `first` and `second` is sure to
// belong to none of the item, customer, vendor and employee lists. Each of
// their keywords starts with "!" or with one of the pairs "IN", "CU", "VE",
// "EM"; `second` is any byte, or 0 when the line has a single byte.
// Written with bitwise operators so that it compiles without branches: the
// vector scans test it at line starts they cannot predict.
inline bool MayStartListLine(char first, char second) {
  return (first == '!') | ((first == 'I') & (second == 'N')) | ((first == 'C') & (second == 'U')) |
         ((first == 'V') & (second == 'E')) | ((first == 'E') & (second == 'M'));
}

// Lines shorter than this cannot hold more fields than a line may have, so a
// plain line needs no TAB count.
inline constexpr size_t kPlainLineLimit = 32767;

// Length of the longest prefix of `text`, which starts at a line start, made
// of whole plain lines: each ends in CR LF, is shorter than kPlainLineLimit
// and passes MayStartListLine as false. Such lines convert to themselves, so
// the whole prefix can be copied at once. Reads nothing past the text, and
// past the prefix less than a line and 260 bytes.
size_t SkipPlainLines(std::string_view text);

// Number of TABs in `text`.
size_t CountTabs(std::string_view text);

// The line that starts `text` ends at its first CR or LF, or with the text.
// Sets *line_end to that end's offset and starts[j] to the offset of the
// first byte of field targets[j] of the line (fields are cut at TABs and
// numbered from 1; targets strictly increasing, from 1), or to npos past the
// line's last field. Reads the line once, and nothing after its end. Returns
// the highest field number reached: the last target, or the line's field
// count when the line ends first.
int FieldStarts(std::string_view text, const int* targets, int count, size_t* starts,
                size_t* line_end);

// A keyword of at most eight bytes, for comparing with a line's first
// bytes as one word: a scanned text's padding gives any line start eight
// readable bytes.
class KeywordWord {
 public:
  explicit KeywordWord(std::string_view keyword)
      : mask_(keyword.size() >= 8 ? ~uint64_t{0} : (uint64_t{1} << 8 * keyword.size()) - 1),
        size_(keyword.size()) {
    static_assert(kScanPadding >= 8);
    assert(keyword.size() <= 8);
    std::memcpy(&word_, keyword.data(), keyword.size());
  }

  // True when the bytes at `p` start with the keyword.
  bool StartsAt(const char* p) const {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return (word & mask_) == word_;
  }

  // True when the line ending at offset `line_end` of `text` ends in CR LF
  // and the next line starts with the keyword and a TAB, so is a row of the
  // same list: a list's rows come in runs.
  bool StartsRowAfter(std::string_view text, size_t line_end) const {
    const char* p = text.data();
    return text.size() - line_end > size_ + 2 && p[line_end] == '\r' && p[line_end + 1] == '\n' &&
           p[line_end + 2 + size_] == '\t' && StartsAt(p + line_end + 2);
  }

 private:
  uint64_t mask_;
  uint64_t word_ = 0;
  size_t size_;
};

// What a row of a rewritten list keeps, as CutRows needs it: the field
// positions to find (strictly increasing, from 1), the kept pieces, each
// from the target that `begins` names to just before the next target (the
// last to the line's end), and the fields a row must have.
struct RowShape {
  static constexpr int kMaxTargets = 7;
  static constexpr int kMaxPieces = 4;
  int targets[kMaxTargets];
  int target_count = 0;
  int begins[kMaxPieces];
  int pieces = 0;
  int needed = 0;

  // Calls emit(begin, end) for each kept piece of a row, in order, given
  // where the row's targets start (npos past its last field) and where its
  // line ends. Every piece after the first takes the TAB before its first
  // field along.
  template <class Emit>
  void ForEachPiece(const size_t* starts, size_t line_end, Emit emit) const {
    for (int piece = 0; piece < pieces; ++piece) {
      int t = begins[piece];
      size_t begin = starts[t];
      if (begin == std::string_view::npos) return;  // the last range reaches the line's end
      size_t end = t + 1 < target_count && starts[t + 1] != std::string_view::npos
                       ? starts[t + 1] - 1
                       : line_end;
      emit(piece > 0 ? begin - 1 : begin, end);
    }
  }
};

// What CutRows did: `rows` rows converted, `end` the offset of the last one's
// terminator (or the text's size for a final line without one), `written`
// the bytes put out, and `next` the offset of the line that stopped it when
// that line is a row of the same list that the caller must convert itself.
struct RowsCut {
  int rows = 0;
  size_t end = 0;
  size_t written = 0;
  size_t next = std::string_view::npos;
};

// Converts the run of rows that starts `text`: each row's kept pieces, then
// CR LF, go to `out`, which has `room` bytes and kScanPadding writable bytes
// after them. A row's keyword is `keyword` (its first bytes); a next row
// follows the CR LF of the one before and starts with the keyword and a
// TAB. Stops at the first line that is not such a row, and before a row that
// needs more than the room left, that is too short for the shape, that is
// long enough to need its fields counted, or whose end is not in `text`
// unless `text` ends the file (`final`): the caller converts that one, which
// may throw. `text` is followed by kScanPadding readable bytes.
RowsCut CutRows(const RowShape& shape, std::string_view keyword, std::string_view text, bool final,
                char* out, size_t room);

}  // namespace kestle::iif

#endif  // KESTLE_IIF_TAB_SCAN_H_
