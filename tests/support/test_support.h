// The shared helpers of every test program: temporary folders, files, loopback ports and socket
// pairs, child processes, the descriptor-leak check, a name server that answers at once, the
// proxy settings, and recorders of reported messages. Test threads only; every wait is bounded
// by real time so that a broken peer fails a test instead of hanging it.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/error_handler.h"

namespace orvalis::testing {

// A fresh folder under the system's temporary folder, removed with everything in it
// (read-only entries included) by the destructor.
class Temp_dir {
 public:
  explicit Temp_dir(const char* prefix = "orvalis-test-");
  ~Temp_dir();
  Temp_dir(const Temp_dir&) = delete;
  Temp_dir& operator=(const Temp_dir&) = delete;

  const std::string& str() const { return path_; }
  std::filesystem::path path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A fresh folder (empty string on failure); remove_tree deletes it.
std::string make_temp_dir(const char* prefix);
void remove_tree(const std::string& path);
// Writes `content` (creating the parent folders); reads a whole file ("" when missing).
void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
// True when `program` is installed (tests skip themselves when a peer is not).
bool have_program(const char* program);

// 127.0.0.1:port as a socket address.
sockaddr_in loopback(int port);
// Seconds of steady time since `t0`.
double seconds_since(std::chrono::steady_clock::time_point t0);

// A port on 127.0.0.1 that nobody listened on a moment ago (TCP, or UDP with `udp`).
int free_port(bool udp = false);
// True once something accepts connections on 127.0.0.1:port, false after `seconds`.
bool wait_for_port(int port, double seconds);
// Connects to 127.0.0.1:port (blocking); -1 when refused.
int connect_loopback(int port);
// Writes all of `text` to a socket; false when the peer has gone.
bool send_all(int fd, const std::string& text);

// Two connected TCP sockets over loopback; the client end is non-blocking. Both are closed by
// the destructor unless taken.
struct Loopback_pair {
  Loopback_pair();
  ~Loopback_pair();
  Loopback_pair(const Loopback_pair&) = delete;
  Loopback_pair& operator=(const Loopback_pair&) = delete;
  bool ok() const { return client >= 0 && server >= 0; }
  // Closes the server end at once with a reset instead of an orderly close.
  void reset_server();
  int client = -1;
  int server = -1;
};

// Runs the current event loop until `done()` holds; false when `seconds` of real time passed
// first (the watchdog).
bool run_loop_until(const std::function<bool()>& done, double seconds = 10);

// A child process: either a program (output to a log file) or a function run in a fork of the
// test process. stop() ends it with SIGTERM, then SIGKILL; wait() collects its status.
class Child_process {
 public:
  ~Child_process() { stop(); }
  bool start(const std::vector<std::string>& argv, const std::string& log_path);
  bool start(const std::function<void()>& body);  // the child exits 0 after body()
  void stop();
  void kill_now();  // SIGKILL, as a crash would end it
  // Sends `signal` and leaves the child running; false when there is no child.
  bool send_signal(int signal);
  // Waits for the child to end by itself; its wait status, or -1 after `seconds`.
  int wait(double seconds = 30);
  bool running() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

// Open file descriptors of this process.
int open_fd_count();

// Counts open descriptors at construction (or restart); leaked() tells how many more are open
// now.
class Fd_leak_check {
 public:
  Fd_leak_check() : before_(open_fd_count()) {}
  void restart() { before_ = open_fd_count(); }
  int leaked() const { return open_fd_count() - before_; }

 private:
  int before_;
};

// A name server on 127.0.0.1 that answers every query at once with "no such name", so that
// look-ups of unknown names fail without waiting for a resolver time-out; made with `answer`
// false, it answers nothing, so that look-ups stay pending.
class Instant_name_server {
 public:
  explicit Instant_name_server(bool answer = true);
  ~Instant_name_server();
  // "127.0.0.1:PORT", for Event_loop::set_name_servers.
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  int queries() const { return queries_.load(); }

 private:
  int fd_ = -1;
  int port_ = 0;
  bool answer_ = true;
  std::atomic<bool> stop_{false};
  std::atomic<int> queries_{0};
  std::thread thread_;
};

// The three proxy settings: on through 127.0.0.1:port, or off (host and port emptied).
void use_proxy(int port);
void no_proxy();

// Collects the errors (and warnings, when switched on) reported on this thread while it lives.
class Message_recorder : public Collecting_error_handler {
 public:
  std::vector<std::string> texts() const;
  // True when some message holds `part`.
  bool has(const std::string& part) const;
  // Every message, one a line (for failure output).
  std::string all() const;
};

}  // namespace orvalis::testing
