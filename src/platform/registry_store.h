// Registry_store keeps the program's per-user settings: named string values under one key
// path, as a desktop registry would. On this platform a key path is one file in the settings
// folder ($ORVALIS_CONFIG_HOME, else $XDG_CONFIG_HOME/orvalis, else ~/.config/orvalis) holding
// "name=value" lines. Names are exact and case-sensitive. Every write re-reads the file under
// an advisory lock, applies the change and replaces the file atomically (temporary file, fsync,
// rename), so a crash never leaves a half-written file and two front-ends do not lose each
// other's values. Lines that are not "name=value" are ignored (and kept out of later writes).
// Values are escaped so that any text, line breaks included, round-trips.
// One store is open per process (open_registry); user-interface thread only.
#pragma once

#include <map>
#include <string>

namespace orvalis::platform {

class Registry_store {
 public:
  // The process-wide store.
  static Registry_store& instance();

  // Opens the key path (creating the folder and file as needed). Only once per run: a second
  // open reports "Registry already initialized." and returns false; a folder or file that
  // cannot be made reports "Error opening registry key: " + path and returns false.
  bool open(const std::string& key_path);
  bool is_open() const { return open_; }
  // Before open: reports "Registry not initialized." and returns "".
  std::string read(const std::string& name);
  // Before open: reports "Registry not initialized."; a failed write, or a name the file cannot
  // hold (see valid_name), reports "Error writing registry value: " + name.
  bool write(const std::string& name, const std::string& value);
  // True for a name a "name=value" line can hold: not empty, not beginning with "#" (a comment),
  // without "=", line breaks or zero bytes.
  static bool valid_name(const std::string& name);
  // True when the file holds the name (an empty value counts).
  bool has(const std::string& name);
  // Names and values as stored, for listing.
  std::map<std::string, std::string> values();
  // Closes the store (static destruction does this too); a later open starts afresh.
  void close();

  // The settings folder and the file of the open key.
  static std::string config_folder();
  const std::string& file_path() const { return file_; }

  // How errors are shown; the default goes to the engine's error reporter, installed by the
  // foundation layer. Tests may replace it.
  using Reporter = void (*)(const std::string& message);
  static void set_reporter(Reporter r);

 private:
  Registry_store() = default;
  void load();
  bool store(const std::map<std::string, std::string>& values);

  bool open_ = false;
  std::string file_;
  std::map<std::string, std::string> values_;
};

}  // namespace orvalis::platform
