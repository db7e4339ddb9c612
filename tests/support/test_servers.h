// Real peers for the tests, all on 127.0.0.1 with free ports and temporary folders, stopped by
// their destructors: nginx, tinyproxy, the FTP server (pyftpdlib, from ftp_server.py beside
// this file) and gophernicus behind socat; and scripted servers in the test process for replies
// no real server makes: an HTTP-shaped one that reads the request first, and a raw one whose
// handler owns the socket from the first byte (FTP and gopher peers speak first or read one
// line). Every wait here is bounded by real time so a broken peer fails the test instead of
// hanging it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace orvalis::testing {

class Nginx_server {
 public:
  Nginx_server() = default;
  ~Nginx_server() { stop(); }
  // `extra` is inserted into the server block (locations of a test's own).
  bool start(const std::string& extra = "");
  // The same server speaking https only, with this certificate (chain) and key.
  bool start_https(const std::string& cert_file, const std::string& key_file,
                   const std::string& extra = "");
  void stop();
  int port() const { return port_; }
  const std::string& root() const { return root_; }
  // "http://127.0.0.1:port/path", or "https://localhost:port/path" for an https server.
  std::string url(const std::string& path) const;
  // Writes a file under the document root.
  void put(const std::string& path, const std::string& content) const;
  std::string log() const;

 private:
  bool launch(const std::string& listen_options, const std::string& extra);

  Child_process process_;
  std::string dir_;
  std::string root_;
  int port_ = 0;
  bool https_ = false;
};

class Tinyproxy_server {
 public:
  ~Tinyproxy_server() { stop(); }
  // `extra` lines go into the configuration (e.g. "ConnectPort 443": without any ConnectPort
  // line tinyproxy opens tunnels to every port).
  bool start(const std::string& extra = "");
  void stop();
  int port() const { return port_; }
  std::string log() const;

 private:
  Child_process process_;
  std::string dir_;
  int port_ = 0;
};

// A listening socket on 127.0.0.1 with an accepting thread that runs `on_connection` for
// each connection on a worker thread of its own; stop() ends the loop and joins every worker.
// `stopping` is the flag workers poll to give up early.
class Loopback_acceptor {
 public:
  ~Loopback_acceptor() { stop(); }
  bool start(std::function<void(int fd)> on_connection);
  void stop();
  int port() const { return port_; }
  int connections() const { return connections_.load(); }
  const std::atomic<bool>& stopping() const { return stop_; }

 private:
  std::function<void(int)> on_connection_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread acceptor_;
  std::mutex lock_;
  std::vector<std::thread> workers_;
};

// A server in the test process: each accepted connection runs `handler` on its own thread
// with the socket and the request text read so far (up to the empty line). The handler
// should return soon after `stopping()` becomes true.
class Scripted_server {
 public:
  struct Peer {
    int fd;
    std::string request;
    const std::atomic<bool>* stop_flag;
    bool stopping() const { return stop_flag->load(); }
    // Writes all of `text`; false when the peer has gone.
    bool write(const std::string& text) const { return send_all(fd, text); }
  };
  using Handler = std::function<void(Peer&)>;

  // read_request false: the handler gets the socket at once (for peers that must not wait
  // for an HTTP request, such as a TLS server).
  bool start(Handler handler, bool read_request = true);
  void stop() { acceptor_.stop(); }
  int port() const { return acceptor_.port(); }
  std::string url(const std::string& path) const;
  int connections() const { return acceptor_.connections(); }

 private:
  void serve(int fd);

  Handler handler_;
  bool read_request_ = true;
  Loopback_acceptor acceptor_;
};

class Raw_server {
 public:
  struct Peer {
    int fd;
    const std::atomic<bool>* stop_flag;
    std::string pending;  // read past the last line
    bool stopping() const { return stop_flag->load(); }
    bool write(const std::string& text) const { return send_all(fd, text); }
    // One line without its CR LF; false on time-out, close or stop.
    bool read_line(std::string& line, double seconds = 5);
    // Everything until the peer closes or `seconds` pass.
    std::string read_rest(double seconds = 5);
  };
  using Handler = std::function<void(Peer&)>;

  bool start(Handler handler);
  void stop() { acceptor_.stop(); }
  int port() const { return acceptor_.port(); }
  int connections() const { return acceptor_.connections(); }

 private:
  Handler handler_;
  Loopback_acceptor acceptor_;
};

class Ftp_server {
 public:
  ~Ftp_server() { stop(); }
  bool start();
  void stop();
  int port() const { return port_; }
  const std::string& root() const { return root_; }
  // "ftp://127.0.0.1:PORT" + path (path begins with "/"); `login` is put before the host.
  std::string url(const std::string& path, const std::string& login = "") const;
  void put(const std::string& path, const std::string& content) const;
  std::string log() const;

 private:
  Child_process process_;
  std::string dir_;
  std::string root_;
  int port_ = 0;
};

class Gopher_server {
 public:
  ~Gopher_server() { stop(); }
  bool start();
  void stop();
  int port() const { return port_; }
  std::string url(const std::string& path) const;
  void put(const std::string& path, const std::string& content) const;

 private:
  Child_process process_;
  std::string dir_;
  std::string root_;
  int port_ = 0;
};

}  // namespace orvalis::testing
