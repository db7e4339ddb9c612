#include "database/record_set.h"

#include <sqlite3.h>

#include <cstdlib>

namespace orvalis {

namespace {

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

void bind_value(Db_statement& s, int index, const Db_value& v) {
  switch (v.kind) {
    case Db_value::null:
      s.bind_null(index);
      break;
    case Db_value::integer:
      s.bind(index, v.number);
      break;
    case Db_value::text:
      s.bind(index, std::string_view(v.chars));
      break;
  }
}

// Reads the current row of `s` into values. REAL values are cut to whole numbers (our tables
// hold none); blobs are kept as their bytes.
std::vector<Db_value> row_of(const Db_statement& s) {
  int n = s.column_count();
  std::vector<Db_value> row;
  row.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    switch (s.column_type(i)) {
      case SQLITE_NULL:
        row.emplace_back();
        break;
      case SQLITE_INTEGER:
      case SQLITE_FLOAT:
        row.emplace_back(s.integer(i));
        break;
      default:
        row.emplace_back(s.text_view(i));
        break;
    }
  }
  return row;
}

}  // namespace

Ref_string db_text(const Db_value& v) {
  switch (v.kind) {
    case Db_value::null:
      return Ref_string();
    case Db_value::integer:
      return Ref_string::number(v.number);
    case Db_value::text:
      return Ref_string(std::string_view(v.chars));
  }
  return Ref_string();
}

std::int32_t db_number(const Db_value& v) {
  switch (v.kind) {
    case Db_value::integer:
      return static_cast<std::int32_t>(v.number);
    case Db_value::text:
      return static_cast<std::int32_t>(std::strtoll(v.chars.c_str(), nullptr, 10));
    default:
      return 0;
  }
}

Db_date db_date(const Db_value& v) {
  switch (v.kind) {
    case Db_value::null:
      return Db_date::null_date();
    case Db_value::integer:
      return Db_date::at(v.number);
    case Db_value::text: {
      if (v.chars.empty()) return Db_date::at(0);
      char* end = nullptr;
      long long n = std::strtoll(v.chars.c_str(), &end, 10);
      if (end && *end == '\0') return Db_date::at(n);
      return Db_date::invalid_date();
    }
  }
  return Db_date::invalid_date();
}

Record_set::Record_set(Database& db, std::string table, Tag) : db_(db), table_(std::move(table)) {
  read_columns();
}

Record_set Record_set::for_append(Database& db, std::string table) {
  return Record_set(db, std::move(table), Tag{});
}

Record_set::Record_set(Database& db, std::string table, std::string_view condition,
                       std::initializer_list<Db_value> params, std::string_view order)
    : db_(db), table_(std::move(table)) {
  std::string sql = "SELECT rowid, * FROM " + table_;
  if (!condition.empty()) sql += " WHERE " + std::string(condition);
  sql += " ORDER BY ";
  sql += order.empty() ? std::string_view("rowid") : order;
  Db_statement s(db_, sql);
  int index = 1;
  for (const Db_value& v : params) bind_value(s, index++, v);
  int n = s.column_count();
  columns_.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) columns_.emplace_back(s.column_name(i));
  while (s.step()) rows_.push_back(row_of(s));
}

void Record_set::read_columns() {
  Db_statement s(db_, "SELECT rowid, * FROM " + table_ + " LIMIT 0");
  int n = s.column_count();
  for (int i = 0; i < n; ++i) columns_.emplace_back(s.column_name(i));
}

int Record_set::column_index(std::string_view field) const {
  // Column 0 is the rowid; a field of the same name (the counter) is found after it.
  for (std::size_t i = 1; i < columns_.size(); ++i)
    if (same_name(columns_[i], field)) return static_cast<int>(i);
  return -1;
}

int Record_set::require_column(std::string_view field) const {
  int c = column_index(field);
  if (c < 0) throw Db_error(SQLITE_ERROR, "no such column: " + table_ + "." + std::string(field));
  return c;
}

const Db_value& Record_set::value(std::string_view field) const {
  if (eof()) throw Db_error(SQLITE_MISUSE, "no current row in " + table_);
  return rows_[position_][static_cast<std::size_t>(require_column(field))];
}

Ref_string Record_set::text(std::string_view field) const { return db_text(value(field)); }
std::int32_t Record_set::number(std::string_view field) const { return db_number(value(field)); }
Db_date Record_set::date(std::string_view field) const { return db_date(value(field)); }

std::int64_t Record_set::row_id() const {
  if (eof()) throw Db_error(SQLITE_MISUSE, "no current row in " + table_);
  return rows_[position_][0].number;
}

void Record_set::add_new() {
  editing_ = Editing::adding;
  pending_.clear();
}

void Record_set::edit() {
  if (eof()) throw Db_error(SQLITE_MISUSE, "no current row to edit in " + table_);
  editing_ = Editing::editing;
  pending_.clear();
}

void Record_set::set_field(std::string_view field, Db_value value) {
  if (editing_ == Editing::none)
    throw Db_error(SQLITE_MISUSE, "set_field without add_new or edit on " + table_);
  int c = require_column(field);
  for (auto& [column, v] : pending_)
    if (column == c) {
      v = std::move(value);
      return;
    }
  pending_.emplace_back(c, std::move(value));
}

void Record_set::update() {
  if (editing_ == Editing::none)
    throw Db_error(SQLITE_MISUSE, "update without add_new or edit on " + table_);
  std::string sql;
  if (editing_ == Editing::adding) {
    if (pending_.empty()) {
      sql = "INSERT INTO " + table_ + " DEFAULT VALUES";
    } else {
      std::string names, marks;
      for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (i) {
          names += ", ";
          marks += ", ";
        }
        names += columns_[static_cast<std::size_t>(pending_[i].first)];
        marks += '?';
        marks += std::to_string(i + 1);
      }
      sql = "INSERT INTO " + table_ + " (" + names + ") VALUES (" + marks + ")";
    }
  } else {
    if (pending_.empty()) {
      editing_ = Editing::none;
      last_modified_ = row_id();
      return;
    }
    sql = "UPDATE " + table_ + " SET ";
    for (std::size_t i = 0; i < pending_.size(); ++i) {
      if (i) sql += ", ";
      sql += columns_[static_cast<std::size_t>(pending_[i].first)];
      sql += " = ?";
      sql += std::to_string(i + 1);
    }
    sql += " WHERE rowid = ?";
    sql += std::to_string(pending_.size() + 1);
  }
  Db_statement s(db_, sql);
  int index = 1;
  for (const auto& [column, v] : pending_) bind_value(s, index++, v);
  if (editing_ == Editing::editing) s.bind(index, row_id());
  s.run();
  if (editing_ == Editing::adding) {
    last_modified_ = db_.last_insert_rowid();
  } else {
    last_modified_ = row_id();
    for (auto& [column, v] : pending_) rows_[position_][static_cast<std::size_t>(column)] = v;
  }
  editing_ = Editing::none;
  pending_.clear();
}

void Record_set::delete_current() {
  if (eof()) throw Db_error(SQLITE_MISUSE, "no current row to delete in " + table_);
  Db_statement s(db_, "DELETE FROM " + table_ + " WHERE rowid = ?1");
  s.bind(1, row_id());
  s.run();
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(position_));
}

void Record_set::move_last_modified() {
  Db_statement s(db_, "SELECT rowid, * FROM " + table_ + " WHERE rowid = ?1");
  s.bind(1, last_modified_);
  if (!s.step()) throw Db_error(SQLITE_NOTFOUND, "the row last modified is gone from " + table_);
  std::vector<Db_value> row = row_of(s);
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i][0].number == last_modified_) {
      rows_[i] = std::move(row);
      position_ = i;
      return;
    }
  rows_.push_back(std::move(row));
  position_ = rows_.size() - 1;
}

}  // namespace orvalis
