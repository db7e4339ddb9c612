#include "platform/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace orvalis::platform {

namespace {

Registry_store::Reporter reporter = nullptr;

void report(const std::string& message) {
  if (reporter)
    reporter(message);
  else
    std::cerr << message << std::endl;
}

std::string escape(const std::string& v) {
  std::string out;
  for (char c : v) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string unescape(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) {
      char n = v[++i];
      out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
    } else {
      out += v[i];
    }
  }
  return out;
}

bool make_folders(const std::string& path) {
  std::string part;
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      part = path.substr(0, i);
      if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// File name of a key path: its characters reduced to letters, digits, "-", "_" and ".".
std::string file_name_of(const std::string& key_path) {
  std::string name;
  for (char c : key_path) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '.';
    name += ok ? c : '_';
  }
  while (!name.empty() && name[0] == '.') name.erase(0, 1);
  return name + ".conf";
}

std::map<std::string, std::string> parse(std::istream& in) {
  std::map<std::string, std::string> values;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;  // not a setting: ignored
    values[line.substr(0, eq)] = unescape(line.substr(eq + 1));
  }
  return values;
}

}  // namespace

Registry_store& Registry_store::instance() {
  static Registry_store store;
  return store;
}

void Registry_store::set_reporter(Reporter r) { reporter = r; }

std::string Registry_store::config_folder() {
  if (const char* c = std::getenv("ORVALIS_CONFIG_HOME"); c && *c) return c;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/orvalis";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    if (passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
  }
  return std::string(home ? home : ".") + "/.config/orvalis";
}

bool Registry_store::open(const std::string& key_path) {
  if (open_) {
    report("Registry already initialized.");
    return false;
  }
  std::string folder = config_folder();
  if (!make_folders(folder)) {
    report("Error opening registry key: " + key_path);
    return false;
  }
  file_ = folder + "/" + file_name_of(key_path);
  int fd = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    report("Error opening registry key: " + key_path);
    return false;
  }
  ::close(fd);
  open_ = true;
  load();
  return true;
}

void Registry_store::load() {
  std::ifstream in(file_);
  values_ = parse(in);
}

std::string Registry_store::read(const std::string& name) {
  if (!open_) {
    report("Registry not initialized.");
    return "";
  }
  auto it = values_.find(name);
  return it == values_.end() ? "" : it->second;
}

bool Registry_store::has(const std::string& name) { return open_ && values_.count(name) > 0; }

std::map<std::string, std::string> Registry_store::values() { return values_; }

bool Registry_store::write(const std::string& name, const std::string& value) {
  if (!open_) {
    report("Registry not initialized.");
    return false;
  }
  bool ok = false;
  std::string lock_path = file_ + ".lock";
  int lock = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock >= 0) flock(lock, LOCK_EX);
  {
    // Another front-end may have written since we loaded: start from the file as it is now.
    std::ifstream in(file_);
    std::map<std::string, std::string> current = parse(in);
    if (valid_name(name)) {
      current[name] = value;
      ok = store(current);
      if (ok) values_ = std::move(current);
    }
  }
  if (lock >= 0) {
    flock(lock, LOCK_UN);
    ::close(lock);
  }
  if (!ok) report("Error writing registry value: " + name);
  return ok;
}

bool Registry_store::valid_name(const std::string& name) {
  return !name.empty() && name[0] != '#' && name.find_first_of(std::string("=\n\r\0", 4)) == std::string::npos;
}

bool Registry_store::store(const std::map<std::string, std::string>& values) {
  std::string text = "# Orvalis settings: name=value, one per line\n";
  for (const auto& [n, v] : values) text += n + "=" + escape(v) + "\n";
  std::string temp = file_ + ".tmp" + std::to_string(getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    ssize_t w = ::write(fd, p, left);
    if (w <= 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    p += w;
    left -= static_cast<size_t>(w);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  if (std::rename(temp.c_str(), file_.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void Registry_store::close() {
  open_ = false;
  values_.clear();
  file_.clear();
}

}  // namespace orvalis::platform
