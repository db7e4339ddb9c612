// Ftp_connection against a scripted FTP peer for what real servers do not send: a USER that
// needs no password, multi-line and preliminary replies, the data connection closing before
// or after the final reply, refusals at each step, a server that never connects back, and
// hostile replies (endless continuation lines, a 10 MB line). Every ending closes the control
// socket, the data listener and the data connection.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "net/ftp_connection.h"
#include "net_fixture.h"
#include "platform/clock.h"

namespace orvalis::testing {
namespace {

// Reply lines (CR LF added) and the commands the peer received.
struct Ftp_script {
  std::string greeting = "220 scripted ready";
  std::string user_reply = "331 password please";
  std::string pass_reply = "230 logged in";
  std::string cwd_reply = "250 ok";
  std::string port_reply = "200 PORT ok";
  std::string type_reply = "200 TYPE ok";
  std::string transfer_first = "150 opening data connection";
  std::string transfer_reply = "226 transfer complete";
  std::string data = "file contents";
  bool connect_back = true;
  bool close_data_before_reply = true;
  bool thief = false;       // someone else at 127.0.0.2 reaches the data port first
  bool stall_data = false;  // the data connection sends a first part, then nothing
  std::atomic<bool> data_open{false};

  std::mutex lock;
  std::vector<std::string> commands;
  std::vector<std::string> received() {
    std::lock_guard<std::mutex> g(lock);
    return commands;
  }
};

bool reply(Raw_server::Peer& p, const std::string& text) { return p.write(text + "\r\n"); }

int port_of_command(const std::string& command) {
  int a, b, c, d, hi, lo;
  if (std::sscanf(command.c_str(), "PORT %d,%d,%d,%d,%d,%d", &a, &b, &c, &d, &hi, &lo) != 6) return -1;
  return a == 127 ? hi * 256 + lo : -1;  // only loopback addresses are ever announced here
}

void steal_data_port(const std::string& command) {
  int thief = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in self{};
  self.sin_family = AF_INET;
  self.sin_addr.s_addr = inet_addr("127.0.0.2");
  ::bind(thief, reinterpret_cast<sockaddr*>(&self), sizeof self);
  sockaddr_in to = loopback(port_of_command(command));
  if (::connect(thief, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
    Raw_server::Peer{thief, nullptr, std::string()}.write("stolen");
  ::usleep(50000);
  ::close(thief);
}

// A small FTP server: one dialogue per connection, following the script.
Raw_server::Handler ftp_peer(Ftp_script& s) {
  return [&s](Raw_server::Peer& p) {
    if (!reply(p, s.greeting)) return;
    int data_fd = -1;
    std::string line;
    while (p.read_line(line, 30)) {
      {
        std::lock_guard<std::mutex> g(s.lock);
        s.commands.push_back(line);
      }
      std::string verb = line.substr(0, line.find(' '));
      if (verb == "USER") {
        reply(p, s.user_reply);
      } else if (verb == "PASS") {
        reply(p, s.pass_reply);
      } else if (verb == "CWD") {
        reply(p, s.cwd_reply);
      } else if (verb == "PORT") {
        if (s.thief) steal_data_port(line);
        if (s.connect_back && s.port_reply[0] == '2') data_fd = connect_loopback(port_of_command(line));
        reply(p, s.port_reply);
      } else if (verb == "TYPE") {
        reply(p, s.type_reply);
      } else if (verb == "RETR" || verb == "LIST") {
        if (!s.transfer_first.empty()) reply(p, s.transfer_first);
        if (data_fd >= 0 && s.stall_data) {
          Raw_server::Peer{data_fd, p.stop_flag, std::string()}.write("first part");
          s.data_open = true;
        } else if (data_fd >= 0 && s.transfer_reply[0] == '2') {
          Raw_server::Peer{data_fd, p.stop_flag, std::string()}.write(s.data);
          if (s.close_data_before_reply) {
            ::close(std::exchange(data_fd, -1));
            ::usleep(20000);  // let the close arrive first
          }
          reply(p, s.transfer_reply);
          if (data_fd >= 0) {
            ::usleep(20000);  // let the reply arrive first
            ::close(std::exchange(data_fd, -1));
          }
        } else if (!s.transfer_reply.empty()) {
          reply(p, s.transfer_reply);
        }
      } else if (verb == "QUIT") {
        reply(p, "221 bye");
        break;
      } else {
        reply(p, "502 not here");
      }
    }
    if (data_fd >= 0) ::close(data_fd);
  };
}

class Ftp_scripted_test : public Net_test {
 protected:
  Ftp_scripted_test() { check_descriptors_ = true; }
  std::string url(const Raw_server& server, const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(server.port()) + path;
  }
  // Runs one transfer against the script and expects `status` with every socket closed.
  Recording_handle run(Ftp_script& script, const std::string& path, int status) {
    Raw_server server;
    EXPECT_TRUE(server.start(ftp_peer(script)));
    Recording_handle t = fetch_end(url(server, path));
    EXPECT_EQ(t->status(), status) << path;
    expect_closed(t);
    return t;
  }
  static void expect_closed(const Recording_handle& t) {
    auto* c = static_cast<Ftp_connection*>(t->connection());
    EXPECT_EQ(c->socket(), -1);
    EXPECT_EQ(c->listening_socket(), -1);
    EXPECT_EQ(c->data_socket(), -1);
    EXPECT_TRUE(active_requests().empty());
  }
};

// The commands sent for each kind of dialogue, in order ("PORT" stands for the whole PORT
// command with its loopback address).
TEST_F(Ftp_scripted_test, Dialogues) {
  const std::string pass = std::string("PASS ") + Ftp_connection::kAnonymous_password;
  const struct {
    const char* what;
    void (*change)(Ftp_script&);
    const char* path;
    std::vector<std::string> commands;
  } cases[] = {
      {"a file through folders", [](Ftp_script&) {}, "/pub/doc/readme",
       {"USER anonymous", pass, "CWD pub", "CWD doc", "PORT", "TYPE a", "RETR readme", "QUIT"}},
      {"a listing, no password after 230", [](Ftp_script& s) { s.user_reply = "230 come in"; },
       "/pub/", {"USER anonymous", "CWD pub", "PORT", "TYPE a", "LIST", "QUIT"}},
      {"a multi-line greeting answered once",
       [](Ftp_script& s) { s.greeting = "220-Welcome\r\n220-to the\r\n 220 indented text\r\n220 server"; },
       "/f", {"USER anonymous", pass, "PORT", "TYPE a", "RETR f", "QUIT"}},
      // One QUIT whichever of the final reply and the data connection's close comes first.
      {"the reply before the close", [](Ftp_script& s) { s.close_data_before_reply = false; },
       "/f", {"USER anonymous", pass, "PORT", "TYPE a", "RETR f", "QUIT"}},
      // Someone else at 127.0.0.2 reaches the data port first: only the server's data is taken.
      {"a data port thief", [](Ftp_script& s) { s.thief = true; },
       "/f", {"USER anonymous", pass, "PORT", "TYPE a", "RETR f", "QUIT"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Ftp_script s;
    c.change(s);
    EXPECT_EQ(run(s, c.path, Network_task::succeeded)->text(), "file contents");
    std::vector<std::string> got = s.received();
    for (std::string& command : got)
      if (command.rfind("PORT 127,0,0,1,", 0) == 0) command = "PORT";
    EXPECT_EQ(got, c.commands);
  }
}

TEST_F(Ftp_scripted_test, EachRefusalFailsWithItsText) {
  const struct {
    std::string Ftp_script::*reply;
    const char* text;
    const char* step;  // the failure message's start
  } cases[] = {
      {&Ftp_script::greeting, "421 too busy", "Connecting to FTP server failed."},
      {&Ftp_script::user_reply, "530 no such user", "Connecting to FTP server failed."},
      {&Ftp_script::pass_reply, "530 wrong", "Sending password to FTP server failed."},
      {&Ftp_script::cwd_reply, "550 no such directory", "Sending CWD to FTP server failed."},
      {&Ftp_script::port_reply, "500 PORT refused", "Sending PORT to FTP server failed."},
      {&Ftp_script::type_reply, "504 no such type", "Sending PORT to FTP server failed."},
      {&Ftp_script::transfer_reply, "550 no such file", "Error during FTP data transfer."},
  };
  for (const auto& c : cases) {
    Ftp_script s;
    s.*c.reply = c.text;
    Recording_handle t = run(s, "/dir/f", Network_task::failed);
    EXPECT_TRUE(has_message((std::string(c.step) + " Response was " + c.text).c_str())) << c.text;
    EXPECT_EQ(static_cast<Ftp_connection*>(t->connection())->ftp_state(), Ftp_connection::error);
  }
}

TEST_F(Ftp_scripted_test, AServerThatNeverConnectsBackTimesOutWithTheListenerClosed) {
  platform::Manual_clock clock(platform::System_clock().now());
  platform::Scoped_clock use(clock);
  Ftp_script s;
  s.connect_back = false;
  s.transfer_reply = "";  // nothing after the preliminary reply
  Raw_server server;
  ASSERT_TRUE(server.start(ftp_peer(s)));
  Recording_handle t = fetch(url(server, "/f"), 30);
  ASSERT_TRUE(run_loop_until([&] { return !s.received().empty() && s.received().back() == "RETR f"; }));
  auto* c = static_cast<Ftp_connection*>(t->connection());
  EXPECT_GE(c->listening_socket(), 0);
  EXPECT_FALSE(t->ended());
  clock.advance(31);
  net_timer_tick();
  EXPECT_EQ(t->status(), Network_task::timed_out);
  expect_closed(t);
}

TEST_F(Ftp_scripted_test, CancellingDuringTheTransferClosesTheDataConnection) {
  Ftp_script s;
  s.stall_data = true;
  Raw_server server;
  ASSERT_TRUE(server.start(ftp_peer(s)));
  Recording_handle t = fetch(url(server, "/f"), 30);
  ASSERT_TRUE(run_loop_until([&] {
    auto* c = static_cast<Ftp_connection*>(t->connection());
    return s.data_open.load() && c->data_socket() >= 0;
  }));
  cancel_requests(Ref_list<Network_task_handle>{Network_task_handle(t)});
  EXPECT_EQ(t->status(), Network_task::timed_out);
  expect_closed(t);
}

// Hostile or broken servers fail with every socket closed while a good one fetched at the
// same time is served; the reply buffer stays far below the 10 MB a server offers.
TEST_F(Ftp_scripted_test, HostileServersFailWhileOthersAreServed) {
  const struct {
    const char* what;
    Raw_server::Handler handler;
  } cases[] = {
      {"", [](Raw_server::Peer& p) {  // closes after USER
         reply(p, "220 hello");
         std::string line;
         p.read_line(line);
       }},
      {"continuation or preliminary lines", [](Raw_server::Peer& p) {
         while (!p.stopping() && p.write("220-and another line of greeting\r\n")) {
         }
       }},
      {"FTP reply line longer than", [](Raw_server::Peer& p) {
         p.write("220");
         for (int i = 0; i < 160 && !p.stopping(); ++i)
           if (!p.write(std::string(65536, 'x'))) return;
         p.write("\r\n");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Raw_server hostile, normal;
    Ftp_script good;
    ASSERT_TRUE(hostile.start(c.handler));
    ASSERT_TRUE(normal.start(ftp_peer(good)));
    Recording_handle bad = fetch(url(hostile, "/f"));
    Recording_handle fine = fetch(url(normal, "/f"));
    ASSERT_TRUE(run_loop_until([&] { return bad->ended() && fine->ended(); }));
    EXPECT_EQ(bad->status(), Network_task::failed);
    EXPECT_TRUE(!*c.what || has_message(c.what)) << errors_.all();
    EXPECT_LT(bad->connection()->received_buffer()->length(), 1048576);
    EXPECT_EQ(fine->text(), "file contents");
    expect_closed(bad);
  }
}

TEST_F(Ftp_scripted_test, AnAddressWithAnEncodedLineEndSendsNothing) {
  Ftp_script s;
  Raw_server server;
  ASSERT_TRUE(server.start(ftp_peer(s)));
  Recording_handle t = fetch_end(url(server, "/f%0D%0ADELE%20x"));
  EXPECT_EQ(t->status(), Network_task::failed);
  EXPECT_EQ(server.connections(), 0);
}

}  // namespace
}  // namespace orvalis::testing
