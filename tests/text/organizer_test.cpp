// Organizer: the proposals drawn from documents' key terms, and the subtopics planned from
// picked labels.
#include "text/organizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvalis::testing {
namespace {

using Terms = std::vector<std::string>;

// Documents numbered from 1, each with its key terms.
std::vector<Organizer_document> documents(const std::vector<Terms>& docs) {
  std::vector<Organizer_document> out;
  std::int32_t id = 0;
  for (const Terms& terms : docs) {
    Organizer_document d{++id, {}};
    for (const std::string& t : terms) d.key_terms.append(Ref_string(std::string_view(t)));
    out.push_back(d);
  }
  return out;
}

// `n` documents holding the same key terms.
std::vector<Terms> times(int n, const Terms& terms) {
  return std::vector<Terms>(static_cast<std::size_t>(n), terms);
}

std::vector<Terms> operator+(std::vector<Terms> a, const std::vector<Terms>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string listed(const std::vector<Organize_proposal>& proposals) {
  std::string s;
  for (const Organize_proposal& p : proposals) s += p.label.str() + "=" + std::to_string(p.count) + ";";
  return s;
}

TEST(Organizer, Proposals) {
  struct Case {
    const char* name;
    std::vector<Terms> docs;
    const char* topic;
    const char* expected;
  };
  const Case cases[] = {
      {"a word counted three times is a candidate, twice is not",
       times(3, {"comet"}) + times(2, {"meteor"}), "Sky", "comet=3;"},
      {"words of three characters never are", times(5, {"sun"}) + times(3, {"moon"}), "Sky", "moon=3;"},
      {"characters, not bytes, count toward the length", times(4, {"été"}), "Summer", ""},
      {"the label grows into the phrase the documents share",
       times(4, {"solar sail"}) + times(1, {"solar wind"}), "Space", "solar sail=4;"},
      {"a longer phrase stays while it counts as often as the one before it: one proposal",
       times(3, {"delta epsilon zeta"}), "Greek", "delta epsilon zeta=3;"},
      {"a longer phrase that counts below 3 and below its parent gives way",
       times(2, {"alpha beta gamma"}) + times(2, {"alpha beta"}) + times(1, {"alpha"}), "Greek",
       "alpha beta=4;"},
      {"the word before an occurrence extends it as well as the word after",
       times(3, {"old solar sail", "solar sail"}), "Space", "old solar sail=3;"},
      {"labels beginning or ending with 'of' are dropped",
       times(3, {"history of"}) + times(3, {"of interest"}) + times(3, {"comet"}), "Topic",
       "comet=3;"},
      {"the topic's own name, lower-cased, is not proposed",
       times(4, {"solar sail"}) + times(3, {"light pressure"}), "Solar Sail", "light pressure=3;"},
      {"no shared term: nothing", {{"apple"}, {"pear"}, {"plum"}}, "Fruit", ""},
      {"proposals are listed in byte order",
       times(3, {"zebra"}) + times(3, {"Aardvark"}) + times(4, {"mole"}), "Zoo",
       "Aardvark=3;mole=4;zebra=3;"},
  };
  for (const Case& c : cases) {
    Organizer organizer(documents(c.docs));
    EXPECT_EQ(listed(organizer.proposals(Ref_string(c.topic))), c.expected) << c.name;
  }
}

TEST(Organizer, OnlyTheTwentyFourMostFrequentWordsAreCandidates) {
  // 30 words "worda" .. "word~", word i counted 30 + i times: "wordg" .. "word~" are the 24
  // most frequent.
  std::vector<Terms> docs;
  for (int i = 0; i < 30; ++i)
    docs = docs + times(30 + i, {"word" + std::string(1, static_cast<char>('a' + i))});
  std::vector<Organize_proposal> proposals = Organizer(documents(docs)).proposals(Ref_string("T"));
  ASSERT_EQ(proposals.size(), 24u);
  EXPECT_EQ(proposals.front().label, Ref_string("wordg"));
  EXPECT_EQ(proposals.back().label, Ref_string("word~"));
}

TEST(Organizer, Plans) {
  // Documents 1-3 hold "solar sail", 2 also "light sail"; 4 holds the words apart.
  Organizer organizer(documents({{"solar sail", "probe"},
                                 {"big solar sail", "light sail"},
                                 {"solar sail"},
                                 {"solar panel", "sail boat"}}));
  Ref_list<Ref_string> parent_terms{Ref_string("space"), Ref_string("propulsion")};
  struct Case {
    std::vector<const char*> labels;
    bool inherit;
    const char* expected;  // name | terms | documents, per plan
  };
  const Case cases[] = {
      {{"solar sail"}, false, "solar sail|solar sail|1,2,3;"},
      {{"solar sail"}, true,
       "Sails and solar sail|space solar sail,propulsion solar sail|1,2,3;"},
      {{"light sail", "solar sail", "light sail"}, false,
       "light sail|light sail|2;solar sail|solar sail|1,2,3;"},
      {{"sail boat"}, false, "sail boat|sail boat|4;"},
  };
  for (const Case& c : cases) {
    const std::vector<Ref_string> labels(c.labels.begin(), c.labels.end());
    std::string got;
    for (const Subtopic_plan& p : organizer.plan(labels, c.inherit, Ref_string("Sails"), parent_terms)) {
      got += p.name.str() + "|" + join(p.terms, Ref_string(",")).str() + "|";
      for (std::size_t i = 0; i < p.url_ids.size(); ++i)
        got += (i ? "," : "") + std::to_string(p.url_ids[i]);
      got += ";";
    }
    EXPECT_EQ(got, c.expected) << c.labels.front() << (c.inherit ? " inheriting" : "");
  }
}

}  // namespace
}  // namespace orvalis::testing
