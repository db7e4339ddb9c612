// Runs the built orvalis-cli in a sandbox of its own: a temporary folder holding the settings
// folder (ORVALIS_CONFIG_HOME), the data folder (XDG_DATA_HOME) and HOME, removed afterwards.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace orvalis::test {

struct Cli_result {
  int status = -1;
  std::string out;
  std::string err;
};

class Cli_sandbox {
 public:
  Cli_sandbox();
  ~Cli_sandbox();
  Cli_sandbox(const Cli_sandbox&) = delete;
  Cli_sandbox& operator=(const Cli_sandbox&) = delete;

  // Runs orvalis-cli with `args`; waits at most `timeout_s` seconds (then kills it).
  Cli_result run(const std::vector<std::string>& args, int timeout_s = 60) const;
  const std::string& root() const { return root_; }
  std::string path(const std::string& name) const { return root_ + "/" + name; }
  std::string config_file() const;
  std::map<std::string, std::string> extra_env;

 private:
  std::string root_;
};

}  // namespace orvalis::test
