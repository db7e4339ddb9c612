// Search_resource is one search engine the agent may query, described by its query form: where
// the form is sent, the fixed fields that go with every query, the field that takes the query
// text, how it is sent, and which links of its result pages are not results. Stored as a row of
// search_resources; read from the definitions file when a database is made; shared through
// Counted_handle values (a search task holds its resource).
// Thread: the user-interface thread.
#pragma once

#include <cstdint>

#include "foundation/character_count.h"
#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"
#include "foundation/url.h"

namespace orvalis {

class Search_resource : public Counted_object {
 public:
  enum Request_kind { get, post };

  Ref_string name;                    // the key: the store finds rows by name
  Url location;                       // where the filled-in form is sent
  Ref_list<Name_value> field_values;  // fixed form fields, in order
  Ref_string search_field;            // the field that takes the query text
  Ref_list<Ref_string> ignore_substrings;
  Request_kind request_kind = get;
  std::int32_t enabled = 0;  // non-zero: used when a topic of its category is searched
  Ref_string category;
  Ref_string username;
  Ref_string password;
  Ref_string form_url;  // the page holding the engine's query form
  // The query transformation mode for this resource, worked out on first need (-1: not yet).
  int query_transformation_mode = -1;
};

using Search_resource_handle = Counted_handle<Search_resource>;

// The longest resource name, as the window's fields hold it.
inline constexpr std::size_t max_resource_name_characters = max_field_characters;

// Stored forms. field_values: "name,value,name,value"; reading takes the pieces two by two and
// drops a last name without a value. ignore_substrings: the texts joined with ",".
Ref_string encode_field_values(const Ref_list<Name_value>& pairs);
Ref_list<Name_value> decode_field_values(const Ref_string& stored);
// "post" for POST, otherwise "get".
const char* request_type_text(Search_resource::Request_kind kind);
// "post" or "get" without regard to case; false for anything else.
bool parse_request_type(const Ref_string& text, Search_resource::Request_kind& kind);

}  // namespace orvalis
