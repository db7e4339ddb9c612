#include "database/search_resource_store.h"

#include "database/engine_health_store.h"
#include "database/record_set.h"

namespace orvalis {

namespace {

// Fills `r` from the current row; false when the row's request_type is not one we know.
bool fill(Search_resource& r, const Db_statement& s) {
  if (!parse_request_type(s.text("request_type"), r.request_kind)) return false;
  r.name = s.text("name");
  r.location = Url(s.text("location"));
  r.field_values = decode_field_values(s.text("field_values"));
  r.search_field = s.text("search_field");
  r.ignore_substrings = split(s.text("ignore_substrings"), ',');
  r.enabled = s.number("enabled");
  r.category = s.text("category");
  r.username = s.text("username");
  r.password = s.text("password");
  r.form_url = s.text("form_url");
  return true;
}

}  // namespace

Ref_list<Search_resource_handle> Search_resource_store::list_resources(bool order_by_category) {
  Ref_list<Search_resource_handle> result;
  try {
    Db_statement s(db_, order_by_category
                            ? "SELECT * FROM search_resources ORDER BY category ASC, name ASC"
                            : "SELECT * FROM search_resources ORDER BY name ASC");
    while (s.step()) {
      Search_resource_handle r = make_counted<Search_resource>();
      if (fill(*r, s)) result.append(r);
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    result.clear();
  }
  return result;
}

Search_resource_handle Search_resource_store::resource(const Ref_string& name) {
  try {
    Db_statement s(db_, "SELECT * FROM search_resources WHERE name = ?1 COLLATE NOCASE ORDER BY rowid");
    s.bind(1, name);
    while (s.step()) {
      Search_resource_handle r = make_counted<Search_resource>();
      if (fill(*r, s)) return r;
    }
  } catch (const Db_error& e) {
    report_db_error(e);
  }
  return nullptr;
}

Ref_list<Ref_string> Search_resource_store::list_categories() {
  Ref_list<Ref_string> result;
  try {
    Db_statement s(db_, "SELECT category FROM search_resources ORDER BY rowid");
    while (s.step()) {
      Ref_string category = s.text(0);
      if (!result.contains(category)) result.append(category);
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    result.clear();
  }
  return result;
}

bool Search_resource_store::save_resource(const Search_resource& r) {
  try {
    Db_transaction transaction(db_);
    Record_set rs(db_, "search_resources", "name = ?1 COLLATE NOCASE", {r.name}, "rowid");
    if (rs.eof())
      rs.add_new();
    else
      rs.edit();
    rs.set_field("name", r.name);
    rs.set_field("field_values", encode_field_values(r.field_values));
    rs.set_field("search_field", r.search_field);
    rs.set_field("ignore_substrings", join(r.ignore_substrings, Ref_string(",")));
    rs.set_field("request_type", request_type_text(r.request_kind));
    rs.set_field("location", normalized_address(r.location.text()));
    rs.set_field("enabled", r.enabled);
    rs.set_field("category", r.category);
    rs.set_field("username", r.username);
    rs.set_field("password", r.password);
    rs.set_field("form_url", r.form_url);
    rs.update();
    transaction.commit();
    // An edited engine is tried again at the next search.
    Engine_health_store(db_).lift(r.name);
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

bool Search_resource_store::delete_resource(const Ref_string& name) {
  try {
    Db_transaction transaction(db_);
    Record_set rs(db_, "search_resources", "name = ?1 COLLATE NOCASE", {name}, "rowid");
    if (rs.eof()) return false;
    rs.delete_current();
    transaction.commit();
    Engine_health_store(db_).forget(name);
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

}  // namespace orvalis
