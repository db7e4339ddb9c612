#include "database/resource_definitions.h"

#include "database/search_resource_store.h"

namespace orvalis {

namespace {

Ref_string value_of(const platform::Profile_file& file, const Ref_string& section,
                    const char* key) {
  return Ref_string(file.get_string(section.view(), key));
}

// The pieces of an entry when it is exactly two texts separated by one blank.
bool two_pieces(const Ref_string& entry, Ref_string& first, Ref_string& second) {
  Ref_list<Ref_string> pieces = split(entry, ' ');
  if (pieces.count() != 2) return false;
  first = pieces[0];
  second = pieces[1];
  return true;
}

}  // namespace

Search_resource_handle read_definition(const platform::Profile_file& file,
                                       const Ref_string& section) {
  Search_resource_handle r = make_counted<Search_resource>();
  r->name = section;
  r->request_kind = Search_resource::get;
  r->query_transformation_mode = -1;
  r->enabled = 0;  // a definition without "Enabled" is not used until the user turns it on

  Ref_string v = value_of(file, section, "Enabled");
  if (!v.empty()) r->enabled = v.to_int();
  v = value_of(file, section, "Location");
  if (!v.empty()) r->location = Url(v);
  v = value_of(file, section, "IgnoreSubstrings");
  if (!v.empty()) r->ignore_substrings = split(v, ',');
  v = value_of(file, section, "FieldValues");
  if (!v.empty()) r->field_values = decode_field_values(v);
  v = value_of(file, section, "SearchField");
  if (!v.empty()) r->search_field = v;
  v = value_of(file, section, "RequestType");
  r->request_kind = v.empty() || v == "GET" ? Search_resource::get : Search_resource::post;
  v = value_of(file, section, "Category");
  if (!v.empty()) r->category = v;
  v = value_of(file, section, "FormURL");
  if (!v.empty()) r->form_url = v;
  v = value_of(file, section, "Username");
  if (!v.empty()) r->username = v;
  v = value_of(file, section, "Password");
  if (!v.empty()) r->password = v;
  return r;
}

Search_resource_handle read_definition(const Ref_string& file_path, const Ref_string& section) {
  platform::Profile_file file;
  file.load(file_path.str());
  return read_definition(file, section);
}

Ref_list<Search_resource_handle> read_definitions(const platform::Profile_file& file) {
  Ref_list<Search_resource_handle> result;
  for (const std::string& name : file.section_names())
    result.append(read_definition(file, Ref_string(std::string_view(name))));
  return result;
}

Ref_list<Search_resource_handle> read_definitions(const Ref_string& file_path) {
  platform::Profile_file file;
  if (file_path.empty() || !file.load(file_path.str())) return {};
  return read_definitions(file);
}

std::string definition_problem(const Search_resource& r) {
  if (character_count(r.name.view()) > max_resource_name_characters)
    return "its name is longer than " + std::to_string(max_resource_name_characters) + " characters";
  if (r.location.text().empty()) return "it has no Location";
  int scheme = r.location.scheme_code();
  if ((scheme != Url::http && scheme != Url::https && scheme != Url::ftp && scheme != Url::gopher) ||
      r.location.host().empty())
    return "its Location '" + r.location.text().str() +
           "' is not an absolute http, https, ftp or gopher address";
  if (r.search_field.empty()) return "it has no SearchField";
  return {};
}

Definitions_import import_definitions(const Ref_string& path, Database& db) {
  Definitions_import result;
  platform::Profile_file file;
  if (path.empty() || !file.load(path.str())) return result;
  result.readable = true;
  std::vector<std::string> names = file.section_names();
  result.sections = static_cast<int>(names.size() + file.repeated_sections().size());
  for (const std::string& repeat : file.repeated_sections())
    result.refused.emplace_back(repeat, "an earlier section of the file has the same name");
  Search_resource_store store(db);
  try {
    // One transaction for the whole file: a file of 100,000 sections is one write to disk.
    Db_transaction transaction(db);
    for (const std::string& name : names) {
      Search_resource_handle r = read_definition(file, Ref_string(std::string_view(name)));
      std::string problem = definition_problem(*r);
      if (problem.empty() && !store.save_resource(*r)) problem = "it could not be stored";
      if (problem.empty())
        ++result.saved;
      else
        result.refused.emplace_back(name, problem);
    }
    transaction.commit();
  } catch (const Db_error& e) {
    report_db_error(e);
    result.saved = 0;
  }
  return result;
}

int seed_search_resources(const Ref_string& definitions_path, Database& db) {
  return import_definitions(definitions_path, db).saved;
}

int query_transformation_mode(const Ref_string& config, const Ref_string& location) {
  int mode = 0;
  Ref_string where = location.lower();
  for (const Ref_string& entry : split(config, ',')) {
    Ref_string text, value;
    if (!two_pieces(entry, text, value)) continue;
    if (where.find(text.lower().c_str()) < 0) continue;
    int m = value.to_int();
    mode = m >= 0 && m <= 2 ? m : 0;
  }
  return mode;
}

bool advertisement_match(const Ref_string& config, const Ref_string& location,
                         const Ref_string& image_address) {
  Ref_string where = location.lower();
  Ref_string image = image_address.lower();
  for (const Ref_string& entry : split(config, ',')) {
    Ref_string place, piece;
    if (!two_pieces(entry, place, piece)) continue;
    if (where.find(place.lower().c_str()) < 0) continue;
    return image.find(piece.lower().c_str()) >= 0;
  }
  return false;
}

}  // namespace orvalis
