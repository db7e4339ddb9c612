#include "database/search_resource.h"

namespace orvalis {

Ref_string encode_field_values(const Ref_list<Name_value>& pairs) {
  Ref_list<Ref_string> pieces;
  for (const Name_value& p : pairs) {
    pieces.append(p.name);
    pieces.append(p.value);
  }
  return join(pieces, Ref_string(","));
}

Ref_list<Name_value> decode_field_values(const Ref_string& stored) {
  Ref_list<Name_value> pairs;
  Ref_list<Ref_string> pieces = split(stored, ',');
  for (auto it = pieces.begin(); it != pieces.end(); ++it) {
    Ref_string name = *it;
    if (++it == pieces.end()) break;
    pairs.append(Name_value{name, *it});
  }
  return pairs;
}

const char* request_type_text(Search_resource::Request_kind kind) {
  return kind == Search_resource::post ? "post" : "get";
}

bool parse_request_type(const Ref_string& text, Search_resource::Request_kind& kind) {
  if (equal_ignoring_case(text.view(), "post")) {
    kind = Search_resource::post;
    return true;
  }
  if (equal_ignoring_case(text.view(), "get")) {
    kind = Search_resource::get;
    return true;
  }
  return false;
}

}  // namespace orvalis
