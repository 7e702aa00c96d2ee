// Error reporting and the terminal progress line of the `kestle` tool.
#include "cli/cli.h"

#include <unistd.h>

#include <cstdio>

namespace kestle::cli {

int ReportError(const RuntimeError& e) {
  std::string detail;
  // A statement's detail may run over several lines (the statement as
  // translated for SQLite); its further lines are indented under the first.
  for (char c : e.detail()) detail += c == '\n' ? std::string("\n  ") : std::string(1, c);
  std::fprintf(stderr, "kestle: error %d: %s%s%s\n", e.number(), e.description().c_str(),
               detail.empty() ? "" : ": ", detail.c_str());
  return kExitFailure;
}

int ReportCurrentError(const std::string& what) {
  RuntimeError e = CurrentError();
  if (e.detail().empty()) e.set_detail(what);
  return ReportError(e);
}

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "kestle: %s\n", message.c_str());
  return code;
}

const CLI::Validator& WholeNumber() {
  static const CLI::Validator validator(
      [](std::string& text) -> std::string {
        const bool digits =
            !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        return digits ? "" : "not a whole number: " + text;
      },
      "", "WholeNumber");
  return validator;
}

namespace {
bool quiet = false;
}  // namespace

void SetQuiet(bool q) { quiet = q; }

bool Quiet() { return quiet; }

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool ProgressLine::StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

ProgressLine::ProgressLine(std::string label, uint64_t total, std::string unit, bool enabled)
    : label_(std::move(label)),
      total_(total),
      unit_(std::move(unit)),
      enabled_(enabled && !Quiet()),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

ProgressLine::~ProgressLine() { Finish(); }

namespace {

std::string Amount(double v, const std::string& unit) {
  char buf[64];
  if (unit == "B") {
    std::snprintf(buf, sizeof buf, "%.1f MiB", v / (1024.0 * 1024.0));
  } else {
    std::snprintf(buf, sizeof buf, "%.0f %s", v, unit.c_str());
  }
  return buf;
}

}  // namespace

void ProgressLine::Update(uint64_t done) {
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  // Redrawing on every call would cost more than the work it reports.
  if (drawn_ && now - last_draw_ < std::chrono::milliseconds(200)) return;
  last_draw_ = now;
  double secs = std::chrono::duration<double>(now - start_).count();
  double rate = secs > 0 ? done / secs : 0;
  double pct = total_ ? 100.0 * done / total_ : 0;
  std::fprintf(stderr, "\r\033[K%s: %s of %s (%.0f%%), %s/s", label_.c_str(),
               Amount(done, unit_).c_str(), Amount(total_, unit_).c_str(), pct,
               Amount(rate, unit_).c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::Finish() {
  if (drawn_) {
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
  }
}

}  // namespace kestle::cli
