#include "agent/browser.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "foundation/settings.h"

extern char** environ;

namespace orvalis {

namespace {

bool is_executable_file(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

const char* browser_choice_label(Browser_choice choice) {
  switch (choice) {
    case Browser_choice::internet_explorer: return "Microsoft Internet Explorer";
    case Browser_choice::netscape: return "Netscape Navigator";
    case Browser_choice::firefox: return "Mozilla Firefox";
    case Browser_choice::chromium: return "Chromium";
    case Browser_choice::other: break;
  }
  return "Other Browser";
}

Ref_string browser_service_name(const Ref_string& browser_path) {
  std::string_view path = browser_path.view();
  size_t slash = path.find_last_of('/');
  std::string_view file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = file.find('.');
  if (dot != std::string_view::npos) file = file.substr(0, dot);
  return Ref_string(std::string(file)).lower();
}

Browser_choice browser_choice(const Ref_string& browser_path) {
  Ref_string name = browser_service_name(browser_path);
  if (name == "iexplore") return Browser_choice::internet_explorer;
  if (name == "netscape") return Browser_choice::netscape;
  if (name == "firefox" || name == "firefox-esr") return Browser_choice::firefox;
  if (name == "chromium" || name == "chromium-browser") return Browser_choice::chromium;
  return Browser_choice::other;
}

namespace {

// The file `name` stands for: itself when it holds a "/", else the first file of that name in
// a folder of PATH that passes `usable`; empty when none does.
template <class Usable>
std::string resolve_command(const std::string& name, Usable usable) {
  if (name.find('/') != std::string::npos) return usable(name) ? name : std::string();
  const char* search = std::getenv("PATH");
  std::string dirs = search ? search : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    // An empty entry names the current folder.
    std::string candidate = end > start ? dirs.substr(start, end - start) : std::string(1, '.');
    candidate += '/';
    candidate += name;
    if (usable(candidate)) return candidate;
    start = end + 1;
  }
  return {};
}

bool is_readable_file(const std::string& path) {
  struct stat st;
  return ::access(path.c_str(), R_OK) == 0 && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

Ref_string check_browser_path(const Ref_string& browser_path) {
  if (!browser_path.empty() && !resolve_command(browser_path.str(), is_readable_file).empty()) return {};
  return Ref_string::from_id(10130);
}

bool browser_executable_found(const Ref_string& browser_path) {
  return !browser_path.empty() && !resolve_command(browser_path.str(), is_executable_file).empty();
}

Ref_string confirm_browser_question(const Ref_string& browser_path) {
  if (browser_executable_found(browser_path)) return {};
  // The text numbers its one placeholder %1; format_args fills %0 first.
  return format_args(Ref_string::from_id(12007), Ref_string(), browser_path);
}

Ref_string capture_browser_check(const Ref_string& browser_path) {
  if (!browser_path.empty()) return {};
  return Ref_string::from_id(10171);
}

bool start_browser(const Ref_string& browser_path, const Ref_string& address) {
  if (browser_path.empty()) return false;
  // sh starts the browser in the background with no terminal streams and exits; the browser
  // is then init's child. The path and the address travel as positional parameters, so no
  // character of either is ever read by the shell.
  static const char script[] = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
  std::string path = browser_path.str();
  std::string addr = address.str();
  char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script),
                  path.data(), addr.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int open_address(const Ref_string& address) {
  start_browser(Settings_cache::instance().get("BrowserPath"), address);
  return 1;
}

}  // namespace orvalis
