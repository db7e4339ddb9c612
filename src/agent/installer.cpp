#include "agent/installer.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/registry_store.h"
#include "platform/version.h"

#ifndef ORVALIS_DATA_DIR
#define ORVALIS_DATA_DIR ""
#endif

namespace orvalis {

namespace fs = std::filesystem;

namespace {

std::string home() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (passwd* pw = getpwuid(getuid())) return pw->pw_dir;
  return ".";
}

std::string login_name() {
  if (passwd* pw = getpwuid(getuid())) return pw->pw_name;
  if (const char* u = std::getenv("USER"); u && *u) return u;
  return "user";
}

std::string find_program(const char* name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

// Copies `from` to `to` when `to` is missing or older; records what was copied.
void copy_file_if_newer(const fs::path& from, const fs::path& to, Install_report& report) {
  std::error_code ec;
  if (fs::exists(to, ec) && fs::last_write_time(to, ec) >= fs::last_write_time(from, ec)) return;
  fs::create_directories(to.parent_path(), ec);
  if (fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec))
    report.files_copied.push_back(to.string());
  else if (ec) {
    report.ok = false;
    report.error = "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
  }
}

}  // namespace

std::string default_install_dir() {
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) return std::string(x) + "/orvalis";
  return home() + "/.local/share/orvalis";
}

std::string shipped_data_dir() {
  if (const char* d = std::getenv("ORVALIS_SHIPPED_DATA"); d && *d) return d;
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    // An installed program: its data lies at the same place relative to it under any prefix.
    fs::path share = (exe.parent_path() / ORVALIS_DATA_FROM_PROGRAM).lexically_normal();
    if (fs::exists(share / "searchres.ini", ec)) return share.string();
  }
  return ORVALIS_DATA_DIR;
}

bool is_first_start() {
  std::error_code ec;
  return !fs::exists(fs::path(platform::Registry_store::config_folder()) /
                         "Software_Brennick_Orvalis_2.0.conf",
                     ec);
}

Install_report install() {
  Install_report report;
  platform::Registry_store& store = platform::Registry_store::instance();
  std::string dir = store.read("InstallDir");
  if (dir.empty()) dir = default_install_dir();
  report.install_dir = dir;

  std::error_code ec;
  fs::create_directories(fs::path(dir) / "pages" / "images", ec);
  fs::create_directories(fs::path(dir) / "engines", ec);
  if (ec || !fs::is_directory(dir)) {
    report.ok = false;
    report.error = "cannot create the data folder " + dir + (ec ? ": " + ec.message() : "");
    return report;
  }

  fs::path shipped = shipped_data_dir();
  report.shipped_dir = shipped.string();
  if (!shipped.empty() && fs::is_directory(shipped, ec)) {
    for (const char* name : {"LEXICON.DAT", "searchres.ini"})
      if (fs::exists(shipped / name, ec)) copy_file_if_newer(shipped / name, fs::path(dir) / name, report);
    fs::path pages = shipped / "pages";
    if (fs::is_directory(pages, ec)) {
      for (auto it = fs::recursive_directory_iterator(pages, ec); !ec && it != fs::end(it);
           it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        fs::path rel = fs::relative(it->path(), pages, ec);
        copy_file_if_newer(it->path(), fs::path(dir) / "pages" / rel, report);
      }
    }
  } else {
    report.ok = false;
    report.error = "the program's data folder was not found (set ORVALIS_SHIPPED_DATA)";
  }

  auto put_default = [&](const char* name, const std::string& value) {
    if (store.has(name) && !store.read(name).empty()) return;
    if (store.write(name, value)) report.settings_written.push_back(std::string(name) + "=" + value);
  };
  put_default("InstallDir", dir);
  put_default("SearchResources", dir + "/searchres.ini");
  std::string browser = find_program("xdg-open");
  if (!browser.empty()) put_default("BrowserPath", browser);
  // There is no DDE here: the browser is driven by starting it with the address.
  put_default("BrowserDDE", "exec");
  put_default("UserName", login_name());
  put_default("NetworkTimeout", "60");
  put_default("ConcurrentReq", "8");
  put_default("ConcurrentDNS", "3");
  put_default("ShowSRAd", "Yes");
  put_default("DBVersion", "2");
  put_default("MaxDocumentBytes", "1048576");
  put_default("MaxResultsPerPage", "200");
  put_default("VerifyCertificates", "yes");
  put_default("AcceptCompression", "Yes");
  put_default("RespectRobots", "Yes");
  put_default("KeepPageCopies", "TextOnly");
  put_default("PageCopyLimitMB", "512");
  return report;
}

}  // namespace orvalis
