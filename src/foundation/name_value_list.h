// Name_value_list is an ordered list of (name, value) pairs used for HTTP headers, form fields
// and tag attributes. set() replaces the value of the first pair whose name matches without
// regard to case, or appends; add() appends without looking. Copies share the list.
#pragma once

#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

struct Name_value {
  Ref_string name;
  Ref_string value;
  bool operator==(const Name_value& o) const { return name == o.name && value == o.value; }
};

class Name_value_list {
 public:
  void set(const Ref_string& name, const Ref_string& value);
  void add(const Ref_string& name, const Ref_string& value) { pairs_.append({name, value}); }
  // The value of the first pair with this name (case-insensitive), or the empty string.
  Ref_string get(const Ref_string& name) const;
  bool has(const Ref_string& name) const;
  int count() const { return pairs_.count(); }
  const Ref_list<Name_value>& pairs() const { return pairs_; }
  Ref_list<Name_value>::iterator begin() const { return pairs_.begin(); }
  Ref_list<Name_value>::iterator end() const { return pairs_.end(); }

 private:
  Name_value* find(const Ref_string& name) const;
  Ref_list<Name_value> pairs_;
};

// Byte-wise comparison ignoring the case of A-Z.
bool equal_ignoring_case(std::string_view a, std::string_view b);

}  // namespace orvalis
