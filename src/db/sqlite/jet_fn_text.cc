// The Jet text functions: Len, Left, Right, Mid, InStr, InStrRev, LCase,
// UCase, LTrim, RTrim, Trim, Space, String, StrReverse, Replace and StrComp.
// They count characters, not bytes, and compare text, unless told otherwise
// (compare argument 0), without regard to case, as queries do.
#include <algorithm>

#include "db/sqlite/jet_fn.h"
#include "db/sqlite/sqlite_errors.h"

namespace kestle::db::fn {

// --- UTF-8 and case ---------------------------------------------------------------

std::u32string Decode(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned char b = text[i];
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
    char32_t c = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
    out.push_back(c);
    i += len;
  }
  return out;
}

std::string Encode(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

namespace {

// A block of code points where upper and lower case alternate, the upper case
// letter of each pair first; `upper_odd` when it has the odd code point.
struct PairedBlock {
  char32_t first, last;
  bool upper_odd;
};
constexpr PairedBlock kPairedBlocks[] = {
    {0x100, 0x137, false}, {0x139, 0x148, true},  {0x14A, 0x177, false}, {0x179, 0x17E, true},
    {0x460, 0x481, false}, {0x48A, 0x4BF, false}, {0x4C1, 0x4CE, true},  {0x4D0, 0x52F, false},
};

// A block of lower case letters whose upper case letters lie `offset` below.
struct ShiftedBlock {
  char32_t first, last;  // the lower case letters
  char32_t offset;
};
constexpr ShiftedBlock kShiftedBlocks[] = {
    {'a', 'z', 0x20},     {0xE0, 0xF6, 0x20},   {0xF8, 0xFE, 0x20},
    {0x3B1, 0x3C1, 0x20}, {0x3C3, 0x3CB, 0x20}, {0x3AD, 0x3AF, 0x25},
    {0x3CD, 0x3CE, 0x3F}, {0x430, 0x44F, 0x20}, {0x450, 0x45F, 0x50},
};

// Single pairs outside the blocks: lower case, upper case.
constexpr char32_t kSinglePairs[][2] = {{0xFF, 0x178}, {0x3AC, 0x386}, {0x3CC, 0x38C}};

}  // namespace

char32_t UpperOf(char32_t c) {
  if (c == 0x3C2) return 0x3A3;  // final sigma
  for (const ShiftedBlock& b : kShiftedBlocks) {
    if (c >= b.first && c <= b.last) return c - b.offset;
  }
  for (const PairedBlock& b : kPairedBlocks) {
    if (c >= b.first && c <= b.last && ((c & 1) != 0) != b.upper_odd) return c - 1;
  }
  for (const auto& p : kSinglePairs) {
    if (c == p[0]) return p[1];
  }
  return c;
}

char32_t LowerOf(char32_t c) {
  for (const ShiftedBlock& b : kShiftedBlocks) {
    if (c >= b.first - b.offset && c <= b.last - b.offset) return c + b.offset;
  }
  for (const PairedBlock& b : kPairedBlocks) {
    if (c >= b.first && c <= b.last && ((c & 1) != 0) == b.upper_odd) return c + 1;
  }
  for (const auto& p : kSinglePairs) {
    if (c == p[1]) return p[0];
  }
  return c;
}

std::u32string UpperText(std::u32string text) {
  for (char32_t& c : text) c = UpperOf(c);
  return text;
}

std::u32string LowerText(std::u32string text) {
  for (char32_t& c : text) c = LowerOf(c);
  return text;
}

namespace {

// The comparison mode of InStr, InStrRev, Replace and StrComp: 0 compares
// code points, 1 (and the default) compares without regard to case.
bool ReadTextCompare(sqlite3_context* ctx, int argc, sqlite3_value** argv, int k, bool* fold) {
  int64_t mode = 1;
  if (!OptionalWhole(ctx, argc, argv, k, 1, &mode)) return false;
  if (mode < 0 || mode > 2) return Fail(ctx, kInvalidArgumentText);
  *fold = mode != 0;
  return true;
}

std::u32string Chars(sqlite3_value* v, bool fold = false) {
  std::string buffer;
  std::u32string chars = Decode(TextOf(v, &buffer));
  return fold ? LowerText(std::move(chars)) : chars;
}

// Reads the text argument and the counts of Left, Right and Mid (the first at
// least `min_first`, the second at least 0); false when a count fails or the
// text is Null (then the result stays Null).
bool TextAndCounts(sqlite3_context* ctx, int argc, sqlite3_value** argv, int64_t min_first,
                   std::u32string* text, int64_t counts[2]) {
  for (int k = 1; k < argc; ++k) {
    if (!RequireWhole(ctx, argv[k], &counts[k - 1])) return false;
    if (counts[k - 1] < (k == 1 ? min_first : 0)) return Fail(ctx, kInvalidArgumentText);
  }
  if (IsNull(argv[0])) return false;
  *text = Chars(argv[0]);
  return true;
}

void ResultChars(sqlite3_context* ctx, std::u32string_view chars) {
  ResultText(ctx, Encode(chars));
}

// Case mapping of the single argument; Null stays Null.
void MapCase(sqlite3_context* ctx, sqlite3_value* v, bool upper) {
  if (IsNull(v)) return;
  ResultChars(ctx, upper ? UpperText(Chars(v)) : LowerText(Chars(v)));
}

// Trims blanks (spaces only) from the start, the end or both.
void TrimBlanks(sqlite3_context* ctx, sqlite3_value* v, bool start, bool end) {
  if (IsNull(v)) return;
  std::string buffer;
  std::string_view text = TextOf(v, &buffer);
  size_t first = start ? text.find_first_not_of(' ') : 0;
  if (first == std::string_view::npos) return ResultText(ctx, "");
  size_t last = end ? text.find_last_not_of(' ') : text.size() - 1;
  ResultText(ctx, text.substr(first, last - first + 1));
}

}  // namespace

void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return;
  sqlite3_result_int64(ctx, static_cast<int64_t>(Chars(argv[0]).size()));
}

void Left(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::u32string text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 0, &text, counts)) return;
  ResultChars(ctx, std::u32string_view(text).substr(0, counts[0]));
}

void Right(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::u32string text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 0, &text, counts)) return;
  size_t n = std::min<size_t>(text.size(), counts[0]);
  ResultChars(ctx, std::u32string_view(text).substr(text.size() - n));
}

void Mid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  std::u32string text;
  int64_t counts[2] = {0, 0};
  if (!TextAndCounts(ctx, argc, argv, 1, &text, counts)) return;
  if (static_cast<size_t>(counts[0]) > text.size()) return ResultText(ctx, "");
  std::u32string_view rest = std::u32string_view(text).substr(counts[0] - 1);
  ResultChars(ctx, argc > 2 ? rest.substr(0, counts[1]) : rest);
}

void InStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  // With three or four arguments the first is the start position.
  int64_t start = 1;
  int first = 0;
  if (argc >= 3) {
    if (!RequireWhole(ctx, argv[0], &start)) return;
    if (start < 1) return (void)Fail(ctx, kInvalidArgumentText);
    first = 1;
  }
  bool fold = true;
  if (!ReadTextCompare(ctx, argc, argv, 3, &fold)) return;
  if (IsNull(argv[first]) || IsNull(argv[first + 1])) return;
  std::u32string text = Chars(argv[first], fold), sought = Chars(argv[first + 1], fold);
  if (static_cast<size_t>(start) > text.size()) return (void)sqlite3_result_int(ctx, 0);
  size_t at = text.find(sought, start - 1);
  sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

void InStrRev(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  int64_t start = -1;
  if (!OptionalWhole(ctx, argc, argv, 2, -1, &start)) return;
  if (start == 0 || start < -1) return (void)Fail(ctx, kInvalidArgumentText);
  bool fold = true;
  if (!ReadTextCompare(ctx, argc, argv, 3, &fold)) return;
  if (IsNull(argv[0]) || IsNull(argv[1])) return;
  std::u32string text = Chars(argv[0], fold), sought = Chars(argv[1], fold);
  if (start == -1) start = static_cast<int64_t>(text.size());
  if (static_cast<size_t>(start) > text.size()) return (void)sqlite3_result_int(ctx, 0);
  if (sought.empty()) return (void)sqlite3_result_int64(ctx, start);
  // The match lies within the first `start` characters.
  size_t at = std::u32string_view(text).substr(0, start).rfind(sought);
  sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

void LCase(sqlite3_context* ctx, int, sqlite3_value** argv) { MapCase(ctx, argv[0], false); }
void UCase(sqlite3_context* ctx, int, sqlite3_value** argv) { MapCase(ctx, argv[0], true); }
void LTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TrimBlanks(ctx, argv[0], true, false);
}
void RTrim(sqlite3_context* ctx, int, sqlite3_value** argv) {
  TrimBlanks(ctx, argv[0], false, true);
}
void Trim(sqlite3_context* ctx, int, sqlite3_value** argv) { TrimBlanks(ctx, argv[0], true, true); }

void Space(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int64_t n = 0;
  if (!RequireWhole(ctx, argv[0], &n)) return;
  if (n < 0) return (void)Fail(ctx, kInvalidArgumentText);
  if (CheckLength(ctx, n)) ResultText(ctx, std::string(n, ' '));
}

void String(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1])) return;
  int64_t n = 0;
  if (!RequireWhole(ctx, argv[0], &n)) return;
  if (n < 0) return (void)Fail(ctx, kInvalidArgumentText);
  char32_t c = 0;
  int type = sqlite3_value_type(argv[1]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
    int64_t code = 0;
    if (!RequireWhole(ctx, argv[1], &code)) return;
    c = static_cast<char32_t>(((code % 256) + 256) % 256);
  } else {
    std::u32string chars = Chars(argv[1]);
    if (chars.empty()) return (void)Fail(ctx, kInvalidArgumentText);
    c = chars[0];
  }
  int64_t width = static_cast<int64_t>(Encode(std::u32string(1, c)).size());
  if (CheckLength(ctx, n * width)) ResultChars(ctx, std::u32string(n, c));
}

void StrReverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return (void)Fail(ctx, kInvalidUseOfNullText);
  std::u32string chars = Chars(argv[0]);
  std::reverse(chars.begin(), chars.end());
  ResultChars(ctx, chars);
}

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int k = 0; k < 3; ++k) {
    if (IsNull(argv[k])) return (void)Fail(ctx, kInvalidUseOfNullText);
  }
  int64_t start = 1, count = -1;
  bool fold = true;
  if (!OptionalWhole(ctx, argc, argv, 3, 1, &start) ||
      !OptionalWhole(ctx, argc, argv, 4, -1, &count) ||
      !ReadTextCompare(ctx, argc, argv, 5, &fold)) {
    return;
  }
  if (start < 1 || count < -1) return (void)Fail(ctx, kInvalidArgumentText);
  std::u32string text = Chars(argv[0]), find = Chars(argv[1]), with = Chars(argv[2]);
  // The result starts at `start`: the characters before it are dropped.
  if (static_cast<size_t>(start) > text.size()) return ResultText(ctx, "");
  text.erase(0, start - 1);
  std::u32string folded = fold ? LowerText(text) : text;
  std::u32string sought = fold ? LowerText(find) : find;
  std::u32string out;
  size_t at = 0;
  for (int64_t done = 0; !sought.empty() && (count < 0 || done < count); ++done) {
    size_t hit = folded.find(sought, at);
    if (hit == std::u32string::npos) break;
    out.append(text, at, hit - at);
    out += with;
    at = hit + sought.size();
  }
  out.append(text, at);
  ResultChars(ctx, out);
}

void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  bool fold = true;
  if (!ReadTextCompare(ctx, argc, argv, 2, &fold)) return;
  if (IsNull(argv[0]) || IsNull(argv[1])) return;
  int order = Chars(argv[0], fold).compare(Chars(argv[1], fold));
  sqlite3_result_int(ctx, order < 0 ? -1 : order > 0 ? 1 : 0);
}

}  // namespace kestle::db::fn
