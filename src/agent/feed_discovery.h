// Feed discovery for "feed add" and the Feeds page of a topic's properties: what an address
// holds, the feed itself (told by its content, whatever its type says) or a page whose
// <link rel="alternate"> elements announce feeds.
//
// An address that cannot be fetched now is taken as given (the agent tries it at each search);
// an error status, or a page that announces no feed, adds nothing. The fetch runs through the
// network layer on the current event loop, so a window keeps repainting while it waits.
// Thread: the thread of the event loop. REQUIRES: the network layer is started.
#pragma once

#include <string>
#include <vector>

#include "exchange/feed_parser.h"

namespace orvalis {

struct Feed_choice {
  std::vector<exchange::Announced_feed> feeds;
  bool from_page = false;
  std::string unchecked;  // why the address could not be looked at
  std::string error;      // why nothing is added
};

Feed_choice choose_feeds(const std::string& address);

}  // namespace orvalis
