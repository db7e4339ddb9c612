// More real and scripted peers for the network tests, all on 127.0.0.1 with free ports and
// temporary folders, stopped by their destructors: the FTP server (pyftpdlib, from
// ftp_server.py beside this file), gophernicus behind socat, and a raw scripted server whose
// handler owns the accepted socket from the first byte (FTP and gopher peers speak first or
// read one line, which the HTTP-shaped Scripted_server does not fit).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "test_servers.h"

namespace orvalis::testing {

class Raw_server {
 public:
  struct Peer {
    int fd;
    const std::atomic<bool>* stop_flag;
    std::string pending;  // read past the last line
    bool stopping() const { return stop_flag->load(); }
    bool write(const std::string& text) const;
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
