// The `kestle iif` command: converts an IIF file with ParseIIF.parseFile.
#include <cstdint>
#include <memory>
#include <string>

#include "cli/cli.h"
#include "cli/std_streams.h"
#include "component/parse_iif.h"
#include "platform/env.h"

namespace kestle::cli {
namespace {

// Inputs larger than this show a progress line on a terminal; smaller ones
// finish before a progress line would be worth reading.
constexpr uint64_t kProgressThreshold = uint64_t{64} << 20;

constexpr const char* kIifDetails =
    "Converts an IIF file exported with non-US (Canadian or UK) list layouts into the\n"
    "US layout, line by line. Lines may end in CR LF, CR or LF; every output line\n"
    "ends in CR LF, and the output has exactly one line for each input line.\n"
    "\n"
    "Each list header decides the rule for the data rows after it:\n"
    "  !INVITEM  the first of SALESTAXCODE, FOREIGNPRICE, CUSTFLD6 decides:\n"
    "            SALESTAXCODE goes; or CUSTFLD6 and the four columns after it go;\n"
    "            or FOREIGNPRICE goes together with a later CUSTFLD6 block, or\n"
    "            with a later AMTINCVAT after VATCODE (then VATCODE is written as\n"
    "            STAXCODE and PURCHVATCODE as PTAXCODE).\n"
    "  !CUST     SALESTAXCODE goes, or USECURRENCY, NAMECURRENCY and PRICELEVEL\n"
    "            go (in that order); VATCODE and VATID before them are written as\n"
    "            TAXCODE and RESALENUM.\n"
    "  !VEND     USECURRENCY and NAMECURRENCY go; VATID before them is written\n"
    "            as TAXID.\n"
    "  !EMP      EMPNO goes; PROVINCE, POSTCODE and SIN before it are written as\n"
    "            STATE, ZIP and SSNO.\n"
    "INVITEM, CUST, VEND and EMP rows lose the fields at the columns their header\n"
    "dropped; a header without these columns leaves its list unchanged. Every other\n"
    "line (accounts, transactions, ...) is copied byte for byte, streamed through\n"
    "however long it is. A UTF-8 byte-order mark at the start of the file is kept.";

constexpr const char* kIifErrors =
    "Errors (exit code 1, \"kestle: error N: DESCRIPTION\" on stderr): 53 input not\n"
    "found, 75 input and output are the same file, 9 a row shorter than its\n"
    "header's dropped columns need, 6 a line of more than 32767 fields, or the\n"
    "error of a failed file open, read or write. Lines converted before an error\n"
    "stay in the output.";

}  // namespace

Runner SetupIif(CLI::App* cmd) {
  auto input = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  // The command table's one-line summary stays the description (it is what
  // `kestle --help` lists); the details go below the options.
  cmd->footer(std::string(kIifDetails) + "\n\n" + kIifErrors);
  cmd->add_option("INPUT", *input, "The IIF file to read (- for standard input)")->required();
  cmd->add_option("OUTPUT", *output,
                  "The IIF file to write (created or replaced; - for standard output)")
      ->required();
  return [input, output]() {
    StdStreamEnv std_streams(Env::Default());
    Env* env = &std_streams;
    bool show_progress = false;
    uint64_t total = 0;
    if (ProgressLine::StderrIsTerminal() && *input != kStdStreamPath) {
      try {
        total = env->FileSize(*input);
        show_progress = total > kProgressThreshold;
      } catch (const RuntimeError&) {
        // The conversion itself reports a missing or unreadable input.
      }
    }
    ProgressLine progress("iif", total, "B", show_progress);
    ParseIIF parser(env);
    if (show_progress) parser.set_progress([&progress](uint64_t done) { progress.Update(done); });
    try {
      parser.parseFile(*input, *output);
    } catch (...) {
      progress.Finish();
      return ReportCurrentError(*input);
    }
    progress.Finish();
    return kExitOk;
  };
}

}  // namespace kestle::cli
