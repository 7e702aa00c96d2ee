// The `kestle` command-line tool: the component's four jobs on a host database
// served by the embedded SQLite engine.
#include <clocale>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "kestle_version.h"

namespace kestle::cli {
namespace {

constexpr const char* kVersion = KESTLE_VERSION_TEXT;
constexpr const char* kHelpCommand = "help";

// The subcommands, in the order `kestle --help` lists them.
constexpr Command kCommands[] = {
    {"iif", "Convert an IIF file (drop and rename list columns)", SetupIif},
    {"db", "Create, link and query host databases (SQLite, Jet SQL)", SetupDb},
    {"archive", "Remove finished orders before an end date", SetupArchive},
    {"backup", "Copy the back-end file into a dated backup", SetupBackup},
    {"ship", "Run the ShipRush hand-off probe (FedEx or UPS)", SetupShip},
};

// The command named on the command line: its first argument that is not an
// option (the top level has flags only), or "" when there is none.
std::string CommandWord(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') return argv[i];
  }
  return "";
}

bool IsCommand(const std::string& word) {
  if (word == kHelpCommand) return true;
  for (const Command& c : kCommands) {
    if (word == c.name) return true;
  }
  return false;
}

// Reports a command line that CLI11 refused, naming the command (and
// subcommand) it was for.
int ReportUsageError(const CLI::ParseError& e, const std::map<CLI::App*, Runner>& runners) {
  std::string command;
  for (const auto& [sub, runner] : runners) {
    if (!sub->parsed()) continue;
    command = sub->get_name();
    for (const CLI::App* nested : sub->get_subcommands()) command += " " + nested->get_name();
  }
  std::fprintf(stderr, "kestle: %s%s\nRun `kestle %s--help` for the options.\n",
               command.empty() ? "" : (command + ": ").c_str(), e.what(),
               command.empty() ? "" : (command + " ").c_str());
  return kExitUsage;
}

// Prints the help of the command that the words `topic` name, one word per
// level ("db", "sql"); the tool's own help when there are none.
int ShowHelp(CLI::App& app, const std::vector<std::string>& topic) {
  CLI::App* at = &app;
  std::string named;
  for (const std::string& word : topic) {
    CLI::App* found = nullptr;
    for (CLI::App* sub : at->get_subcommands({})) {
      if (sub->get_name() == word && sub->get_name() != kHelpCommand) found = sub;
    }
    named += (named.empty() ? "" : " ") + word;
    if (found == nullptr) {
      return Fail("no command named '" + named + "' (see kestle --help)", kExitUsage);
    }
    at = found;
  }
  // Formatted directly: App::help would show the help of the parsed `help`
  // subcommand instead of the tool's own.
  const std::string usage_name = named.empty() ? app.get_name() : app.get_name() + " " + named;
  std::fputs(at->get_formatter()->make_help(at, usage_name, CLI::AppFormatMode::Normal).c_str(),
             stdout);
  return kExitOk;
}

int Main(int argc, char** argv) {
  CLI::App app{
      "kestle: the Orvanta automation component's jobs on the command line.\n"
      "Converts IIF files, archives finished orders, backs up the back-end file of a\n"
      "split database and runs the shipping hand-off probe.",
      "kestle"};
  app.set_version_flag("--version", std::string("kestle ") + kVersion);
  app.require_subcommand(1);
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet,
               "Print no progress lines and no summaries, only results and errors");
  // Set before the subcommands are added, so that each of them takes the
  // top-level options after its own words too (`kestle db sql -q ...`).
  app.fallthrough();
  std::map<CLI::App*, Runner> runners;
  for (const Command& c : kCommands) {
    CLI::App* sub = app.add_subcommand(c.name, c.summary);
    runners[sub] = c.setup(sub);
    // The top-level listing shows each command's one-line summary; a longer
    // explanation that a command gave itself moves below its options.
    std::string long_text = sub->get_description();
    if (long_text != c.summary) {
      sub->description(c.summary);
      sub->footer(long_text + "\n" + sub->get_footer());
    }
  }
  // Set after the subcommands so that they do not inherit it.
  app.footer(
      "Exit codes: 0 success, 1 run-time error or failed job, 2 usage error,\n"
      "3 archive dates refused. Run `kestle help COMMAND` for a command's options.");

  std::vector<std::string> help_topic;
  CLI::App* help = app.add_subcommand(kHelpCommand, "Show the help of a command");
  help->add_option("command", help_topic,
                   "The command to explain, with its subcommand (`kestle help db sql`)");

  const std::string word = CommandWord(argc, argv);
  if (!word.empty() && !IsCommand(word)) {
    return Fail("unknown command '" + word + "' (see kestle --help)", kExitUsage);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version end the parse with exit code 0.
    if (e.get_exit_code() == 0) return app.exit(e) == 0 ? kExitOk : kExitUsage;
    return ReportUsageError(e, runners);
  }

  SetQuiet(quiet);
  if (help->parsed()) return ShowHelp(app, help_topic);
  for (auto& [sub, runner] : runners) {
    if (sub->parsed()) return runner();
  }
  return kExitUsage;
}

}  // namespace
}  // namespace kestle::cli

// Every failure ends here at the latest: a run-time error with its number,
// out of memory as error 7, anything else as error 51; never an abort.
int main(int argc, char** argv) {
  // The regional date text (of backups) comes from the environment; every
  // other category keeps the C locale's rules, since statements and files
  // are read and written in them. Only LC_TIME is loaded, which also spares
  // each run the loading of the other categories' files.
  std::setlocale(LC_TIME, "");
  try {
    return kestle::cli::Main(argc, argv);
  } catch (...) {
    return kestle::cli::ReportError(kestle::CurrentError());
  }
}
