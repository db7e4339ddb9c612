// The program's settings. At start load_settings() reads every setting once from the per-user
// store (Registry_store) into the Settings_cache, checks it and gives it its default; engine
// code then reads settings from the cache by name (exact, case-sensitive). The Options dialog
// changes the cache and calls save_settings(). A few settings are held as numbers after load:
// the three network time-outs, the request and look-up limits, and the document size limit;
// every numeric setting is read through its range (setting_ranges.h).
// User-interface thread only: neither the cache nor the store is guarded.
#pragma once

#include <cstdint>

#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

// The registry key path of the program's settings.
inline constexpr const char* kSettings_key = "Software\\Brennick\\Orvalis\\2.0";
// The section of the window toolkit's own values (window placement, tool bars, proxy switch),
// folded into the same store: names are kToolkit_section + "\\" + entry.
inline constexpr const char* kToolkit_section = "Toolkit\\2.00";

class Settings_cache {
 public:
  static Settings_cache& instance();
  // The value of the first pair with this name; empty when there is none.
  Ref_string get(const Ref_string& name) const;
  // Replaces the value of the pair with that name, or appends a pair.
  void set(const Ref_string& name, const Ref_string& value);
  bool has(const Ref_string& name) const;
  // Forgets every pair (tests; a new start).
  void clear();
  struct Pair {
    Ref_string name;
    Ref_string value;
  };
  const Ref_list<Pair>& pairs() const { return pairs_; }

 private:
  Ref_list<Pair> pairs_;
};

// Opens the settings store on kSettings_key, reporting through the engine's error reporter.
// Returns false after "Error opening registry key: ..." (or when it is already open).
bool open_settings_store();
// Reads, checks and caches every setting. Returns 0 after reporting a missing installation
// folder (the remaining settings then keep their built-in values), else 1.
int load_settings();
// Writes the editable settings back to the store. Returns 1.
int save_settings();

// The User-Agent that requests carry when the setting UserAgent is empty: "Orvalis/" and the
// program's version.
Ref_string default_user_agent();

// Toolkit profile values (kToolkit_section).
Ref_string profile_get_string(const char* entry, const char* default_value);
void profile_put_string(const char* entry, const Ref_string& value);
int profile_get_int(const char* entry, int default_value);
void profile_put_int(const char* entry, int value);

// The installation folder joined with "pages/" and "engines/".
Ref_string pages_folder();
Ref_string engines_folder();
// Joins a folder and a name with exactly one "/" between them (the name alone when the
// folder is empty).
Ref_string join_folder(const Ref_string& folder, const Ref_string& name);

// Numeric settings, held after load.
struct Network_limits {
  int search_timeout = 60;       // seconds; NetworkTimeout
  int follow_timeout = 60;       // seconds; NetworkTimeout
  int capture_timeout = 0;       // seconds; NetworkTimeout once loaded
  int concurrent_requests = 10;  // ConcurrentReq (8 when the store has none)
  int concurrent_lookups = 3;    // ConcurrentDNS
  std::int64_t max_document_bytes = 1048576;  // MaxDocumentBytes: read limit of HTTP
  int max_results_per_page = 200;             // MaxResultsPerPage: documents a result page gives
  bool verify_certificates = true;            // VerifyCertificates: "no" accepts any certificate
};
Network_limits& network_limits();

}  // namespace orvalis
