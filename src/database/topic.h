// Topic is one row of concept_master in memory, with its query terms from concept_terms: the
// user's or a predefined subject that the agent searches and summarizes. Topics are shared
// through Counted_handle values; the topic store keeps one object per loaded concept_id.
// The relationship table gives the typed links between topics (the pointer symbols of a
// lexical database): each code's label from the string table and its converse code.
// Thread: the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "database/db_date.h"
#include "foundation/counted_object.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

// The longest topic name or search term, in characters, as the window's fields hold them. Names
// are also unique without regard to case.
inline constexpr std::size_t max_topic_name_characters = 255;

class Topic : public Counted_object {
 public:
  // What an empty stored schedule reads as.
  static constexpr const char* default_time_spec = "r 0 7 0";

  std::int32_t concept_id = 0;  // 0 until the topic is filled from a row
  Ref_string name;
  Ref_string definition;
  std::uint8_t facet = 0;
  Ref_string category;
  Db_date time_last_modified;
  Db_date time_last_queried;
  Db_date time_last_summarized;
  Ref_string query_time_spec = default_time_spec;
  Ref_string summarize_time_spec = default_time_spec;
  std::uint8_t query_enabled = 0;
  std::uint8_t summary_enabled = 0;
  std::uint8_t is_top_level = 0;
  std::uint8_t is_user_topic = 0;
  std::uint8_t is_user_top_level = 0;
  Ref_list<Ref_string> terms;

  bool is_filled() const { return concept_id != 0; }
};

using Topic_handle = Counted_handle<Topic>;

struct Relationship {
  const char* code;
  int label_id;
  const char* converse;
};

// The relationship codes in the order related topics are presented.
constexpr Relationship relationships[] = {
    {"@", 12024, "~"},   {"~", 12025, "@"},   {"#p", 12026, "%p"}, {"#s", 12027, "%s"},
    {"#m", 12028, "%m"}, {"%p", 12029, "#p"}, {"%s", 12030, "#s"}, {"%m", 12031, "#m"},
    {"!", 12032, "!"},   {"^", 12033, "^"},
};

// The converse of `code`; empty for an unknown code.
Ref_string converse_relationship(const Ref_string& code);
// The label of `code` from the string table; empty for an unknown code.
Ref_string relationship_label(const Ref_string& code);
// The place of `code` in the relationship table; unknown codes come after all known ones.
int relationship_rank(const Ref_string& code);

// A related topic with the code of the relation that leads to it.
struct Related_topic {
  Ref_string code;
  Topic_handle topic;
  bool operator==(const Related_topic& o) const { return code == o.code && topic == o.topic; }
};

}  // namespace orvalis
