#include "peer_servers.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvalis::testing {

namespace {
double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::string here() { return std::filesystem::path(__FILE__).parent_path().string(); }

void make_readable(const std::string& path) {
  std::error_code ec;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::group_exec |
                                         std::filesystem::perms::others_read |
                                         std::filesystem::perms::others_exec,
                               ec);
}
}  // namespace

bool Raw_server::Peer::write(const std::string& text) const {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool Raw_server::Peer::read_line(std::string& line, double seconds) {
  auto t0 = std::chrono::steady_clock::now();
  char buf[4096];
  for (;;) {
    size_t at = pending.find("\r\n");
    if (at != std::string::npos) {
      line = pending.substr(0, at);
      pending.erase(0, at + 2);
      return true;
    }
    if (stopping() || seconds_since(t0) > seconds) return false;
    pollfd q{fd, POLLIN, 0};
    if (::poll(&q, 1, 50) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending.append(buf, static_cast<size_t>(n));
  }
}

std::string Raw_server::Peer::read_rest(double seconds) {
  auto t0 = std::chrono::steady_clock::now();
  std::string all = pending;
  pending.clear();
  char buf[4096];
  while (!stopping() && seconds_since(t0) < seconds) {
    pollfd q{fd, POLLIN, 0};
    if (::poll(&q, 1, 50) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    all.append(buf, static_cast<size_t>(n));
  }
  return all;
}

bool Raw_server::start(Handler handler) {
  stop();
  handler_ = std::move(handler);
  return acceptor_.start([this](int fd) {
    Peer peer{fd, &acceptor_.stopping(), std::string()};
    handler_(peer);
    if (peer.fd >= 0) ::close(peer.fd);
  });
}

bool Ftp_server::start() {
  stop();
  dir_ = make_temp_dir("orvalis-ftp-");
  if (dir_.empty()) return false;
  root_ = dir_ + "/root";
  std::filesystem::create_directories(root_);
  port_ = free_port();
  if (!process_.start({"/usr/bin/python3", here() + "/ftp_server.py", std::to_string(port_), root_},
                      dir_ + "/output.log"))
    return false;
  return wait_for_port(port_, 15);
}

void Ftp_server::stop() {
  process_.stop();
  remove_tree(dir_);
  dir_.clear();
}

std::string Ftp_server::url(const std::string& path, const std::string& login) const {
  return "ftp://" + login + (login.empty() ? "" : "@") + "127.0.0.1:" + std::to_string(port_) + path;
}

void Ftp_server::put(const std::string& path, const std::string& content) const {
  write_file(root_ + path, content);
}

std::string Ftp_server::log() const { return read_file(dir_ + "/output.log"); }

bool Gopher_server::start() {
  stop();
  dir_ = make_temp_dir("orvalis-gopher-");
  if (dir_.empty()) return false;
  make_readable(dir_);
  root_ = dir_ + "/root";
  std::filesystem::create_directories(root_);
  make_readable(root_);
  port_ = free_port();
  const std::string p = std::to_string(port_);
  // gophernicus serves one connection on its standard input and output; socat listens.
  // -nr: the tests may run as root.
  const std::string server = "/usr/sbin/gophernicus -h 127.0.0.1 -p " + p + " -r " + root_ +
                             " -nv -nf -nd -ns -nx -nu -nt -na -nm -nr";
  if (!process_.start({"/usr/bin/socat", "TCP-LISTEN:" + p + ",bind=127.0.0.1,reuseaddr,fork",
                       "EXEC:" + server},
                      dir_ + "/output.log"))
    return false;
  return wait_for_port(port_, 10);
}

void Gopher_server::stop() {
  process_.stop();
  remove_tree(dir_);
  dir_.clear();
}

std::string Gopher_server::url(const std::string& path) const {
  return "gopher://127.0.0.1:" + std::to_string(port_) + path;
}

void Gopher_server::put(const std::string& path, const std::string& content) const {
  write_file(root_ + path, content);
  // gophernicus serves only what everybody may read.
  for (std::filesystem::path p = std::filesystem::path(root_ + path).parent_path();
       p.string().size() >= root_.size(); p = p.parent_path())
    make_readable(p.string());
  ::chmod((root_ + path).c_str(), 0644);
}

}  // namespace orvalis::testing
