// Profile_file reads a profile (INI) file: sections introduced by "[name]" lines, each followed
// by "key=value" lines. It keeps the behaviour of the desktop profile-file functions that the
// search resource definitions rely on:
//   - section names and keys are compared without regard to case (ASCII letters);
//   - the first section of a name and, inside it, the first key of a name win;
//   - values are trimmed of surrounding blanks and tabs, and a value wrapped in one pair of
//     matching quotes ('...' or "...") loses them;
//   - a value is cut at 4095 characters (a 4096-character buffer with its terminator);
//   - every section is listed, however many there are (the desktop functions cut the list at a
//     4096-byte buffer; that was a limit of theirs, not of the format); an empty name is not;
//   - lines whose first non-blank character is ";" are comments; lines without "=" outside a
//     section header are ignored, as are keys before the first section;
//   - lines end with LF or CR LF (a lone CR ends a line too); a UTF-8 byte-order mark at the
//     start is skipped; zero bytes are dropped.
// The whole file is read once into memory (files over 16 MB, and anything but a regular file,
// are refused) and parsed in time linear in its size, however many sections and keys it has.
// Bytes are kept as they are otherwise (UTF-8 in practice).
// Owned by whoever reads it; one thread at a time. Only std types at its surface.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace orvalis::platform {

class Profile_file {
 public:
  static constexpr std::size_t buffer_size = 4096;
  static constexpr std::size_t max_value_length = buffer_size - 1;
  static constexpr std::size_t max_file_size = 16u * 1024 * 1024;

  Profile_file() = default;

  // Reads the file at `path`. A missing, unreadable or oversized file, or one that is not a
  // regular file (a folder, a device, a pipe), gives no sections and false.
  bool load(const std::string& path);
  // Parses `text` as the contents of a profile file, replacing what was held.
  void parse(std::string_view text);

  // Section names in file order, each once.
  std::vector<std::string> section_names() const;
  // Sections whose name repeated an earlier one (their lines were ignored), in file order.
  const std::vector<std::string>& repeated_sections() const { return repeated_; }
  // The value of `key` in `section`, or `default_value` when either is missing. Cut at 4095
  // characters. An empty value is returned as it is (empty), not replaced by the default.
  std::string get_string(std::string_view section, std::string_view key,
                         std::string_view default_value = {}) const;
  bool has_key(std::string_view section, std::string_view key) const;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> keys;  // lower-cased key -> entry
  };
  const Section* find_section(std::string_view name) const;
  const Entry* find_entry(std::string_view section, std::string_view key) const;

  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> by_name_;  // lower-cased name -> section
  std::vector<std::string> repeated_;
};

}  // namespace orvalis::platform
