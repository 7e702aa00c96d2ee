// The output formats of query results (query_output.h).
#include "cli/query_output.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace kestle::cli {

namespace {

// Output is handed to the C library in blocks of about this size.
constexpr size_t kFlushAt = size_t{64} << 10;

constexpr const char* kTableNull = "Null";
constexpr const char* kColumnGap = "  ";
constexpr const char* kCsvLineEnd = "\r\n";  // RFC 4180 ends records in CR LF
constexpr const char* kCsvSpecials = ",\"\r\n";

struct FormatName {
  const char* name;
  OutputFormat format;
};
constexpr FormatName kFormatNames[] = {{"table", OutputFormat::kTable},
                                       {"csv", OutputFormat::kCsv},
                                       {"tsv", OutputFormat::kTsv},
                                       {"json", OutputFormat::kJson},
                                       {"lines", OutputFormat::kLines}};

// Appends the shortest decimal text that reads back as the number.
void AppendNumber(std::string& out, const Cell& cell) {
  char buf[32];
  const auto r = cell.kind == Cell::Kind::kInteger
                     ? std::to_chars(buf, buf + sizeof buf, cell.integer)
                     : std::to_chars(buf, buf + sizeof buf, cell.real);
  out.append(buf, r.ptr);
}

bool IsNumber(const Cell& cell) {
  return cell.kind == Cell::Kind::kInteger || cell.kind == Cell::Kind::kReal;
}

// The number of characters of UTF-8 text: its bytes less the continuation bytes.
size_t CharCount(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::optional<OutputFormat> ParseOutputFormat(const std::string& name) {
  for (const FormatName& f : kFormatNames) {
    if (name == f.name) return f.format;
  }
  return std::nullopt;
}

// One output format: writes rows into the buffer that RowWriter flushes.
class RowWriter::Format {
 public:
  Format(std::vector<std::string> columns, const OutputOptions& options, std::FILE* out)
      : columns_(std::move(columns)), options_(options), out_(out) {}
  virtual ~Format() = default;
  virtual void Start() {}
  virtual void Row(const Cell* cells) = 0;
  virtual void End() {}

  void FlushIfFull() {
    if (buf_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    std::fwrite(buf_.data(), 1, buf_.size(), out_);
    buf_.clear();
  }

 protected:
  size_t width() const { return columns_.size(); }
  std::string_view NullText(const char* fallback) const {
    return options_.null_text ? std::string_view(*options_.null_text) : fallback;
  }
  // Appends a cell as plain text (numbers as numbers, Null as `null_text`).
  void AppendPlain(const Cell& cell, std::string_view null_text) {
    if (IsNumber(cell)) {
      AppendNumber(buf_, cell);
    } else {
      buf_.append(cell.kind == Cell::Kind::kNull ? null_text : cell.text);
    }
  }

  std::vector<std::string> columns_;
  OutputOptions options_;
  std::FILE* out_;
  std::string buf_;
};

namespace {

// Comma-separated values: a field holding a comma, a quote or a line break
// is quoted, its quotes doubled; records end in CR LF.
class CsvFormat : public RowWriter::Format {
 public:
  using Format::Format;
  void Start() override {
    if (!options_.header) return;
    for (size_t c = 0; c < width(); ++c) {
      if (c) buf_ += ',';
      AppendField(columns_[c]);
    }
    buf_ += kCsvLineEnd;
  }
  void Row(const Cell* cells) override {
    for (size_t c = 0; c < width(); ++c) {
      if (c) buf_ += ',';
      if (IsNumber(cells[c])) {
        AppendNumber(buf_, cells[c]);
      } else {
        AppendField(cells[c].kind == Cell::Kind::kNull ? NullText("") : cells[c].text);
      }
    }
    buf_ += kCsvLineEnd;
  }

 private:
  void AppendField(std::string_view text) {
    if (text.find_first_of(kCsvSpecials) == std::string_view::npos) {
      buf_.append(text);
      return;
    }
    buf_ += '"';
    for (char ch : text) {
      if (ch == '"') buf_ += '"';
      buf_ += ch;
    }
    buf_ += '"';
  }
};

// Tab-separated values: one line per row; a backslash, tab, line feed or
// carriage return in a field is written as \\, \t, \n or \r.
class TsvFormat : public RowWriter::Format {
 public:
  using Format::Format;
  void Start() override {
    if (!options_.header) return;
    for (size_t c = 0; c < width(); ++c) {
      if (c) buf_ += '\t';
      AppendField(columns_[c]);
    }
    buf_ += '\n';
  }
  void Row(const Cell* cells) override {
    for (size_t c = 0; c < width(); ++c) {
      if (c) buf_ += '\t';
      if (IsNumber(cells[c])) {
        AppendNumber(buf_, cells[c]);
      } else {
        AppendField(cells[c].kind == Cell::Kind::kNull ? NullText("") : cells[c].text);
      }
    }
    buf_ += '\n';
  }

 private:
  void AppendField(std::string_view text) {
    for (char ch : text) {
      switch (ch) {
        case '\\':
          buf_ += "\\\\";
          break;
        case '\t':
          buf_ += "\\t";
          break;
        case '\n':
          buf_ += "\\n";
          break;
        case '\r':
          buf_ += "\\r";
          break;
        default:
          buf_ += ch;
      }
    }
  }
};

// A JSON array of one object per row, keys in column order; Null is null,
// numbers are numbers (a real that JSON cannot hold, an infinity, is null).
class JsonFormat : public RowWriter::Format {
 public:
  JsonFormat(std::vector<std::string> columns, const OutputOptions& options, std::FILE* out)
      : Format(std::move(columns), options, out) {
    for (const std::string& name : columns_) keys_.push_back(Quoted(name) + ":");
  }
  void Start() override { buf_ += '['; }
  void Row(const Cell* cells) override {
    buf_ += first_ ? "\n{" : ",\n{";
    first_ = false;
    for (size_t c = 0; c < width(); ++c) {
      if (c) buf_ += ',';
      buf_ += keys_[c];
      const Cell& cell = cells[c];
      if (cell.kind == Cell::Kind::kNull ||
          (cell.kind == Cell::Kind::kReal && !std::isfinite(cell.real))) {
        buf_ += "null";
      } else if (IsNumber(cell)) {
        AppendNumber(buf_, cell);
      } else {
        buf_ += Quoted(cell.text);
      }
    }
    buf_ += '}';
  }
  void End() override { buf_ += first_ ? "]\n" : "\n]\n"; }

 private:
  // `text` as a JSON string; bytes that are not UTF-8 become U+FFFD.
  static std::string Quoted(std::string_view text) {
    return nlohmann::json(std::string(text))
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  std::vector<std::string> keys_;
  bool first_ = true;
};

// One line per field, "name = value" with the names aligned; a blank line
// between rows.
class LinesFormat : public RowWriter::Format {
 public:
  using Format::Format;
  void Start() override {
    for (const std::string& name : columns_) name_width_ = std::max(name_width_, CharCount(name));
  }
  void Row(const Cell* cells) override {
    if (!first_) buf_ += '\n';
    first_ = false;
    for (size_t c = 0; c < width(); ++c) {
      buf_.append(name_width_ - CharCount(columns_[c]), ' ');
      buf_ += columns_[c];
      buf_ += " = ";
      AppendPlain(cells[c], NullText(kTableNull));
      buf_ += '\n';
    }
  }

 private:
  size_t name_width_ = 0;
  bool first_ = true;
};

// A table for a person: column names, a rule, then one line per row with
// numbers aligned right and text left. The first rows are held back to size
// the columns.
class TableFormat : public RowWriter::Format {
 public:
  using Format::Format;
  void Start() override {
    widths_.resize(width());
    for (size_t c = 0; c < width(); ++c) {
      widths_[c] = options_.header ? CharCount(columns_[c]) : 0;
    }
  }
  void Row(const Cell* cells) override {
    if (held_ == nullptr) {
      WriteRow(cells);
      return;
    }
    for (size_t c = 0; c < width(); ++c) {
      HeldCell& h = held_->emplace_back();
      h.number = IsNumber(cells[c]);
      if (h.number) {
        AppendNumber(h.text, cells[c]);
      } else {
        h.text = cells[c].kind == Cell::Kind::kNull ? NullText(kTableNull) : cells[c].text;
      }
      widths_[c] = std::max(widths_[c], CharCount(h.text));
    }
    if (held_->size() >= RowWriter::kTableLookahead * width()) Release();
  }
  void End() override {
    if (held_ != nullptr) Release();
  }

 private:
  struct HeldCell {
    std::string text;
    bool number = false;
  };

  // Writes the header and the held rows; later rows are written as they come.
  void Release() {
    if (options_.header) {
      for (size_t c = 0; c < width(); ++c) AppendAligned(c, columns_[c], false);
      buf_ += '\n';
      for (size_t c = 0; c < width(); ++c) {
        if (c) buf_ += kColumnGap;
        buf_.append(widths_[c], '-');
      }
      buf_ += '\n';
    }
    for (size_t i = 0; i < held_->size(); i += width()) {
      for (size_t c = 0; c < width(); ++c) {
        AppendAligned(c, (*held_)[i + c].text, (*held_)[i + c].number);
      }
      buf_ += '\n';
      FlushIfFull();
    }
    held_.reset();
  }

  void WriteRow(const Cell* cells) {
    for (size_t c = 0; c < width(); ++c) {
      scratch_.clear();
      if (IsNumber(cells[c])) {
        AppendNumber(scratch_, cells[c]);
        AppendAligned(c, scratch_, true);
      } else {
        AppendAligned(c, cells[c].kind == Cell::Kind::kNull ? NullText(kTableNull) : cells[c].text,
                      false);
      }
    }
    buf_ += '\n';
  }

  // Appends a cell padded to its column; the last column's text is not padded.
  void AppendAligned(size_t c, std::string_view text, bool right) {
    if (c) buf_ += kColumnGap;
    const size_t n = CharCount(text);
    const size_t pad = widths_[c] > n ? widths_[c] - n : 0;
    if (right) buf_.append(pad, ' ');
    buf_.append(text);
    if (!right && c + 1 < width()) buf_.append(pad, ' ');
  }

  std::vector<size_t> widths_;
  std::unique_ptr<std::vector<HeldCell>> held_ = std::make_unique<std::vector<HeldCell>>();
  std::string scratch_;
};

std::unique_ptr<RowWriter::Format> MakeFormat(std::vector<std::string> columns,
                                              const OutputOptions& options, std::FILE* out) {
  switch (options.format) {
    case OutputFormat::kCsv:
      return std::make_unique<CsvFormat>(std::move(columns), options, out);
    case OutputFormat::kTsv:
      return std::make_unique<TsvFormat>(std::move(columns), options, out);
    case OutputFormat::kJson:
      return std::make_unique<JsonFormat>(std::move(columns), options, out);
    case OutputFormat::kLines:
      return std::make_unique<LinesFormat>(std::move(columns), options, out);
    case OutputFormat::kTable:
      break;
  }
  return std::make_unique<TableFormat>(std::move(columns), options, out);
}

}  // namespace

RowWriter::RowWriter(std::vector<std::string> columns, const OutputOptions& options, std::FILE* out)
    : format_(MakeFormat(std::move(columns), options, out)) {
  format_->Start();
}

RowWriter::~RowWriter() = default;

void RowWriter::Add(const Cell* cells) {
  format_->Row(cells);
  format_->FlushIfFull();
  ++rows_;
}

uint64_t RowWriter::Finish() {
  format_->End();
  format_->Flush();
  return rows_;
}

}  // namespace kestle::cli
