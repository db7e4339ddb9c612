#include "foundation/settings.h"

#include "foundation/error_handler.h"
#include "foundation/setting_ranges.h"
#include "platform/registry_store.h"
#include "platform/version.h"

namespace orvalis {

namespace {

platform::Registry_store& store() { return platform::Registry_store::instance(); }

Ref_string read(const char* name) { return Ref_string(std::string_view(store().read(name))); }
void write(const char* name, const Ref_string& value) { store().write(name, value.str()); }

void report_through_engine(const std::string& message) {
  report_error(Ref_string(std::string_view(message)));
}

Network_limits limits;

// The settings store reports through the engine's error handler from the first use on.
const bool reporter_installed = (platform::Registry_store::set_reporter(report_through_engine), true);

}  // namespace

Settings_cache& Settings_cache::instance() {
  static Settings_cache* cache = new Settings_cache;
  return *cache;
}

Ref_string Settings_cache::get(const Ref_string& name) const {
  for (const Pair& p : pairs_)
    if (p.name == name) return p.value;
  return Ref_string();
}

bool Settings_cache::has(const Ref_string& name) const {
  for (const Pair& p : pairs_)
    if (p.name == name) return true;
  return false;
}

void Settings_cache::set(const Ref_string& name, const Ref_string& value) {
  for (Pair& p : pairs_)
    if (p.name == name) {
      p.value = value;
      return;
    }
  pairs_.append(Pair{name, value});
}

void Settings_cache::clear() { pairs_.clear(); }

Network_limits& network_limits() { return limits; }

Ref_string default_user_agent() { return Ref_string("Orvalis/" ORVALIS_VERSION); }

bool open_settings_store() {
  platform::Registry_store::set_reporter(report_through_engine);
  return store().open(kSettings_key);
}

Ref_string profile_get_string(const char* entry, const char* default_value) {
  std::string name = std::string(kToolkit_section) + "\\" + entry;
  if (!store().has(name)) return Ref_string(default_value);
  return Ref_string(std::string_view(store().read(name)));
}

void profile_put_string(const char* entry, const Ref_string& value) {
  store().write(std::string(kToolkit_section) + "\\" + entry, value.str());
}

int profile_get_int(const char* entry, int default_value) {
  std::string name = std::string(kToolkit_section) + "\\" + entry;
  if (!store().has(name)) return default_value;
  const std::string value = store().read(name);
  if (find_setting_range(entry) && !setting_value_problem(entry, value).empty()) return default_value;
  return Ref_string(std::string_view(value)).to_int();
}

void profile_put_int(const char* entry, int value) {
  profile_put_string(entry, Ref_string::number(value));
}

int load_settings() {
  Settings_cache& cache = Settings_cache::instance();
  // Many servers refuse a request that does not name its program.
  Ref_string agent = read("UserAgent");
  cache.set("UserAgent", agent.is_blank() ? default_user_agent() : agent);
  // Compressed replies (gzip, deflate) are asked for unless this is "No".
  cache.set("AcceptCompression", read("AcceptCompression").lower() == "no" ? "No" : "Yes");
  // Follow Links and scheduled fetches honour the sites' robots rules unless this is "No".
  cache.set("RespectRobots", read("RespectRobots").lower() == "no" ? "No" : "Yes");
  // Copies of the pages read: "TextOnly" unless set; a stored word that is none of the three is
  // reported and the default taken.
  Ref_string keep = read("KeepPageCopies");
  std::string keep_word = setting_choice("KeepPageCopies", keep.view());
  if (keep_word.empty()) {
    if (!keep.is_blank())
      report_error(Ref_string(std::string_view(setting_value_problem("KeepPageCopies", keep.view()) +
                                               ": TextOnly is used instead.")));
    keep_word = "TextOnly";
  }
  cache.set("KeepPageCopies", Ref_string(std::string_view(keep_word)));
  cache.set("PageCopyLimitMB",
            Ref_string::number(static_cast<int>(stored_setting_number("PageCopyLimitMB", read("PageCopyLimitMB").view()))));
  cache.set("LastDatabase", read("LastDatabase"));
  Ref_string install = read("InstallDir");
  if (install.empty()) {
    report_error(Ref_string::from_id(18009));
    return 0;
  }
  cache.set("InstallDir", install);
  cache.set("lexicon_path", install);

  Ref_string browser = read("BrowserPath");
  Ref_string dde = read("BrowserDDE");
  if (browser.empty() || dde.empty()) {
    report_error(Ref_string::from_id(18010));
  } else {
    cache.set("BrowserPath", browser);
    cache.set("BrowserDDE", dde);
  }

  cache.set("advertisement_config", read("advertisement_config"));
  Ref_string transform = read("query_transformation_config");
  if (transform.empty()) transform = Ref_string::from_id(18047);
  cache.set("query_transformation_config", transform);

  Ref_string proxy_enabled = profile_get_string("ProxyEnabled", "no");
  Ref_string proxy_host = read("ProxyHost");
  Ref_string proxy_port = read("ProxyPort");
  if (!setting_value_problem("ProxyPort", proxy_port.view()).empty()) {
    stored_setting_number("ProxyPort", proxy_port.view());  // reports it
    proxy_port = Ref_string();
  }
  if (proxy_enabled == "yes" && (proxy_host.empty() || proxy_port.empty())) {
    report_error(Ref_string::from_id(18011));
    proxy_enabled = "no";
  }
  cache.set("ProxyEnabled", proxy_enabled);
  cache.set("ProxyHost", proxy_host);
  cache.set("ProxyPort", proxy_port);

  Ref_string show_ad = read("ShowSRAd");
  if (show_ad.empty()) show_ad = Ref_string::from_id(10102);
  cache.set("ShowSRAd", show_ad);

  // Numbers are read through their ranges (setting_ranges.cpp): a bad stored value is reported
  // and the default taken, so that no limit of 0 or of gigabytes reaches the engine.
  const int seconds = static_cast<int>(stored_setting_number("NetworkTimeout", read("NetworkTimeout").view()));
  limits.search_timeout = limits.follow_timeout = limits.capture_timeout = seconds;
  limits.concurrent_requests =
      static_cast<int>(stored_setting_number("ConcurrentReq", read("ConcurrentReq").view()));
  limits.concurrent_lookups =
      static_cast<int>(stored_setting_number("ConcurrentDNS", read("ConcurrentDNS").view()));
  limits.max_document_bytes = stored_setting_number("MaxDocumentBytes", read("MaxDocumentBytes").view());
  // A result page of thousands of links would cost a fetch each, at one host's spacing.
  limits.max_results_per_page =
      static_cast<int>(stored_setting_number("MaxResultsPerPage", read("MaxResultsPerPage").view()));
  Ref_string verify = read("VerifyCertificates");
  limits.verify_certificates = verify.lower() != "no";  // "No" as `settings set` takes it
  cache.set("VerifyCertificates", limits.verify_certificates ? "yes" : "no");
  return 1;
}

int save_settings() {
  Settings_cache& cache = Settings_cache::instance();
  write("BrowserPath", cache.get("BrowserPath"));
  write("BrowserDDE", cache.get("BrowserDDE"));
  profile_put_string("ProxyEnabled", cache.get("ProxyEnabled"));
  write("ProxyHost", cache.get("ProxyHost"));
  write("ProxyPort", cache.get("ProxyPort"));
  write("ShowSRAd", cache.get("ShowSRAd"));
  write("KeepPageCopies", cache.get("KeepPageCopies"));
  write("PageCopyLimitMB", cache.get("PageCopyLimitMB"));
  write("NetworkTimeout", Ref_string::number(limits.search_timeout));
  write("ConcurrentReq", Ref_string::number(limits.concurrent_requests));
  write("ConcurrentDNS", Ref_string::number(limits.concurrent_lookups));
  write("MaxDocumentBytes", Ref_string::number(limits.max_document_bytes));
  write("MaxResultsPerPage", Ref_string::number(limits.max_results_per_page));
  write("VerifyCertificates", limits.verify_certificates ? "yes" : "no");
  return 1;
}

Ref_string join_folder(const Ref_string& folder, const Ref_string& name) {
  if (folder.empty()) return name;
  if (folder.ends_with("/")) return folder + name;
  return concat(folder.view(), "/", name.view());
}

Ref_string pages_folder() {
  return join_folder(Settings_cache::instance().get("InstallDir"), "pages/");
}

Ref_string engines_folder() {
  return join_folder(Settings_cache::instance().get("InstallDir"), "engines/");
}

}  // namespace orvalis
