// Robots_gate is what a task that the agent starts on its own (Follow Links, the fetches a
// schedule starts) asks before it fetches a document: the site's robots rules, fetched once
// per site and day by the Robots_cache, and its crawl delay when that is longer than the
// host spacing. A gate that is off (a fetch the user asked for, or RespectRobots "No") lets
// everything through at once.
//
// Owned by its task; event-loop thread only.
#pragma once

#include "database/document.h"
#include "foundation/ref_string.h"
#include "net/robots_cache.h"

namespace orvalis {

// The status text of a document that the site's robots rules keep us from fetching.
inline constexpr const char* kNot_allowed_text = "Not allowed by the site's robots rules";

class Robots_gate {
 public:
  // `on`: the task honours robots rules (the setting RespectRobots may still switch it off).
  explicit Robots_gate(bool on = false);
  void set_on(bool on);
  bool on() const { return on_; }

  // False while the site's rules are being fetched, or while its crawl delay since the last
  // fetch from the host has not passed; true when the task may start.
  bool ready(const Ref_string& url);
  // After ready: the rules refuse the address (the task then fetches nothing).
  bool disallowed() const { return answer_ == Robots_cache::disallowed; }

 private:
  bool on_ = false;
  Robots_cache::Answer answer_ = Robots_cache::allowed;
};

// Stores "[NO TEXT: Not allowed by the site's robots rules]" as the document's extract (when
// it holds at most one item, as a failed fetch's text is stored), its title kept.
void store_not_allowed(const Document_handle& document);

}  // namespace orvalis
