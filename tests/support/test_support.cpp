#include "test_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/settings.h"
#include "platform/event_loop.h"

namespace orvalis::testing {

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

sockaddr_in loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

namespace {

int bound_port(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

int bind_loopback(int type) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopback(0);
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}
}  // namespace

Temp_dir::Temp_dir(const char* prefix) : path_(make_temp_dir(prefix)) {
  if (path_.empty()) throw std::runtime_error("mkdtemp failed");
}

Temp_dir::~Temp_dir() { remove_tree(path_); }

std::string make_temp_dir(const char* prefix) {
  std::string name = std::filesystem::temp_directory_path().string() + "/" + prefix + "XXXXXX";
  if (!::mkdtemp(name.data())) return std::string();
  return name;
}

void remove_tree(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  // Read-only entries made by a test must not keep their folder alive.
  for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec))
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path, ec);
}

void write_file(const std::string& path, const std::string& content) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool have_program(const char* program) {
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/", "/usr/local/bin/"})
    if (::access((std::string(dir) + program).c_str(), X_OK) == 0) return true;
  return false;
}

int free_port(bool udp) {
  int fd = bind_loopback(udp ? SOCK_DGRAM : SOCK_STREAM);
  int port = bound_port(fd);
  ::close(fd);
  return port;
}

bool wait_for_port(int port, double seconds) {
  auto t0 = std::chrono::steady_clock::now();
  while (seconds_since(t0) < seconds) {
    int fd = connect_loopback(port);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
    ::usleep(20000);
  }
  return false;
}

int connect_loopback(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = loopback(port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool send_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

Loopback_pair::Loopback_pair() {
  int l = bind_loopback(SOCK_STREAM);
  if (l < 0 || ::listen(l, 1) != 0) return;
  sockaddr_in a = loopback(bound_port(l));
  client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  ::connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a);  // in progress, then accepted
  server = ::accept4(l, nullptr, nullptr, SOCK_CLOEXEC);
  ::close(l);
}

Loopback_pair::~Loopback_pair() {
  if (client >= 0) ::close(client);
  if (server >= 0) ::close(server);
}

void Loopback_pair::reset_server() {
  linger lg{1, 0};
  ::setsockopt(server, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  ::close(server);
  server = -1;
}

bool run_loop_until(const std::function<bool()>& done, double seconds) {
  auto t0 = std::chrono::steady_clock::now();
  platform::Event_loop& loop = platform::current_event_loop();
  while (!done()) {
    if (seconds_since(t0) > seconds) return false;
    loop.run_once(50);
  }
  return true;
}

bool Child_process::start(const std::vector<std::string>& argv, const std::string& log_path) {
  return start([&] {
    int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (log >= 0) {
      ::dup2(log, 1);
      ::dup2(log, 2);
    }
    int null_in = ::open("/dev/null", O_RDONLY);
    if (null_in >= 0) ::dup2(null_in, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  });
}

bool Child_process::start(const std::function<void()>& body) {
  stop();
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    body();
    ::_exit(0);
  }
  pid_ = pid;
  return true;
}

void Child_process::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  if (wait(5) == -1) kill_now();
}

bool Child_process::send_signal(int signal) { return pid_ > 0 && ::kill(pid_, signal) == 0; }

void Child_process::kill_now() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

int Child_process::wait(double seconds) {
  if (pid_ <= 0) return -1;
  auto t0 = std::chrono::steady_clock::now();
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (seconds_since(t0) > seconds) return -1;
    ::usleep(5000);
  }
  pid_ = -1;
  return status;
}

int open_fd_count() {
  int n = 0;
  DIR* d = ::opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = ::readdir(d))
    if (e->d_name[0] != '.') ++n;
  ::closedir(d);
  return n - 1;  // the directory's own descriptor
}

Instant_name_server::Instant_name_server(bool answer) : answer_(answer) {
  fd_ = bind_loopback(SOCK_DGRAM);
  port_ = bound_port(fd_);
  thread_ = std::thread([this] {
    unsigned char q[1500];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      sockaddr_in from{};
      socklen_t len = sizeof from;
      ssize_t n = ::recvfrom(fd_, q, sizeof q, 0, reinterpret_cast<sockaddr*>(&from), &len);
      if (n < 12) continue;
      ++queries_;
      if (!answer_) continue;
      // The query itself, turned into a reply: response bit, recursion available, NXDOMAIN,
      // no answer, authority or additional records.
      q[2] = static_cast<unsigned char>(0x80 | (q[2] & 0x79));
      q[3] = 0x83;
      for (int i = 6; i < 12; ++i) q[i] = 0;
      ::sendto(fd_, q, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  });
}

Instant_name_server::~Instant_name_server() {
  stop_ = true;
  thread_.join();
  ::close(fd_);
}

void use_proxy(int port) {
  Settings_cache& s = Settings_cache::instance();
  s.set("ProxyEnabled", "yes");
  s.set("ProxyHost", "127.0.0.1");
  s.set("ProxyPort", Ref_string::number(port));
}

void no_proxy() {
  Settings_cache& s = Settings_cache::instance();
  s.set("ProxyEnabled", "no");
  s.set("ProxyHost", "");
  s.set("ProxyPort", "");
}

std::vector<std::string> Message_recorder::texts() const {
  std::vector<std::string> out;
  for (const Ref_string& m : messages()) out.push_back(m.str());
  return out;
}

bool Message_recorder::has(const std::string& part) const {
  for (const Ref_string& m : messages())
    if (m.str().find(part) != std::string::npos) return true;
  return false;
}

std::string Message_recorder::all() const {
  std::string out;
  for (const Ref_string& m : messages()) out += m.str() + "\n";
  return out;
}

}  // namespace orvalis::testing
