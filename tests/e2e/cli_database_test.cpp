// The database commands of orvalis-cli, run as a new user would from the README: create a
// database, add topics and documents, find them, see the seeded search resources.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../database/database_test_support.h"
#include "cli_runner.h"
#include "test_servers.h"

namespace orvalis::test {
namespace {

using orvalis::testing::read_file;

class CliDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = box_.path("research.ov2");
    Cli_result r = box_.run({"new", db_});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(r.out.find("search resource"), std::string::npos) << r.out;
  }
  Cli_result run(std::vector<std::string> args) { return box_.run(args); }
  Cli_sandbox box_;
  std::string db_;
};

// The README's first steps; the stores' own tests cover finding, linking and relating.
TEST_F(CliDatabase, TopicsAndDocumentsFromTheReadme) {
  Cli_result r = run({"topic", "add", "Solar sails", "--term", "solar sail", "--term", "light sail",
                      "--category", "General"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Added topic 1 'Solar sails'"), std::string::npos) << r.out;
  ASSERT_EQ(run({"topic", "add", "Comets"}).status, 0);
  // The last database is remembered: no --db needed.
  EXPECT_EQ(run({"topic", "list"}).out, "1\tSolar sails\t[General]\n2\tComets\n");

  ASSERT_EQ(run({"doc", "add", "Solar sails", "https://example.org/sails.html", "--title", "Sails & more"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "1", "http://example.org/o'brien|x"}).status, 0);
  EXPECT_NE(run({"doc", "add", "Solar sails", "https://example.org/sails.html"}).out.find("already"), std::string::npos);
  EXPECT_EQ(run({"doc", "list", "Solar sails"}).out,
            "1\thttps://example.org/sails.html\tSails & more\n2\thttp://example.org/o'brien|x\t\n");
  EXPECT_NE(run({"--json", "find", "documents", "O'BRIEN"}).out.find("\"id\":2"), std::string::npos);
  EXPECT_EQ(run({"find", "topics", "LIGHT"}).out, "1\tSolar sails\t[General]\n");

  ASSERT_EQ(run({"doc", "remove", "Solar sails", "1"}).status, 0);
  r = run({"doc", "remove", "Solar sails", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error: Document 1 is not a live document of topic 1."), std::string::npos);
  EXPECT_NE(run({"doc", "list", "1", "--all"}).out.find("removed"), std::string::npos);
  ASSERT_EQ(run({"doc", "restore", "1", "https://example.org/sails.html"}).status, 0);
  ASSERT_EQ(run({"doc", "note", "1", "Read the second half."}).status, 0);
  EXPECT_NE(run({"doc", "show", "https://example.org/sails.html"}).out.find("Note: Read the second half."),
            std::string::npos);
}

TEST_F(CliDatabase, FindDocumentsReadsQueriesAndFallsBackWithoutTheIndex) {
  ASSERT_EQ(run({"topic", "add", "Solar sails"}).status, 0);
  ASSERT_EQ(run({"topic", "add", "Comets"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "Solar sails", "https://example.org/a", "--title", "Sails of light"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "Comets", "https://example.org/b", "--title", "Comet tails"}).status, 0);
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
  } cases[] = {
      {{"find", "documents", "sail*"}, 0, "1\thttps://example.org/a\tSails of light\n    Sails of light\n", ""},
      {{"--json", "find", "documents", "tails OR light"}, 0, "\"snippet\":\"Sails of light\",\"marks\":[[9,14]]", ""},
      {{"find", "documents", "sails", "--topic", "Comets"}, 0, "", ""},
      {{"find", "documents", "\"sails"}, 2, "", "Error: The search text has a '\"' that is not closed."},
      {{"find", "documents", "sails NOT"}, 2, "", "Error: The search text is not a query"},
      {{"find", "topics", "x", "--topic", "1"}, 2, "", "--topic limits find documents only"},
  };
  for (const Case& c : cases) {
    Cli_result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back() << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << c.args.back() << ": " << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args.back() << ": " << r.err;
    EXPECT_EQ(r.err.find("fts5"), std::string::npos) << r.err;
  }
  // A file made before the index is indexed at its next writable open, once.
  orvalis::testing::raw_sql(db_, "DROP TABLE page_text_index; DROP TABLE page_text_index_state");
  Cli_result r = run({"find", "documents", "comet"});
  EXPECT_EQ(r.err, "Indexed 2 of 2 documents for search.\n");
  EXPECT_EQ(r.out, "2\thttps://example.org/b\tComet tails\n    Comet tails\n");
  EXPECT_EQ(run({"find", "documents", "comet"}).err, "");
  // A file whose index is not ours is searched the old way: literally, without snippets.
  orvalis::testing::raw_sql(db_, "DROP TABLE page_text_index; CREATE TABLE page_text_index (x)");
  r = run({"find", "documents", "Comet t"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2\thttps://example.org/b\tComet tails\n");
}

TEST_F(CliDatabase, TopicSettingsRelationsAndDeletion) {
  ASSERT_EQ(run({"topic", "add", "Engines"}).status, 0);
  ASSERT_EQ(run({"topic", "add", "Pistons"}).status, 0);
  ASSERT_EQ(run({"topic", "relate", "Pistons", "Engines", "#p"}).status, 0);
  EXPECT_NE(run({"topic", "show", "Engines"}).out.find("Has parts: Pistons (2)"), std::string::npos);
  ASSERT_EQ(run({"topic", "set", "Engines", "--query-spec", "a 0 1 9", "--query-enabled", "1",
                 "--term", "engine", "--name", "Motors"}).status,
            0);
  Cli_result r = run({"--json", "topic", "show", "Motors"});
  EXPECT_NE(r.out.find("\"query_time_spec\":\"a 0 1 9\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"terms\":[\"engine\"]"), std::string::npos);
  EXPECT_EQ(run({"topic", "list", "--scheduled"}).out, "1\tMotors\n");

  // Names are found whole and without regard to case; name: reaches a name made of digits.
  ASSERT_EQ(run({"topic", "add", "2024"}).status, 0);
  EXPECT_NE(run({"topic", "show", "name:2024"}).out.find("Topic 3: 2024"), std::string::npos);
  r = run({"topic", "show", "2024"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("A topic is named '2024': write name:2024"), std::string::npos) << r.err;
  ASSERT_EQ(run({"topic", "unrelate", "MOTORS", "2"}).status, 0);
  EXPECT_EQ(run({"topic", "show", "1"}).out.find("Pistons"), std::string::npos);
  ASSERT_EQ(run({"topic", "delete", "Pistons"}).status, 0);
  EXPECT_EQ(run({"topic", "list"}).out, "1\tMotors\n3\t2024\n");
}

TEST_F(CliDatabase, SeededSearchResources) {
  Cli_result r = run({"resource", "list"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Wikipedia\tenabled"), std::string::npos) << r.out;
  r = run({"resource", "show", "Wikipedia"});
  EXPECT_NE(r.out.find("Location: https://en.wikipedia.org/w/index.php"), std::string::npos) << r.out;
  EXPECT_NE(run({"resource", "categories"}).out.size(), 0u);

  orvalis::testing::write_file(box_.path("more.ini"), "[Extra]\nLocation=http://127.0.0.1:9/find\nSearchField=q\n"
                                          "FieldValues=lang,en,x\nEnabled=1\nCategory=Science\n");
  ASSERT_EQ(run({"resource", "import", box_.path("more.ini")}).status, 0);
  r = run({"--json", "resource", "show", "Extra"});
  EXPECT_NE(r.out.find("\"field_values\":{\"lang\":\"en\"}"), std::string::npos) << r.out;
  ASSERT_EQ(run({"resource", "delete", "EXTRA"}).status, 0);
  EXPECT_EQ(run({"resource", "show", "Extra"}).status, 1);

  // Every refused section is named with its reason; any refusal makes the status 1.
  std::ofstream(box_.path("bad.ini")) << "[Good]\nLocation=https://127.0.0.1:9/q\nSearchField=q\n"
                                         "[No place]\nSearchField=q\n[Relative]\nLocation=/find\nSearchField=q\n"
                                         "[good]\nLocation=http://x/\n";
  r = run({"resource", "import", box_.path("bad.ini")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Imported 1 of 4 search resources"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Section [No place] refused: it has no Location."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Section [Relative] refused: its Location '/find' is not an absolute"), std::string::npos);
  EXPECT_NE(r.err.find("Section [good] refused: an earlier section"), std::string::npos);
  std::ofstream(box_.path("notes.txt")) << "just text\n";
  r = run({"resource", "import", box_.path("notes.txt")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is not a definitions file"), std::string::npos) << r.err;
}

TEST_F(CliDatabase, JsonOutputIsValidWhateverBytesAreStored) {
  ASSERT_EQ(run({"topic", "add", "Cafes"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "Cafes", "http://h/c", "--title", "Caf\xe9 \"q\" \\ \x01\x7f\xed\xa0\x80 \xc3\xa9\xc2\x9b"}).status, 0);
  Cli_result r = run({"--json", "doc", "show", "HTTP://H/c"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::ofstream(box_.path("out.json"), std::ios::binary) << r.out;
  std::string parse = "python3 -c 'import json,sys; print(ascii(json.load(open(sys.argv[1], encoding=\"utf-8\"))[\"title\"]))' " +
                      box_.path("out.json") + " > " + box_.path("title.txt");
  ASSERT_EQ(std::system(parse.c_str()), 0) << r.out;
  // Controls (C0, DEL, C1) are stored as spaces; bytes that are not UTF-8 are printed as U+FFFD.
  EXPECT_EQ(read_file(box_.path("title.txt")), "'Caf\\ufffd \"q\" \\\\   \\ufffd\\ufffd\\ufffd \\xe9 '\n");
}

// Stored text is text: --json and plain output give it as stored, never decoded again.
TEST_F(CliDatabase, StoredTextIsShownAsStored) {
  ASSERT_EQ(run({"topic", "add", "Marks"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "Marks", "http://h/m", "--title", "<b>&amp;"}).status, 0);
  orvalis::testing::raw_sql(db_, "UPDATE url_master SET abstract = '<b>&amp; one.', summary = '<b>&amp;'");
  struct Case {
    std::vector<std::string> args;
    std::vector<const char*> pieces;
  } cases[] = {
      {{"--json", "doc", "show", "1"},
       {"\"title\":\"<b>&amp;\"", "\"abstract\":[\"<b>&amp; one.\"]", "\"summary\":[\"<b>&amp;\"]"}},
      {{"doc", "show", "1"}, {"Title: <b>&amp;\n", "Key terms: <b>&amp;\n", "  <b>&amp; one.\n"}},
  };
  for (const Case& c : cases) {
    Cli_result r = run(c.args);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* piece : c.pieces) EXPECT_NE(r.out.find(piece), std::string::npos) << piece << "\n" << r.out;
  }
}

TEST_F(CliDatabase, FailedCommandsLeaveTheDatabaseUnchanged) {
  auto times = [](const char* letter, int n) {
    std::string out;
    while (n-- > 0) out += letter;
    return out;
  };
  ASSERT_EQ(run({"topic", "add", "Kept", "--term", "k"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "Kept", "http://h/k"}).status, 0);
  std::string before = read_file(db_);

  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"topic", "show", "Missing"}, 1, "Error: No topic named 'Missing'."},
      {{"topic", "show", "99"}, 1, "Error: No topic with id 99."},
      {{"doc", "show", "12"}, 1, "Error: No document with id 12."},
      {{"doc", "add", "Missing", "http://h/x"}, 1, "Error: No topic named 'Missing'."},
      {{"topic", "set", "Kept", "--query-spec", "soon"}, 2, "Error: --query-spec: 'soon' is not a schedule"},
      {{"topic", "set", "Kept", "--query-spec", "x 1 2 3"}, 2, "'x 1 2 3' is not a schedule: 'r WEEKS DAYS HOURS'"},
      {{"topic", "set", "Kept", "--query-spec", "rr 1 1 1"}, 2, "'rr 1 1 1' is not a schedule"},
      {{"topic", "set", "Kept", "--summarize-spec", "r -1 0 0"}, 2, "'r -1 0 0' is not a schedule"},
      {{"topic", "set", "Kept", "--query-spec", "r 999999999999 0 0"}, 2, "from 0 to 9999, not all 0"},
      {{"topic", "set", "Kept", "--query-spec", "a 0 8 9"}, 2, "'a 0 8 9' is not a schedule"},
      {{"topic", "set", "Kept", "--query-enabled", "yes"}, 2, "Error: --query-enabled must be 0 or 1"},
      {{"topic", "relate", "Kept", "Kept", "xx"}, 2, "Error: unknown relationship code 'xx'"},
      {{"topic", "relate", "Kept", "Kept", "^"}, 1, "Error: A topic cannot be related to itself."},
      {{"doc", "relevance", "1", "1", "high"}, 2, "Error: the relevance value must be a whole number"},
      {{"topic", "add"}, 2, "Error: missing topic name"},
      {{"topic", "add", "x", "extra"}, 2, "Error: unexpected argument 'extra'"},
      {{"topic", "fly"}, 2, "Error: unknown topic command 'fly'"},
      {{"new", db_}, 1, "exists already"},
      {{"topic", "delete", "4294967297"}, 1, "Error: No topic with id 4294967297."},
      {{"doc", "note", "4294967297", "x"}, 1, "Error: No document with id 4294967297."},
      {{"doc", "remove", "Kept", "18446744073709551617"}, 1, "Error: No document with id"},
      {{"doc", "relevance", "1", "1", "4294967297"}, 2, "from -2147483648 to 2147483647"},
      {{"topic", "add", "A", "--term", ""}, 2, "Error: a term cannot be empty"},
      {{"topic", "add", std::string(256, 'x')}, 2, "Error: a topic name has at most 255 characters"},
      {{"doc", "add", "Kept", "http://h/" + std::string(247, 'x')}, 2,
       "Error: a document's address has at most 255 characters; this one has 256"},
      {{"doc", "add", "Kept", "http://h/t", "--title", times("\u00e9", 256)}, 2,
       "Error: a document's title has at most 255 characters"},
      {{"topic", "add", "KEPT"}, 1, "Error: A topic named 'KEPT' exists already (id 1)."},
      {{"follow", "1", "--topic", "Kept", "--depth", "-5"}, 2, "--depth must be a whole number from 1 to 10, not '-5'"},
      {{"follow", "1", "--topic", "Kept", "--depth", "0"}, 2, "--depth must be a whole number from 1 to 10, not '0'"},
      {{"follow", "1", "--topic", "Kept", "--depth", "11"}, 2, "--depth must be a whole number from 1 to 10, not '11'"},
  };
  for (const Case& c : cases) {
    Cli_result r = run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args[1] << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // Reads and refused commands wrote nothing (compare after the WAL was checkpointed at close).
  EXPECT_EQ(read_file(db_), before);
  EXPECT_EQ(run({"topic", "list"}).out, "1\tKept\n");
  // Limits count characters: 255 letters of two bytes each fit.
  EXPECT_EQ(run({"topic", "add", times("\u0436", 255)}).status, 0);
  EXPECT_EQ(run({"doc", "add", "Kept", "http://h/t", "--title", times("\u00e9", 255)}).status, 0);
}

TEST_F(CliDatabase, AFileThatIsNotADatabase) {
  orvalis::testing::write_file(box_.path("notes.ov2"), "just some text, not a database at all............");
  Cli_result r = run({"--db", box_.path("notes.ov2"), "topic", "list"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Error: File is not a valid Orvalis database."), std::string::npos) << r.err;
  r = run({"check", box_.path("notes.ov2")});
  EXPECT_NE(r.out.find("earlier or foreign"), std::string::npos) << r.out;
  EXPECT_NE(run({"check", db_}).out.find("current"), std::string::npos);
  r = run({"--db", box_.path("missing.ov2"), "topic", "list"});
  EXPECT_EQ(r.status, 1);
  // The good database is still the last one.
  EXPECT_EQ(run({"topic", "list"}).status, 0);
}

// A received file must not run code on ordinary commands: one whose trigger spins on every new
// topic, one whose trigger wipes a topic's documents when a note is written. Both are refused,
// with the reason, by the commands and by check, and nothing in them changes.
TEST_F(CliDatabase, FilesWithTriggersOfTheirOwnAreRefused) {
  ASSERT_EQ(run({"topic", "add", "Kept"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "Kept", "http://h/k"}).status, 0);
  const struct {
    const char* trigger;
    std::vector<std::string> command;
  } cases[] = {
      {"CREATE TRIGGER spin AFTER INSERT ON concept_master BEGIN SELECT count(*) FROM (WITH RECURSIVE"
       " n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n); END",
       {"topic", "add", "Another"}},
      {"CREATE TRIGGER wipe AFTER UPDATE ON url_master BEGIN DELETE FROM concept_urls; END",
       {"doc", "note", "1", "x"}},
  };
  for (const auto& c : cases) {
    const std::string file = box_.path(std::string(c.trigger).substr(15, 4) + ".ov2");
    std::filesystem::copy_file(db_, file);
    orvalis::testing::raw_sql(file, c.trigger);
    const std::string before = read_file(file);
    std::vector<std::string> args = {"--db", file};
    args.insert(args.end(), c.command.begin(), c.command.end());
    Cli_result r = box_.run(args, 20);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("File is not a valid Orvalis database. (" + file + ": it holds a trigger named '"),
              std::string::npos) << r.err;
    r = run({"check", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(": refused: it holds a trigger named"), std::string::npos) << r.out;
    EXPECT_EQ(read_file(file), before);
  }
}

// Text from outside (a definitions file, a page's link) reaches no terminal as control
// sequences: "ESC ] 2 ; ... BEL" would set its title, "CSI 2 J" clear it.
TEST_F(CliDatabase, PrintedTextCarriesNoControls) {
  std::ofstream(box_.path("evil.ini")) << "[Evil\x1b[2Jx\x07]\nLocation=http://127.0.0.1:9/q?\xc2\x9b" "2J\n"
                                          "SearchField=q\x1b[2J\n";
  ASSERT_EQ(run({"resource", "import", box_.path("evil.ini")}).status, 0);
  ASSERT_EQ(run({"topic", "add", "Kept"}).status, 0);
  ASSERT_EQ(run({"doc", "add", "Kept", "http://h/a\x1b[2Jb", "--title", "T\x1b]2;x\x07"}).status, 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"resource", "list"}, {"resource", "show", "Evil\x1b[2Jx\x07"},
        {"doc", "list", "Kept"}, {"doc", "show", "1"}, {"--json", "resource", "list"}}) {
    Cli_result r = run(args);
    EXPECT_EQ(r.status, 0) << args[0] << ": " << r.err;
    for (const char* control : {"\x1b", "\x07", "\xc2\x9b"})
      EXPECT_EQ(r.out.find(control), std::string::npos) << args[0] << " " << args[1] << ": " << r.out;
  }
  EXPECT_NE(run({"doc", "list", "Kept"}).out.find("http://h/a%1B[2Jb"), std::string::npos);
}

TEST_F(CliDatabase, FailuresSayWhatHappenedAndNothingElse) {
  ASSERT_EQ(run({"topic", "add", "Kept"}).status, 0);
  ASSERT_EQ(run({"topic", "add", "Nowhere", "--category", "No such category"}).status, 0);
  // No engine serves the topic's category: said, rather than "0 documents found".
  Cli_result r = run({"search", "Nowhere"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No engine was asked: no enabled search resource serves the category 'No such category'"),
            std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("documents found"), std::string::npos) << r.out;
  // A link that cannot be stored is an error, not "already in the topic".
  orvalis::testing::raw_sql(db_, "DROP TABLE concept_urls; CREATE TABLE concept_urls (concept_id INTEGER,"
                                 " url_id INTEGER CHECK (url_id < 0), date_deleted INTEGER, date_created INTEGER,"
                                 " search_resource TEXT, query TEXT, rating INTEGER, num_votes INTEGER, relevant INTEGER)");
  r = run({"doc", "add", "Kept", "http://h/new"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("CHECK constraint failed"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST(CliAnalyze, FilesStandardInputAndAddressesInOneProcessInOrder) {
  Cli_sandbox box;
  orvalis::testing::write_file(box.path("page.html"),
      "<html><head><title>Solar sails</title></head><body><h1>Solar sails</h1>"
         "<p>A solar sail is a method of spacecraft propulsion using radiation pressure exerted by "
         "sunlight on large mirrors. Solar sails need no fuel, so a solar sail can accelerate for "
         "years. The first solar sail to fly between planets was launched in 2010.</p>"
         "<a href='a.html'>more</a> <img src='s.png'></body></html>");
  orvalis::testing::write_file(box.path("stdin.html"), "<title>From standard input</title><p>Piped text.</p>");
  box.stdin_file = box.path("stdin.html");
  orvalis::testing::Nginx_server nginx;
  ASSERT_TRUE(nginx.start()) << nginx.log();
  nginx.put("/tour.html", read_file(ORVALIS_SOURCE_DIR "/tests/text/pages/code_page.html"));

  Cli_result r = box.run({"--json", "analyze", box.path("page.html"), "-", nginx.url("/tour.html"),
                          box.path("missing.html"), nginx.url("/gone.html")});
  EXPECT_EQ(r.status, 1);  // two inputs failed; the others were analysed
  EXPECT_EQ(r.out.front(), '[') << r.out;
  size_t at = 0;
  const std::vector<std::string> in_order = {
      "\"title\":\"Solar sails\",\"links\":1,\"images\":1", "\"input\":\"-\"",
      "\"title\":\"C++ & Rust \u2014 a tour\"", "\"error\":\"Cannot read " + box.path("missing.html"),
      "answered 404"};
  for (const std::string& part : in_order) {
    at = r.out.find(part, at);
    ASSERT_NE(at, std::string::npos) << part << " in " << r.out;
  }
  EXPECT_NE(r.err.find("Cannot read " + box.path("missing.html")), std::string::npos) << r.err;

  r = box.run({"analyze", box.path("page.html"), nginx.url("/tour.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Page: " + box.path("page.html") + "\nTitle: Solar sails\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n\nPage: " + nginx.url("/tour.html") + "\nTitle: C++ & Rust \u2014 a tour\n"),
            std::string::npos) << r.out;
  EXPECT_EQ(box.run({"analyze", "-", "-"}).status, 2);
}

TEST(CliFiles, OnlyRegularFilesAreReadAndAtMostMaxDocumentBytes) {
  Cli_sandbox box;
  std::filesystem::create_directories(box.path("folder"));
  ASSERT_EQ(mkfifo(box.path("fifo").c_str(), 0600), 0);
  const std::string fifo = box.path("fifo") + " is a named pipe (FIFO), not a file.";
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"analyze", "."}, ". is a directory, not a file."},
      {{"analyze", "/dev/zero"}, "/dev/zero is a device, not a file."},
      {{"analyze", box.path("fifo")}, fifo},
      {{"check", box.path("fifo")}, fifo},
      {{"check", box.path("folder")}, box.path("folder") + " is a directory, not a file."},
      {{"--db", box.path("fifo"), "topic", "list"}, fifo},
      {{"resource", "import", box.path("fifo")}, fifo},
      {{"resource", "import", "/dev/zero"}, "/dev/zero is a device, not a file."},
  };
  for (const auto& c : cases) {
    Cli_result r = box.run(c.args, 20);
    EXPECT_EQ(r.status, 1) << c.args[1];
    EXPECT_NE(r.err.find("Error: " + c.says), std::string::npos) << r.err;
  }
  // The last database gets the same checks as --db: a FIFO there would hang every command.
  for (const std::string& last : {box.path("fifo"), box.path("folder")}) {
    ASSERT_EQ(box.run({"settings", "set", "LastDatabase", last}).status, 0);
    Cli_result r = box.run({"topic", "list"}, 20);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Error: " + last + " is a"), std::string::npos) << r.err;
  }
  // A definitions file beyond what one may hold says so (sparse: no disk is filled).
  std::ofstream(box.path("huge.ini")) << "[A]\n";
  std::filesystem::resize_file(box.path("huge.ini"), 17 << 20);
  Cli_result big = box.run({"resource", "import", box.path("huge.ini")}, 20);
  EXPECT_EQ(big.status, 1);
  EXPECT_NE(big.err.find("is too large: 17825792 bytes"), std::string::npos) << big.err;
  ASSERT_EQ(box.run({"settings", "set", "MaxDocumentBytes", "4096"}).status, 0);
  orvalis::testing::write_file(box.path("big.html"), "<title>Big</title>" + std::string(1 << 20, 'x'));
  Cli_result r = box.run({"analyze", box.path("big.html")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Size: 4096 (the first MaxDocumentBytes only)"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace orvalis::test
