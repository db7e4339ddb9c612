#include "database/topic.h"

namespace orvalis {

namespace {
const Relationship* find_relationship(const Ref_string& code) {
  for (const Relationship& r : relationships)
    if (code == r.code) return &r;
  return nullptr;
}
}  // namespace

Ref_string converse_relationship(const Ref_string& code) {
  const Relationship* r = find_relationship(code);
  return r ? Ref_string(r->converse) : Ref_string();
}

Ref_string relationship_label(const Ref_string& code) {
  const Relationship* r = find_relationship(code);
  return r ? Ref_string::from_id(r->label_id) : Ref_string();
}

int relationship_rank(const Ref_string& code) {
  const Relationship* r = find_relationship(code);
  return r ? static_cast<int>(r - relationships) : static_cast<int>(std::size(relationships));
}

}  // namespace orvalis
