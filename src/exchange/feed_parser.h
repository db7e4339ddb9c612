// parse_feed reads one answer of a feed's address: RSS 2.0, RSS 1.0 (RDF), Atom 1.0 or JSON
// Feed 1.1 (told by the content, not the media type), into the feed's title and its entries,
// each with its id (the entry's own id, else its link), link, title, summary (plain text: the
// markup of HTML summaries and of Atom xhtml content taken away) and date. A pure function:
// no I/O, any thread.
//
// The answer is not trusted. XML is read by expat with every entity declaration refused (the
// "billion laughs" bomb, external entities: never resolved or fetched); malformed XML keeps the
// entries completed before the fault and says why in `error`. Links are made absolute against
// the feed's address and any xml:base on the way; a link that is not http or https
// (javascript:, data:, ...) is dropped, and an entry left with neither id nor link is dropped.
// Dates are read in the forms feeds use: RFC 822 with or without the weekday (and with the
// old zone names), RFC 3339; a date that cannot be read is null.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/db_date.h"

namespace orvalis::exchange {

struct Feed_entry {
  std::string id;
  std::string link;
  std::string title;
  std::string summary;
  Db_date date;  // published, else updated; null when none could be read
};

struct Parsed_feed {
  enum class Kind { unknown, rss2, rss1, atom, json_feed };
  Kind kind = Kind::unknown;
  std::string title;
  std::string link;
  std::vector<Feed_entry> entries;  // in the feed's order
  std::string error;                // why the reading stopped; empty when it did not
  int dropped = 0;                  // entries left out (no usable link or id)
};

Parsed_feed parse_feed(std::string_view body, const std::string& feed_address);

// The bytes of a feed's answer as UTF-8, the way pages are read (page_to_utf8) but with the
// XML declaration's encoding taking the place of an HTML meta: a byte-order mark, then the
// Content-Type charset, then the declaration's encoding, then UTF-8 when the bytes are valid
// UTF-8, else windows-1252. So a feed in any encoding the page reader knows is read, not only
// those expat knows itself.
std::string feed_to_utf8(std::string_view bytes, std::string_view content_type);
// parse_feed over a text feed_to_utf8 made: the XML declaration's encoding no longer applies.
Parsed_feed parse_feed_utf8(std::string_view text, const std::string& feed_address);
// The encoding an XML declaration at the start of `bytes` names; empty when there is none.
std::string xml_declared_encoding(std::string_view bytes);

// A feed a page announces with <link rel="alternate" type="application/rss+xml"> (or Atom's,
// RSS 1.0's or JSON Feed's type): its absolute address (against the page's address and its
// <base href>) and its title. Only http and https addresses; each address once, in page order.
struct Announced_feed {
  std::string address;
  std::string title;
};
std::vector<Announced_feed> find_feed_links(std::string_view html, const std::string& page_address);

// A date of a feed (see above); nothing when it cannot be read.
std::optional<Db_date> parse_feed_date(std::string_view text);

}  // namespace orvalis::exchange
