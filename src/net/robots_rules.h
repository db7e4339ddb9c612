// Robots_rules is what a site's robots.txt says to one crawler (RFC 9309): the rules of the
// groups whose user-agent line names our product token ("orvalis", compared without regard to
// case), or, when no group does, of the groups for "*"; groups that name the same agent are
// read as one. A rule is "allow" or "disallow" with a path pattern where "*" stands for any
// run of characters and a final "$" anchors the end; the rule with the longest pattern that
// matches the path wins, and of two as long "allow" wins; no matching rule allows. An empty
// "disallow" is no rule. "/robots.txt" itself is always allowed. "crawl-delay" (not in the RFC,
// but widely used) is read from the chosen groups.
//
// Lines are "name: value" with "#" starting a comment; names compare without regard to case;
// lines that are not such a pair, or name something else, are passed over. Only the first
// kMax_bytes of a file are read (the RFC allows a crawler to stop at 500 kibibytes).
//
// A value type: any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvalis {

class Robots_rules {
 public:
  static constexpr std::int64_t kMax_bytes = 500 * 1024;
  static constexpr const char* kProduct_token = "orvalis";

  // Everything allowed (no file, or a 4xx answer).
  Robots_rules() = default;
  // Nothing allowed (a 5xx answer, or the site could not be reached).
  static Robots_rules disallow_all();
  // The rules for `agent` (our product token by default) in a robots.txt file.
  static Robots_rules parse(std::string_view text, std::string_view agent = kProduct_token);

  // Whether `target` (the path and query of an address, "/" when empty) may be fetched.
  bool allowed(std::string_view target) const;
  // Seconds asked between fetches; -1 when the file says nothing.
  int crawl_delay() const { return crawl_delay_; }
  // The number of rules read for us (for messages and tests).
  size_t rule_count() const { return rules_.size(); }
  bool disallows_all() const { return disallow_all_; }

  // Whether the pattern matches the start of `target` (or all of it, with a final "$").
  static bool pattern_matches(std::string_view pattern, std::string_view target);

 private:
  struct Rule {
    bool allow;
    std::string pattern;  // percent-escapes upper-cased, other bytes as they came
  };
  std::vector<Rule> rules_;
  int crawl_delay_ = -1;
  bool disallow_all_ = false;
};

}  // namespace orvalis
