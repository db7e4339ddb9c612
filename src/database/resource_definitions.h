// Search resource definitions: the profile (INI) file that a new Topic database is seeded from,
// and the two settings that tune how each engine is queried.
//
// Definitions file: one section per resource, the section name being the resource's name, with
// the keys Enabled, Location, IgnoreSubstrings, FieldValues, SearchField, RequestType, Category,
// FormURL, Username and Password (all optional; values cut at 4095 characters). The file is
// read whole, every section however many. A section is refused, with its reason, when its
// resource cannot be used: no Location, a Location that is not an absolute http, https, ftp or
// gopher address, no SearchField, a name longer than 255 characters, or a name that an earlier
// section of the file took. A key with an
// empty value leaves the field as it was. RequestType is GET only when it is exactly "GET" (or
// missing or empty); any other value means POST. A missing Enabled leaves the resource disabled
// (0), so a definition must ask to be used.
//
// query_transformation_config: comma-separated entries "LOCATION-TEXT MODE"; the last entry
// whose text occurs in the resource's location (case-insensitive) gives the mode: 0 query as
// typed, 1 words joined with " AND ", 2 each word prefixed with "+". advertisement_config:
// comma-separated entries "LOCATION-TEXT IMAGE-TEXT"; the first entry whose location text occurs
// in the location decides whether an image address is the engine's advertisement. Entries that
// are not exactly two pieces separated by one blank are ignored in both.
//
// Thread: the user-interface thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "database/database.h"
#include "database/search_resource.h"
#include "platform/profile_file.h"

namespace orvalis {

// The resource described by `section` of `file`.
Search_resource_handle read_definition(const platform::Profile_file& file,
                                       const Ref_string& section);
Search_resource_handle read_definition(const Ref_string& file_path, const Ref_string& section);
// One resource per section, in the file's section order. A missing or unreadable file gives none.
Ref_list<Search_resource_handle> read_definitions(const platform::Profile_file& file);
Ref_list<Search_resource_handle> read_definitions(const Ref_string& file_path);

// Why the resource of a definition cannot be stored and used; empty when it can.
std::string definition_problem(const Search_resource& r);

// What import_definitions did.
struct Definitions_import {
  bool readable = false;  // the file was read (false: missing, unreadable, not a regular file)
  int sections = 0;       // sections in the file, repeated names included
  int saved = 0;
  std::vector<std::pair<std::string, std::string>> refused;  // section name, reason
  // A readable file without a single section is not a definitions file.
  bool is_definitions_file() const { return readable && sections > 0; }
};

// Saves every acceptable definition of the file at `path` into the database, adding a row or
// updating the one of the same name, in one transaction (a refused section changes nothing).
Definitions_import import_definitions(const Ref_string& path, Database& db = Database::shared());

// import_definitions for a database that has just been made. Returns the number saved.
int seed_search_resources(const Ref_string& definitions_path, Database& db = Database::shared());

// The query transformation mode (0, 1 or 2) of a resource at `location`. A matching entry with
// any other mode gives 0.
int query_transformation_mode(const Ref_string& config, const Ref_string& location);
// Whether `image_address` is the advertisement of the resource at `location`.
bool advertisement_match(const Ref_string& config, const Ref_string& location,
                         const Ref_string& image_address);

}  // namespace orvalis
