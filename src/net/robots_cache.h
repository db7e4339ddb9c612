// Robots_cache keeps, per site (scheme, host and port), the robots rules read from its
// robots.txt, for 24 hours; and fetches them when a task that honours them asks (require):
// the fetch is a network task of its own (Robots_fetch) that waits for the same 30-second host
// spacing as any other, follows redirects as every HTTP fetch does, and reads at most 500
// kibibytes. The answer decides the rules, as RFC 9309 says: 2xx the file's rules; 4xx (no
// file) everything allowed; 5xx nothing allowed; a site that cannot be reached is taken as
// disallowing everything too, for an hour only, since a network fault passes.
//
// Tasks that honour the rules are those the agent starts on its own (Follow Links and the
// fetches a schedule starts), when the setting RespectRobots is not "No"; searches of an
// engine and fetches the user asks for do not ask.
//
// One per process; event-loop thread only. Time is the platform clock (tests move it).
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "foundation/ref_string.h"
#include "net/robots_rules.h"

namespace orvalis {

class Robots_cache {
 public:
  static constexpr std::int64_t kKeep_seconds = 24 * 3600;
  static constexpr std::int64_t kKeep_unreachable_seconds = 3600;

  static Robots_cache& instance();

  // "http://host:port": the site an address belongs to; empty for addresses that are not
  // http or https.
  static std::string site_of(const Ref_string& url);
  // "http://host:port/robots.txt".
  static Ref_string robots_url(const std::string& site);
  // Whether the setting RespectRobots asks for the rules to be honoured.
  static bool respect_setting();

  enum Answer { allowed, disallowed, waiting };
  // What the rules say of `url`: allowed or disallowed once known, else waiting while they
  // are fetched (the fetch starts here when the host spacing and admission allow it). An
  // address that has no robots rules (not http or https) is allowed.
  Answer require(const Ref_string& url);
  // The rules of a site when known and fresh, else null.
  const Robots_rules* rules(const std::string& site) const;
  // The crawl delay a site asks for (seconds; -1 when none or not known).
  int crawl_delay(const Ref_string& url) const;
  // Keeps rules for a site from now for `seconds`.
  void store(const std::string& site, const Robots_rules& rules, std::int64_t seconds);
  // Takes what a finished fetch brought (task status, HTTP status, body).
  void take_answer(const std::string& site, bool reached, int status, std::string_view body);
  bool fetching(const std::string& site) const;
  // Forgets everything (tests; a new start).
  void clear();
  // Robots files fetched since the start (figures and tests).
  int fetch_count() const { return fetches_; }

 private:
  struct Entry {
    Robots_rules rules;
    std::int64_t expires = 0;
    bool fetching = false;
  };
  bool start_fetch(const std::string& site, const Ref_string& host);

  std::map<std::string, Entry> sites_;
  int fetches_ = 0;
};

}  // namespace orvalis
