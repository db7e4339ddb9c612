#include "demo_web/demo_web.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_map>

#include "demo_web/demo_pages.h"
#include "demo_web/http_exchange.h"
#include "platform/event_loop.h"

namespace orvalis::demo {

namespace {

constexpr int kMax_article_hosts = 250;   // 127.0.0.3 .. 127.0.0.252
constexpr int kMax_connections = 256;     // more at once are closed at accept
constexpr int kIdle_limit_ms = 30000;     // a connection that sends nothing for this long ends
constexpr int kLinger_limit_ms = 2000;    // after the answer, how long we read what still comes
constexpr int kSweep_period_ms = 1000;

std::int64_t now_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string loopback(int last_byte) { return "127.0.0." + std::to_string(last_byte); }

// A listening socket on `address`, port chosen by the system; -1 with `error` set on failure.
int open_listener(const std::string& address, int& port, std::string& error) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = "cannot open a socket for " + address + ": " + std::strerror(errno);
    return -1;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = 0;
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  socklen_t len = sizeof sa;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 128) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
    error = "cannot listen on " + address + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  port = ntohs(sa.sin_port);
  return fd;
}

}  // namespace

// Everything below runs on the server's thread once it has started; start and stop hand over
// through the thread's creation and join.
struct Demo_web::Server {
  struct Listener {
    int fd = -1;
    int host = 0;  // 0 the engine, n the article host n - 1
  };
  struct Connection {
    int host = 0;
    std::string received;
    std::string answer;
    size_t sent = 0;
    bool answered = false;  // the answer is out; we read until the peer closes
    std::int64_t last_activity = 0;
  };

  std::unique_ptr<platform::Event_loop> loop;
  std::thread thread;
  std::vector<Listener> listeners;
  std::unordered_map<int, Connection> connections;
  int sweep_timer = -1;
  bool listeners_paused = false;
  std::unique_ptr<Demo_pages> pages;
  std::atomic<long> answered{0};

  int arm_listener(const Listener& l) {
    int host = l.host;
    return loop->arm_socket(l.fd, platform::event_accept,
                            [this, host](int fd, unsigned event, int) { on_listener(fd, host, event); });
  }

  void on_listener(int fd, int host, unsigned event) {
    if (event != platform::event_accept) return;
    for (;;) {
      int c = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (c < 0 && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)) {
        // Out of descriptors or memory: the waiting connection would wake us again at once.
        // Listen again at the next sweep, when idle connections may have gone.
        loop->arm_socket(fd, 0, nullptr);
        listeners_paused = true;
        return;
      }
      if (c < 0) return;  // EAGAIN, or an error of that one connection: go on listening
      if (static_cast<int>(connections.size()) >= kMax_connections) {
        ::close(c);
        continue;
      }
      Connection& conn = connections[c];
      conn.host = host;
      conn.last_activity = now_ms();
      arm(c, platform::event_read | platform::event_close);
    }
  }

  void arm(int fd, unsigned events) {
    loop->arm_socket(fd, events, [this](int s, unsigned event, int error) { on_connection(s, event, error); });
  }

  void close_connection(int fd) {
    loop->forget_socket(fd);
    ::close(fd);
    connections.erase(fd);
  }

  void on_connection(int fd, unsigned event, int error) {
    auto it = connections.find(fd);
    if (it == connections.end()) return;
    Connection& conn = it->second;
    if (event == platform::event_close || error != 0) {
      close_connection(fd);
      return;
    }
    conn.last_activity = now_ms();
    if (event == platform::event_read) {
      char buffer[16384];
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        close_connection(fd);
        return;
      }
      if (n < 0 || conn.answered) return;  // after the answer, what comes is dropped
      conn.received.append(buffer, static_cast<size_t>(n));
      Request_reading reading = read_request(conn.received);
      if (reading.status == 0) {
        if (conn.received.size() > kMax_request_bytes) close_connection(fd);  // dropped
        return;
      }
      respond(fd, conn, reading);
      return;
    }
    if (event == platform::event_write) send_more(fd, conn);
  }

  void respond(int fd, Connection& conn, const Request_reading& reading) {
    const Http_request& request = reading.request;
    Http_answer answer;
    if (reading.status != 200) {
      answer.status = reading.status;
      answer.body = "<!DOCTYPE html>\n<html><head><title>" + std::to_string(reading.status) + " " +
                    reason_phrase(reading.status) + "</title></head><body><h1>" +
                    reason_phrase(reading.status) + "</h1></body></html>\n";
    } else if (conn.host == 0) {
      answer = pages->engine(request);
    } else {
      answer = pages->article_host(conn.host - 1, request);
    }
    conn.answer = format_answer(answer, request.version.empty() ? "HTTP/1.0" : request.version,
                                request.method == "HEAD");
    conn.received.clear();
    conn.received.shrink_to_fit();
    ++answered;
    send_more(fd, conn);
  }

  void send_more(int fd, Connection& conn) {
    while (conn.sent < conn.answer.size()) {
      ssize_t n = ::send(fd, conn.answer.data() + conn.sent, conn.answer.size() - conn.sent, MSG_NOSIGNAL);
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        arm(fd, platform::event_write | platform::event_close);
        return;
      }
      if (n < 0) {
        if (errno == EINTR) continue;
        close_connection(fd);
        return;
      }
      conn.sent += static_cast<size_t>(n);
    }
    // All sent: say so with a FIN, and read until the peer closes, so that bytes it is still
    // sending do not turn our close into a reset that could cut the answer short.
    ::shutdown(fd, SHUT_WR);
    conn.answered = true;
    conn.answer.clear();
    conn.answer.shrink_to_fit();
    conn.sent = 0;
    conn.last_activity = now_ms();
    arm(fd, platform::event_read | platform::event_close);
  }

  void sweep() {
    std::int64_t now = now_ms();
    std::vector<int> ended;
    for (const auto& [fd, conn] : connections)
      if (now - conn.last_activity > (conn.answered ? kLinger_limit_ms : kIdle_limit_ms)) ended.push_back(fd);
    for (int fd : ended) close_connection(fd);
    if (listeners_paused) {
      listeners_paused = false;
      for (const Listener& l : listeners) arm_listener(l);
    }
  }

  // On the server's thread: close everything and end the loop.
  void shut_down() {
    std::vector<int> open;
    for (const auto& [fd, conn] : connections) open.push_back(fd);
    for (int fd : open) close_connection(fd);
    for (Listener& l : listeners) {
      loop->forget_socket(l.fd);
      ::close(l.fd);
      l.fd = -1;
    }
    if (sweep_timer > 0) loop->remove_timer(sweep_timer);
    sweep_timer = -1;
    loop->stop();
  }
};

Demo_web::Demo_web() = default;

Demo_web::~Demo_web() { stop(); }

bool Demo_web::start(std::string& error, int article_hosts) {
  if (server_) {
    error = "the demo web is already running";
    return false;
  }
  if (article_hosts < 1 || article_hosts > kMax_article_hosts) {
    error = "the demo web needs between 1 and " + std::to_string(kMax_article_hosts) +
            " article hosts, not " + std::to_string(article_hosts);
    return false;
  }
  auto server = std::make_unique<Server>();
  Site site;
  // Host 0 is the engine on 127.0.0.2; host n the article host on 127.0.0.(n + 2).
  for (int host = 0; host <= article_hosts; ++host) {
    std::string address = loopback(host + 2);
    int port = 0;
    int fd = open_listener(address, port, error);
    if (fd < 0) {
      for (const Server::Listener& l : server->listeners) ::close(l.fd);
      return false;
    }
    server->listeners.push_back({fd, host});
    std::string origin = "http://" + address + ":" + std::to_string(port);
    if (host == 0) site.engine = origin;
    else site.hosts.push_back(origin);
  }
  server->pages = std::make_unique<Demo_pages>(std::move(site));
  server->loop = platform::make_epoll_loop();
  Server* s = server.get();
  for (const Server::Listener& l : server->listeners) {
    if (int armed = s->arm_listener(l); armed != 0) {
      error = std::string("cannot watch the demo web's sockets: ") + std::strerror(armed);
      for (const Server::Listener& each : server->listeners) {
        s->loop->forget_socket(each.fd);
        ::close(each.fd);
      }
      return false;
    }
  }
  s->sweep_timer = s->loop->add_timer(kSweep_period_ms, [s] { s->sweep(); });
  server->thread = std::thread([s] { s->loop->run(); });
  server_ = std::move(server);
  return true;
}

void Demo_web::stop() {
  if (!server_) return;
  Server* s = server_.get();
  s->loop->post([s] { s->shut_down(); });
  s->thread.join();
  server_.reset();  // the loop's own descriptors close with it
}

bool Demo_web::running() const { return server_ != nullptr; }

std::string Demo_web::engine_address() const {
  return server_ ? server_->pages->site().engine + "/" : std::string();
}

std::string Demo_web::engine_location() const {
  return server_ ? server_->pages->site().engine + "/search" : std::string();
}

std::string Demo_web::engine_form_page() const { return engine_address(); }

std::string Demo_web::ignore_list() const { return Demo_pages::ignore_list(); }

std::vector<std::string> Demo_web::article_addresses() const {
  std::vector<std::string> out;
  if (!server_) return out;
  for (size_t i = 0; i < corpus().size(); ++i) out.push_back(server_->pages->article_address(static_cast<int>(i)));
  return out;
}

std::string Demo_web::article_address(const std::string& slug) const {
  if (!server_) return {};
  const std::vector<Article>& articles = corpus();
  for (size_t i = 0; i < articles.size(); ++i)
    if (articles[i].slug == slug) return server_->pages->article_address(static_cast<int>(i));
  return {};
}

std::vector<std::string> Demo_web::article_hosts() const {
  std::vector<std::string> out;
  if (!server_) return out;
  for (const std::string& origin : server_->pages->site().hosts) out.push_back(origin + "/");
  return out;
}

long Demo_web::requests_answered() const { return server_ ? server_->answered.load() : 0; }

}  // namespace orvalis::demo
