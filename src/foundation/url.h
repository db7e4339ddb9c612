// Url wraps the text of an address and answers questions about its parts: scheme, host, port,
// path, the user and password of an ftp address, and the absolute form of a link found on a
// page. It keeps no parsed form: every question scans the text as it stands. The grammar is
// deliberately small: no normalisation, no "." or ".." handling, no bracketed IPv6 hosts.
// Known schemes (codes): 1 http, 2 gopher, 3 ftp, 4 news, 5 file, 6 mailto, 7 https;
// anything else is 0 and is treated as a relative reference.
// url_encode/url_decode turn text into the form-encoded form of query strings and back;
// remove_dot_segments does the "." and ".." step of resolving for those who need it.
#pragma once

#include <string>
#include <string_view>

#include "foundation/ref_string.h"

namespace orvalis {

class Url {
 public:
  enum Scheme { other = 0, http = 1, gopher = 2, ftp = 3, news = 4, file = 5, mailto = 6, https = 7 };

  Url() = default;
  Url(const Ref_string& text) : text_(text) {}
  Url(const char* text) : text_(text) {}

  const Ref_string& text() const { return text_; }

  int scheme_code() const;
  static Ref_string scheme_name(int code);
  static int default_port(int code);

  // Character indexes, first and last inclusive; false when there is no such part.
  bool host_span(int& first, int& last) const;
  bool port_span(int& first, int& last) const;
  int path_start() const;

  Ref_string host() const;
  int port() const;
  // From the path start to the end; "/" when that is empty.
  Ref_string path() const;
  // User and password of an ftp address that has a user part ("ftp://user:pw@host/").
  bool ftp_credentials(Ref_string& user, Ref_string& password) const;

  // The absolute form of `link` taken relative to this address.
  Ref_string resolve(const Ref_string& link) const;

 private:
  Ref_string text_;
};

// Spaces become "+", letters, digits and "$-_@.&!*=%" stay, every other byte becomes "%XX".
Ref_string url_encode(const Ref_string& text);
// A form value as browsers encode it: letters, digits and "*-._" stay, a space becomes "+",
// every other byte "%XX" (so "+", "&", "=", "%" and "#" of the text keep their meaning).
Ref_string form_value_encode(const Ref_string& text);
// A request target (a path with its query, or a whole address) as browsers send it: cut at
// its "#", and controls, space, '"', '<', '>', DEL and bytes above 0x7F as "%XX", in the part
// before the "?" also '`', '{' and '}'. "%" and a "+" stay as written: servers read them.
Ref_string request_target(const Ref_string& target);
// "%XX" becomes its byte; "+" stays; the result ends at the first zero byte produced.
Ref_string url_decode(const Ref_string& text);
// A form value as browsers send it (application/x-www-form-urlencoded): every "+" is a blank,
// then "%XX" becomes its byte, so "C%2B%2B+Finder" reads "C++ Finder".
Ref_string form_decode(const Ref_string& text);
// The address under which the browser is sent to a local file.
Ref_string file_url(const Ref_string& path);
// Whether `address` is a web address: it begins with "http://" or "https://", in any case.
bool is_web_address(std::string_view address);
// An address path with its "." and ".." segments taken away (RFC 3986, 5.2.4): "/a/b/../c"
// gives "/a/c".
std::string remove_dot_segments(std::string_view path);

}  // namespace orvalis
