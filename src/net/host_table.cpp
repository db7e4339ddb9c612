#include "net/host_table.h"

namespace orvalis {

Host_table& Host_table::instance() {
  static Host_table table;
  return table;
}

bool Host_table::address(const Ref_string& host, std::uint32_t& address) const {
  const std::uint32_t* a = addresses_.find(host);
  if (!a) return false;
  address = *a;
  return true;
}

void Host_table::set_address(const Ref_string& host, std::uint32_t address) {
  addresses_.store(host, address);
}

bool Host_table::launch_time(const Ref_string& host, std::int64_t& seconds) const {
  const std::int64_t* t = launches_.find(host);
  if (!t) return false;
  seconds = *t;
  return true;
}

void Host_table::set_launch_time(const Ref_string& host, std::int64_t seconds) {
  launches_.store(host, seconds);
}

void Host_table::clear() {
  addresses_.clear();
  launches_.clear();
}

}  // namespace orvalis
