// Runs the built orvalis-cli in a sandbox of its own: a temporary folder holding the settings
// folder (ORVALIS_CONFIG_HOME), the data folder (XDG_DATA_HOME) and HOME, removed afterwards.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "test_support.h"

namespace orvalis::test {

struct Cli_result {
  int status = -1;
  std::string out;
  std::string err;
};

class Cli_sandbox {
 public:
  Cli_sandbox() = default;

  // Runs orvalis-cli with `args`; waits at most `timeout_s` seconds (then kills it).
  Cli_result run(const std::vector<std::string>& args, int timeout_s = 60) const;
  // Sets the three proxy settings through the command line: 127.0.0.1:port, switched on.
  void use_proxy(int port) const;
  const std::string& root() const { return dir_.str(); }
  std::string path(const std::string& name) const { return dir_.file(name); }
  std::string config_file() const;
  std::map<std::string, std::string> extra_env;
  // When above 0: the signal `signal_number` is sent once, this many milliseconds after start.
  int signal_after_ms = 0;
  int signal_number = 15;
  std::string stdin_file = "/dev/null";  // what the command reads as standard input

 private:
  orvalis::testing::Temp_dir dir_{"orvalis-e2e-"};
};

}  // namespace orvalis::test
