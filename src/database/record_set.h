// Record_set is the editable view of the rows of one table, the record-set interface the
// stores are written against: open the rows that match a condition, walk them, read fields by
// name, and add, edit, update or delete rows. The selected rows are read into memory when the set
// is opened (the stores edit one row or a handful at a time); every change is written to the table
// at once by update() or delete_current(), inside whatever transaction the caller holds.
//
// Field reads convert an SQL NULL the way the stores expect: texts read empty, numbers 0, dates
// a null date. add_new() + set_field() + update() inserts a row; move_last_modified() then makes
// that row (read back from the table, so the counter and the defaults are filled) the current
// one. Field names are the table's column names, compared without regard to case; they come
// from code, never from user text. Values are always bound as parameters.
//
// Thread: the connection's thread. Errors are thrown as Db_error.
// REQUIRES: the table name and field names are identifiers of our schema.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "database/database.h"
#include "database/db_date.h"
#include "foundation/ref_string.h"

namespace orvalis {

// One field value: NULL, a whole number or a text.
struct Db_value {
  enum Kind { null, integer, text };

  Kind kind = null;
  std::int64_t number = 0;
  std::string chars;

  Db_value() = default;
  template <class T>
  requires std::is_integral_v<T> Db_value(T v)
      : kind(integer), number(static_cast<std::int64_t>(v)) {}
  Db_value(const Ref_string& s) : kind(text), chars(s.view()) {}
  Db_value(std::string_view s) : kind(text), chars(s) {}
  Db_value(const char* s) : kind(text), chars(s ? s : "") {}
  Db_value(const Db_date& d) {
    if (d.is_valid()) {
      kind = integer;
      number = d.seconds;
    }
  }

  bool is_null() const { return kind == null; }
};

class Record_set {
 public:
  // The rows of `table` matching `condition` (an SQL expression with ?1, ?2 ... bound to
  // `params`; empty: all rows), in `order` (empty: table order).
  Record_set(Database& db, std::string table, std::string_view condition = {},
             std::initializer_list<Db_value> params = {}, std::string_view order = {});

  // Direct access to a table for appending only: no rows are read.
  static Record_set for_append(Database& db, std::string table);

  bool eof() const { return position_ >= rows_.size(); }
  void move_next() {
    if (position_ < rows_.size()) ++position_;
  }
  void move_first() { position_ = 0; }
  void move_last() { position_ = rows_.empty() ? 0 : rows_.size() - 1; }
  int record_count() const { return static_cast<int>(rows_.size()); }

  // Fields of the current row. REQUIRES: !eof().
  const Db_value& value(std::string_view field) const;
  Ref_string text(std::string_view field) const;
  std::int32_t number(std::string_view field) const;
  Db_date date(std::string_view field) const;
  // The current row's rowid (for tables with a counter, the counter).
  std::int64_t row_id() const;

  // Starts a new row (every field unset: NULL or the column's default).
  void add_new();
  // Starts changing the current row. REQUIRES: !eof().
  void edit();
  // Sets a field of the row being added or edited.
  void set_field(std::string_view field, Db_value value);
  // Writes the row being added or edited.
  void update();
  // Deletes the current row; the next row becomes current.
  void delete_current();
  // Makes the row last added or updated current, as the table now holds it.
  void move_last_modified();

 private:
  struct Tag {};
  Record_set(Database& db, std::string table, Tag);
  void read_columns();
  int column_index(std::string_view field) const;
  int require_column(std::string_view field) const;

  enum class Editing { none, adding, editing };

  Database& db_;
  std::string table_;
  std::vector<std::string> columns_;  // column 0 is the rowid
  std::vector<std::vector<Db_value>> rows_;
  std::size_t position_ = 0;
  Editing editing_ = Editing::none;
  std::vector<std::pair<int, Db_value>> pending_;
  std::int64_t last_modified_ = 0;
};

// The stores' conversions of one value.
Ref_string db_text(const Db_value& v);
std::int32_t db_number(const Db_value& v);
Db_date db_date(const Db_value& v);

}  // namespace orvalis
