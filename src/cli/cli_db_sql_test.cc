// `kestle db sql` output formats and scripts, `db tables` and `db init`,
// standard streams as "-", -q and nested help, end to end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_test_util.h"

namespace kestle::cli {
namespace {

using testing::Outcome;
using testing::ReadBytes;
using testing::ShellQuote;
using testing::WriteBytes;

class CliDbSqlTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::ScratchDir;
    ASSERT_EQ(testing::Kestle(*dir_, {"db", "sample", dir_->path(), "--orders", "5"}).exit_code, 0);
  }
  static void TearDownTestSuite() { delete dir_; }

  Outcome Kestle(const std::vector<std::string>& args) { return testing::Kestle(*dir_, args); }
  // `kestle args...` reading standard input from the file `in`.
  Outcome KestleFrom(const std::string& in, const std::vector<std::string>& args) {
    std::string command = ShellQuote(KESTLE_BINARY);
    for (const std::string& a : args) command += " " + ShellQuote(a);
    const std::string out = dir_->File(".out"), err = dir_->File(".err");
    const int status = std::system(
        (command + " <" + ShellQuote(in) + " >" + ShellQuote(out) + " 2>" + ShellQuote(err))
            .c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(out), ReadBytes(err)};
  }

  inline static testing::ScratchDir* dir_ = nullptr;
  std::string front_ = dir_->File("orders.db");
};

TEST_F(CliDbSqlTest, EachFormatQuotesEscapesAndShowsNullsAndNumbers) {
  // One row with every awkward cell: separators, quotes, a line break, a
  // backslash, a Null, a whole number and reals.
  const std::string row =
      "SELECT 'a,b' AS [x,y], 'say \"hi\"' AS q, 'l1\nl2\\z' AS t, Null AS n, 42 AS i, 0.1 AS r, "
      "1E+20 AS e";
  struct Case {
    std::vector<std::string> options;
    std::string out;
  };
  const Case cases[] = {
      {{"--format", "csv"},
       "\"x,y\",q,t,n,i,r,e\r\n\"a,b\",\"say \"\"hi\"\"\",\"l1\nl2\\z\",,42,0.1,1e+20\r\n"},
      {{"--format", "csv", "--no-header", "--null", "NULL"},
       "\"a,b\",\"say \"\"hi\"\"\",\"l1\nl2\\z\",NULL,42,0.1,1e+20\r\n"},
      {{"--format", "tsv"},
       "x,y\tq\tt\tn\ti\tr\te\na,b\tsay \"hi\"\tl1\\nl2\\\\z\t\t42\t0.1\t1e+20\n"},
      {{"--format", "json"},
       "[\n{\"x,y\":\"a,b\",\"q\":\"say \\\"hi\\\"\",\"t\":\"l1\\nl2\\\\z\",\"n\":null,\"i\":42,"
       "\"r\":0.1,\"e\":1e+20}\n]\n"},
      {{"--format", "lines", "--null", "-"},
       "x,y = a,b\n  q = say \"hi\"\n  t = l1\nl2\\z\n  n = -\n  i = 42\n  r = 0.1\n  e = 1e+20\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"db", "sql", front_, row};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = Kestle(args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_EQ(o.out, c.out) << c.options[1];
    EXPECT_EQ(o.err, "");
  }
  // A table counts characters, not bytes, and an empty JSON result is [].
  EXPECT_EQ(Kestle({"db", "sql", front_, "SELECT 'ééé' AS a, 1 AS b"}).out,
            "a    b\n---  -\nééé  1\n(1 row)\n");
  EXPECT_EQ(
      Kestle({"db", "sql", front_, "SELECT * FROM Status WHERE 0 = 1", "--format", "json"}).out,
      "[]\n");
}

TEST_F(CliDbSqlTest, ScriptsSplitOnSemicolonsOutsideStringsNamesAndComments) {
  const std::string script = dir_->File("script.sql");
  WriteBytes(script,
             "SELECT 'a;b' AS [c;d]; -- a comment; with a semicolon\n"
             "/* ; */ SELECT \"x;\" AS y;\n"
             "INSERT INTO BackupManagerTable (BackupName) VALUES ('it''s;');\n"
             "SELECT BackupName FROM BackupManagerTable;\n"
             "DELETE FROM BackupManagerTable");
  const std::string expected = "c;d\r\na;b\r\ny\r\nx;\r\nBackupName\r\nit's;\r\n";
  for (const std::vector<std::string>& source :
       {std::vector<std::string>{"-f", script}, std::vector<std::string>{"-f", "-"},
        std::vector<std::string>{"-"}}) {
    std::vector<std::string> args{"db", "sql", front_, "--format", "csv"};
    args.insert(args.end(), source.begin(), source.end());
    const Outcome o = KestleFrom(script, args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_EQ(o.out, expected) << source.back();
    EXPECT_EQ(o.err, "1 row affected\n1 row affected\n");
  }
  // The first failing statement stops the script.
  WriteBytes(script, "SELECT 1 AS a; SELECT * FROM Nowhere; SELECT 2 AS b");
  const Outcome failed = Kestle({"db", "sql", "-q", front_, "-f", script, "--format", "csv"});
  EXPECT_EQ(failed.exit_code, 1);
  EXPECT_EQ(failed.out, "a\r\n1\r\n");
  EXPECT_NE(failed.err.find("error 3078"), std::string::npos) << failed.err;
}

TEST_F(CliDbSqlTest, InitAddsTheWorkTablesToALinkedFrontEndThatTablesLists) {
  const std::string front = dir_->File("front.db");
  ASSERT_EQ(Kestle({"-q", "db", "link", front, dir_->File("orders_be.db"), "Status"}).out, "");
  EXPECT_EQ(Kestle({"db", "init", front}).out,
            "created Archiver_ListToDelete\ncreated BackupManagerTable\n");
  EXPECT_EQ(Kestle({"db", "init", front}).out,
            "kept Archiver_ListToDelete\nkept BackupManagerTable\n");
  EXPECT_EQ(Kestle({"db", "tables", front, "--format", "tsv", "--no-header"}).out,
            "Archiver_ListToDelete\tlocal\t\nBackupManagerTable\tlocal\t\nStatus\tlinked\t" +
                dir_->File("orders_be.db") + "\n");
  // The archive and backup jobs find what they need there.
  EXPECT_EQ(
      Kestle({"-q", "db", "sql", front, "SELECT Count(*) AS n FROM Archiver_ListToDelete"}).out,
      "n\n-\n0\n");
}

TEST_F(CliDbSqlTest, StandardStreamsHelpAndQuiet) {
  const std::string examples = std::string(KESTLE_SOURCE_DIR) + "/examples/";
  const std::string in = examples + "canada_company.iif";
  const Outcome piped = KestleFrom(in, {"iif", "-", "-"});
  EXPECT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(piped.out, ReadBytes(examples + "expected/canada_company.iif"));

  struct HelpCase {
    std::vector<std::string> help;
    std::vector<std::string> same_as;
  };
  const HelpCase helps[] = {{{"help"}, {"--help"}},
                            {{"help", "db"}, {"db", "--help"}},
                            {{"help", "db", "sql"}, {"db", "sql", "--help"}}};
  for (const HelpCase& h : helps) {
    const Outcome o = Kestle(h.help);
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_EQ(o.out, Kestle(h.same_as).out) << h.help.back();
  }
  EXPECT_EQ(Kestle({"help", "db", "nope"}).exit_code, 2);

  // -q, before or after the command words, leaves the summaries out.
  for (const auto& args : {std::vector<std::string>{"-q", "db", "sql", front_, "SELECT 1 AS a"},
                           std::vector<std::string>{"db", "sql", front_, "SELECT 1 AS a", "-q"}}) {
    EXPECT_EQ(Kestle(args).out, "a\n-\n1\n");
  }
}

}  // namespace
}  // namespace kestle::cli
