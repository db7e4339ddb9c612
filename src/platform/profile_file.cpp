#include "platform/profile_file.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace orvalis::platform {

namespace {

// Names and keys compare without regard to case (ASCII letters): they are looked up lower-cased.
std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string without_zero_bytes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\0') out.push_back(c);
  return out;
}

}  // namespace

bool Profile_file::load(const std::string& path) {
  parse({});
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::size_t>(size) > max_file_size) return false;
  in.seekg(0, std::ios::beg);
  std::string text(static_cast<std::size_t>(size), '\0');
  if (size > 0 && !in.read(text.data(), size)) return false;
  parse(text);
  return true;
}

void Profile_file::parse(std::string_view text) {
  sections_.clear();
  by_name_.clear();
  repeated_.clear();
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  Section* current = nullptr;
  // When a section name repeats, its later lines are ignored: the first section wins.
  bool skipping = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = trim(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size() && text[pos] == '\r') ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      std::size_t close = name.find(']');
      if (close != std::string_view::npos) name = name.substr(0, close);
      std::string clean = without_zero_bytes(trim(name));
      if (find_section(clean)) {
        skipping = true;
        current = nullptr;
        repeated_.push_back(std::move(clean));
      } else {
        skipping = false;
        by_name_.emplace(folded(clean), sections_.size());
        sections_.push_back(Section{std::move(clean), {}, {}});
        current = &sections_.back();
      }
      continue;
    }
    if (!current || skipping) continue;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key = without_zero_bytes(trim(line.substr(0, eq)));
    std::string_view value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    if (current->keys.emplace(folded(key), current->entries.size()).second)
      current->entries.push_back(Entry{std::move(key), without_zero_bytes(value)});
  }
}

const Profile_file::Section* Profile_file::find_section(std::string_view name) const {
  auto it = by_name_.find(folded(name));
  return it == by_name_.end() ? nullptr : &sections_[it->second];
}

const Profile_file::Entry* Profile_file::find_entry(std::string_view section,
                                                    std::string_view key) const {
  const Section* s = find_section(section);
  if (!s) return nullptr;
  auto it = s->keys.find(folded(key));
  return it == s->keys.end() ? nullptr : &s->entries[it->second];
}

std::vector<std::string> Profile_file::section_names() const {
  std::vector<std::string> names;
  names.reserve(sections_.size());
  for (const Section& s : sections_)
    if (!s.name.empty()) names.push_back(s.name);
  return names;
}

std::string Profile_file::get_string(std::string_view section, std::string_view key,
                                     std::string_view default_value) const {
  const Entry* e = find_entry(section, key);
  std::string_view found = e ? std::string_view(e->value) : default_value;
  if (found.size() > max_value_length) found = found.substr(0, max_value_length);
  return std::string(found);
}

bool Profile_file::has_key(std::string_view section, std::string_view key) const {
  return find_entry(section, key) != nullptr;
}

}  // namespace orvalis::platform
