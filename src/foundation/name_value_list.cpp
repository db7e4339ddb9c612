#include "foundation/name_value_list.h"

namespace orvalis {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

Name_value* Name_value_list::find(const Ref_string& name) const {
  for (Name_value& p : pairs_)
    if (equal_ignoring_case(p.name.view(), name.view())) return &p;
  return nullptr;
}

void Name_value_list::set(const Ref_string& name, const Ref_string& value) {
  if (Name_value* p = find(name))
    p->value = value;
  else
    pairs_.append({name, value});
}

Ref_string Name_value_list::get(const Ref_string& name) const {
  Name_value* p = find(name);
  return p ? p->value : Ref_string();
}

bool Name_value_list::has(const Ref_string& name) const { return find(name) != nullptr; }

}  // namespace orvalis
