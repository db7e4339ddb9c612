#include "test_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>

namespace orvalis::testing {

bool Nginx_server::start(const std::string& extra) {
  https_ = false;
  return launch("", extra);
}

bool Nginx_server::start_https(const std::string& cert_file, const std::string& key_file,
                               const std::string& extra) {
  https_ = true;
  return launch(" ssl", "    ssl_certificate " + cert_file + ";\n    ssl_certificate_key " +
                            key_file + ";\n" + extra);
}

bool Nginx_server::launch(const std::string& listen_options, const std::string& extra) {
  process_.stop();
  remove_tree(dir_);
  dir_ = make_temp_dir("orvalis-nginx-");
  if (dir_.empty()) return false;
  root_ = dir_ + "/www";
  std::filesystem::create_directories(root_);
  port_ = free_port();
  std::ostringstream conf;
  conf << "master_process off;\n"
       << "daemon off;\n"
       << "worker_processes 1;\n"
       << "pid " << dir_ << "/nginx.pid;\n"
       << "error_log " << dir_ << "/error.log warn;\n"
       << "events { worker_connections 4096; }\n"
       << "http {\n"
       << "  access_log off;\n"
       << "  default_type text/html;\n"
       << "  client_body_temp_path " << dir_ << "/body;\n"
       << "  proxy_temp_path " << dir_ << "/proxy;\n"
       << "  fastcgi_temp_path " << dir_ << "/fastcgi;\n"
       << "  uwsgi_temp_path " << dir_ << "/uwsgi;\n"
       << "  scgi_temp_path " << dir_ << "/scgi;\n"
       << "  server {\n"
       << "    listen 127.0.0.1:" << port_ << listen_options << " backlog=4096;\n"
       << "    root " << root_ << ";\n"
       << "    location = /moved { return 301 /page.html; }\n"
       << "    location = /found { return 302 /page.html; }\n"
       << "    location = /relative { absolute_redirect off; return 302 /page.html; }\n"
       << "    location = /elsewhere { return 302 mailto:someone; }\n"
       << "    location = /echo { return 200 \"$request_method $request_uri $http_host "
          "[$http_user_agent]\"; }\n"
       << "    location /slow/ { limit_rate 200; }\n"
       << extra << "  }\n"
       << "}\n";
  write_file(dir_ + "/nginx.conf", conf.str());
  if (!process_.start({"/usr/sbin/nginx", "-p", dir_, "-e", dir_ + "/error.log", "-c",
                       dir_ + "/nginx.conf"},
                      dir_ + "/output.log"))
    return false;
  return wait_for_port(port_, 10);
}

void Nginx_server::stop() {
  process_.stop();
  remove_tree(dir_);
  dir_.clear();
}

std::string Nginx_server::url(const std::string& path) const {
  if (https_) return "https://localhost:" + std::to_string(port_) + path;
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void Nginx_server::put(const std::string& path, const std::string& content) const {
  write_file(root_ + path, content);
}

std::string Nginx_server::log() const { return read_file(dir_ + "/error.log"); }

bool Tinyproxy_server::start(const std::string& extra) {
  stop();
  dir_ = make_temp_dir("orvalis-tinyproxy-");
  if (dir_.empty()) return false;
  port_ = free_port();
  std::ostringstream conf;
  conf << "Port " << port_ << "\n"
       << "Listen 127.0.0.1\n"
       << "Timeout 30\n"
       << "Allow 127.0.0.1\n"
       << "MaxClients 100\n"
       << "LogLevel Info\n"
       << "LogFile \"" << dir_ << "/tinyproxy.log\"\n"
       << "PidFile \"" << dir_ << "/tinyproxy.pid\"\n"
       << extra;
  write_file(dir_ + "/tinyproxy.conf", conf.str());
  if (!process_.start({"/usr/bin/tinyproxy", "-d", "-c", dir_ + "/tinyproxy.conf"},
                      dir_ + "/output.log"))
    return false;
  return wait_for_port(port_, 10);
}

void Tinyproxy_server::stop() {
  process_.stop();
  remove_tree(dir_);
  dir_.clear();
}

std::string Tinyproxy_server::log() const {
  return read_file(dir_ + "/tinyproxy.log") + read_file(dir_ + "/output.log");
}

bool Loopback_acceptor::start(std::function<void(int fd)> on_connection) {
  stop();
  on_connection_ = std::move(on_connection);
  stop_ = false;
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a = loopback(0);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  socklen_t len = sizeof a;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  if (::listen(listen_fd_, 64) != 0) return false;
  acceptor_ = std::thread([this] {
    while (!stop_) {
      pollfd p{listen_fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      std::lock_guard<std::mutex> g(lock_);
      workers_.emplace_back([this, fd] { on_connection_(fd); });
    }
  });
  return true;
}

void Loopback_acceptor::stop() {
  if (listen_fd_ < 0) return;
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> g(lock_);
    workers.swap(workers_);
  }
  for (std::thread& t : workers) t.join();
  ::close(listen_fd_);
  listen_fd_ = -1;
}

bool Scripted_server::start(Handler handler, bool read_request) {
  stop();
  handler_ = std::move(handler);
  read_request_ = read_request;
  return acceptor_.start([this](int fd) { serve(fd); });
}

void Scripted_server::serve(int fd) {
  Peer peer{fd, std::string(), &acceptor_.stopping()};
  // Read the request up to its empty line (bounded by time and size).
  auto t0 = std::chrono::steady_clock::now();
  char buf[4096];
  while (read_request_ && peer.request.find("\r\n\r\n") == std::string::npos && !peer.stopping() &&
         seconds_since(t0) < 5 && peer.request.size() < 65536) {
    pollfd q{fd, POLLIN, 0};
    if (::poll(&q, 1, 50) <= 0) continue;
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    peer.request.append(buf, static_cast<size_t>(n));
  }
  handler_(peer);
  if (peer.fd >= 0) ::close(peer.fd);
}

std::string Scripted_server::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port()) + path;
}

namespace {
std::string here() { return ORVALIS_TEST_SUPPORT_DIR; }

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
