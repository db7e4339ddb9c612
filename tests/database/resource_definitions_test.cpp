#include "database/resource_definitions.h"

#include "database/search_resource_store.h"
#include "database_test_support.h"

namespace orvalis::testing {
namespace {

Search_resource_handle definition(const std::string& body, const char* name = "Engine") {
  platform::Profile_file file;
  file.parse("[" + std::string(name) + "]\n" + body);
  return read_definition(file, name);
}

TEST(ResourceDefinitions, KeysMapOntoTheRecord) {
  Search_resource_handle r = definition(
      "Enabled=1\n"
      "Location=http://s.example/find\n"
      "IgnoreSubstrings=/ads/,x\n"
      "FieldValues=a,1,b,2\n"
      "SearchField=q\n"
      "Category=Science\n"
      "FormURL=http://s.example/\n"
      "Username=NONE\n"
      "Password=pw\n");
  EXPECT_EQ(fields_of(*r), "Engine|1|http://s.example/find|a=1,b=2,|q|/ads/,x|get|Science|http://s.example/|NONE|pw");
  EXPECT_EQ(r->query_transformation_mode, -1);
}

TEST(ResourceDefinitions, EdgeValues) {
  EXPECT_EQ(definition("FieldValues=a,1,b\n")->field_values.count(), 1)
      << "a last name alone is dropped";
  EXPECT_EQ(definition("RequestType=get\n")->request_kind, Search_resource::post)
      << "only GET is GET";
  EXPECT_EQ(definition("RequestType=GET\n")->request_kind, Search_resource::get);
  EXPECT_EQ(definition("RequestType=\n")->request_kind, Search_resource::get);
  EXPECT_EQ(definition("")->request_kind, Search_resource::get);
  Search_resource_handle trailing = definition("IgnoreSubstrings=x,\n");
  ASSERT_EQ(trailing->ignore_substrings.count(), 2);
  EXPECT_EQ(trailing->ignore_substrings[1], "");
  EXPECT_EQ(definition("Enabled=0\n")->enabled, 0);
  EXPECT_EQ(definition("")->enabled, 0) << "a missing Enabled leaves the engine off";
  EXPECT_EQ(definition("Enabled=\n")->enabled, 0);
  EXPECT_EQ(definition("")->location.text(), "");
}

TEST(ResourceDefinitions, MissingFileGivesNothing) {
  EXPECT_TRUE(read_definitions(Ref_string("/nonexistent/orvalis/searchres.ini")).empty());
  EXPECT_TRUE(read_definitions(Ref_string("")).empty());
}

// Every shipped definition is usable, and no engine switched on drops its own results.
TEST(ResourceDefinitions, ShippedFileSeedsEnginesOfTodaysWeb) {
  const std::pair<const char*, const char*> result_links[] = {
      {"Wikipedia", "https://en.wikipedia.org/wiki/Solar_sail"},
      {"arXiv", "https://arxiv.org/abs/2301.07041"},
      {"Mojeek", "https://example.org/solar-sails"},
  };
  Ref_list<Search_resource_handle> all = read_definitions(Ref_string(ORVALIS_DATA_DIR "/searchres.ini"));
  int enabled = 0;
  for (const Search_resource_handle& r : all) {
    EXPECT_EQ(definition_problem(*r), "") << r->name;
    if (!r->enabled) continue;
    ++enabled;
    const char* link = nullptr;
    for (const auto& [name, result] : result_links)
      if (r->name == name) link = result;
    ASSERT_TRUE(link) << r->name << " is switched on but has no result link here";
    EXPECT_FALSE(r->ignore_substrings.empty()) << r->name;
    for (const Ref_string& ignored : r->ignore_substrings)
      EXPECT_LT(Ref_string(link).find(ignored.c_str()), 0) << r->name << " drops its results: " << ignored;
  }
  EXPECT_EQ(enabled, 3);
  EXPECT_GE(all.count(), 8) << "the switched-off examples stay";
}

using Seeding = Database_test;

TEST_F(Seeding, NewDatabaseTakesEveryDefinitionUpdatingByName) {
  std::string ini = dir.file("defs.ini");
  write_file(ini,
             "[One]\nLocation=http://one/\nSearchField=q\nCategory=A\nEnabled=1\n"
             "[Two]\nLocation=http://two/\nSearchField=s\nRequestType=POST\n"
             "[one]\nLocation=http://ignored-repeat/\nSearchField=x\n");
  EXPECT_EQ(seed_search_resources(Ref_string(ini), db), 2);
  write_file(ini, "[Two]\nLocation=http://two.new/\nSearchField=s\n");
  EXPECT_EQ(seed_search_resources(Ref_string(ini), db), 1);
  Search_resource_store store(db);
  Ref_list<Search_resource_handle> list = store.list_resources(false);
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(list[0]->name, "One");
  EXPECT_EQ(list[0]->enabled, 1);
  EXPECT_EQ(list[1]->location.text(), "http://two.new/");
  EXPECT_EQ(list[1]->request_kind, Search_resource::get);

  // A section that cannot be used is refused with its reason before it reaches the table.
  write_file(ini, "[Broken]\nSearchField=q\n[" + std::string(256, 'n') + "]\nLocation=http://x/\nSearchField=q\n");
  Definitions_import r = import_definitions(Ref_string(ini), db);
  EXPECT_EQ(r.saved, 0);
  ASSERT_EQ(r.refused.size(), 2u);
  EXPECT_EQ(r.refused[0], (std::pair<std::string, std::string>{"Broken", "it has no Location"}));
  EXPECT_EQ(r.refused[1].second, "its name is longer than 255 characters");
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(import_definitions(Ref_string(dir.file("missing.ini")), db).readable);
}

TEST(QueryTransformation, LastMatchingWellFormedEntryWins) {
  const Ref_string location = "http://Search.Example.com/cgi?x";
  EXPECT_EQ(query_transformation_mode("", location), 0);
  EXPECT_EQ(query_transformation_mode("example.com 1", location), 1);
  EXPECT_EQ(query_transformation_mode("EXAMPLE.COM 1,search 2", location), 2);
  EXPECT_EQ(query_transformation_mode("search 2,example.com 1", location), 1);
  EXPECT_EQ(query_transformation_mode("example.com 1,other.org 2", location), 1);
  EXPECT_EQ(query_transformation_mode("example.com 1,search  2", location), 1)
      << "two blanks: ignored";
  EXPECT_EQ(query_transformation_mode("example.com 1,search 2 x", location), 1)
      << "three pieces: ignored";
  EXPECT_EQ(query_transformation_mode("example.com", location), 0);
  EXPECT_EQ(query_transformation_mode("example.com 9", location), 0);
}

TEST(Advertisements, FirstEntryForTheLocationDecides) {
  const Ref_string location = "http://www.Engine.example/search";
  const Ref_string config = "engine.example /ADS/,engine.example banner,other.org img";
  EXPECT_TRUE(advertisement_match(config, location, "http://img.engine.example/ads/1.gif"));
  EXPECT_FALSE(advertisement_match(config, location, "http://img.engine.example/banner.gif"));
  EXPECT_FALSE(advertisement_match(config, "http://third.example/", "http://x/ads/1.gif"));
  EXPECT_FALSE(advertisement_match("", location, "http://img.engine.example/ads/1.gif"));
  EXPECT_TRUE(advertisement_match("bad entry here,engine.example ads", location, "/ads/x.gif"));
}

}  // namespace
}  // namespace orvalis::testing
