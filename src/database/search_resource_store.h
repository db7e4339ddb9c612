// Search_resource_store lists, saves and deletes the search resources of the open database
// (the rows of search_resources), by name. Names are unique by convention and compared without
// regard to case (ASCII letters): the store finds a row by its name and works on the first one.
// Locations are stored with their scheme and host in lower case. Saving an engine lifts its
// suspension (an edit is a reason to try it again); deleting it drops its health figures.
//
// Every operation catches Db_error, hands it to report_db_error and returns an empty list,
// a null handle or false. Thread: the user-interface thread.
// REQUIRES: the database outlives the store.
#pragma once

#include "database/database.h"
#include "database/search_resource.h"

namespace orvalis {

class Search_resource_store {
 public:
  explicit Search_resource_store(Database& db = Database::shared()) : db_(db) {}

  // Every resource, by name or by category then name. Rows whose request_type is neither
  // "get" nor "post" (in any case) are left out.
  Ref_list<Search_resource_handle> list_resources(bool order_by_category);
  // The resource stored under `name`; null when there is none.
  Search_resource_handle resource(const Ref_string& name);
  // Every category once, in table order of first appearance (the empty one counts).
  Ref_list<Ref_string> list_categories();
  // Updates the row of the resource's name, or adds one. One transaction.
  bool save_resource(const Search_resource& resource);
  // Deletes the first row of `name`; false when there is none.
  bool delete_resource(const Ref_string& name);

 private:
  Database& db_;
};

}  // namespace orvalis
