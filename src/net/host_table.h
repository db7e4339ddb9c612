// The network layer's memory of hosts: the IPv4 address of every name a look-up has answered,
// and the time of the last task start for each host (the 30-second spacing between starts for
// one host is measured from it). Two hash tables of 37 buckets keyed by the exact host text;
// storing a key that is present replaces its value; entries live as long as the process.
// Owned by the network layer (one per process); user-interface thread only.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "foundation/ref_string.h"

namespace orvalis {

class Host_table {
 public:
  static Host_table& instance();

  // The cached address (network byte order) of `host`; false when none is known.
  bool address(const Ref_string& host, std::uint32_t& address) const;
  void set_address(const Ref_string& host, std::uint32_t address);
  // The time (seconds since 1970) of the last start of a task for `host`.
  bool launch_time(const Ref_string& host, std::int64_t& seconds) const;
  void set_launch_time(const Ref_string& host, std::int64_t seconds);

  int address_count() const { return addresses_.count(); }
  int launch_count() const { return launches_.count(); }
  // Forgets everything (tests and benchmarks start from a known table).
  void clear();

 private:
  template <class V>
  class Map {
   public:
    static constexpr int kBuckets = 37;
    const V* find(const Ref_string& key) const {
      for (const auto& [k, v] : buckets_[hash(key, kBuckets)])
        if (k == key) return &v;
      return nullptr;
    }
    void store(const Ref_string& key, const V& value) {
      auto& bucket = buckets_[hash(key, kBuckets)];
      for (auto& [k, v] : bucket)
        if (k == key) {
          v = value;
          return;
        }
      bucket.emplace_back(key, value);
      ++count_;
    }
    int count() const { return count_; }
    void clear() {
      for (auto& b : buckets_) b.clear();
      count_ = 0;
    }

   private:
    std::vector<std::pair<Ref_string, V>> buckets_[kBuckets];
    int count_ = 0;
  };

  Map<std::uint32_t> addresses_;
  Map<std::int64_t> launches_;
};

}  // namespace orvalis
