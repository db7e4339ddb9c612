#include "cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace orvalis::test {

void Cli_sandbox::use_proxy(int port) const {
  run({"settings", "set", "ProxyHost", "127.0.0.1"});
  run({"settings", "set", "ProxyPort", std::to_string(port)});
  run({"settings", "set", "ProxyEnabled", "yes"});
}

std::string Cli_sandbox::config_file() const {
  return root() + "/config/Software_Brennick_Orvalis_2.0.conf";
}

Cli_result Cli_sandbox::run(const std::vector<std::string>& args, int timeout_s) const {
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    std::string s = *e;
    if (s.rfind("ORVALIS_", 0) == 0 || s.rfind("XDG_", 0) == 0 || s.rfind("HOME=", 0) == 0) continue;
    std::string name = s.substr(0, s.find('='));
    if (extra_env.count(name)) continue;  // the sandbox's own value wins
    env_strings.push_back(s);
  }
  env_strings.push_back("ORVALIS_CONFIG_HOME=" + root() + "/config");
  env_strings.push_back("XDG_DATA_HOME=" + root() + "/data");
  env_strings.push_back("HOME=" + root());
  env_strings.push_back(std::string("ORVALIS_SHIPPED_DATA=") + ORVALIS_DATA_DIR);
  for (const auto& [k, v] : extra_env) env_strings.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (std::string& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::vector<std::string> argv_strings{ORVALIS_CLI};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  Cli_result result;
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) return result;
  orvalis::testing::Child_process child;
  bool started = child.start([&] {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    int in = open(stdin_file.c_str(), O_RDONLY);
    if (in >= 0) dup2(in, 0);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  });
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (!started) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    return result;
  }
  auto began = std::chrono::steady_clock::now();
  auto deadline = began + std::chrono::seconds(timeout_s);
  bool signalled = signal_after_ms <= 0;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  int open_fds = 2;
  while (open_fds > 0) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    if (left <= 0) {
      child.kill_now();
      break;
    }
    if (!signalled) {
      int until_signal = signal_after_ms - static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                                std::chrono::steady_clock::now() - began)
                                                                .count());
      if (until_signal <= 0) {
        child.send_signal(signal_number);
        signalled = true;
      } else {
        left = std::min(left, until_signal);
      }
    }
    if (poll(fds, 2, left) <= 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP))) continue;
      char buf[65536];
      ssize_t n = read(fds[k].fd, buf, sizeof buf);
      if (n <= 0) {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open_fds;
      } else {
        (k == 0 ? result.out : result.err).append(buf, static_cast<size_t>(n));
      }
    }
  }
  for (auto& f : fds)
    if (f.fd >= 0) close(f.fd);
  int status = child.wait(timeout_s);
  if (status == -1) child.kill_now();
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace orvalis::test
