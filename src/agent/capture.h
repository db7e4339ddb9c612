// Capturing a search engine from its own web form. The capture fetches the page that holds the
// engine's form, rewrites every form on it (and every isindex) so that the browser submits to
// the local capture listener, with six hidden fields that carry what the new resource needs,
// adds the instructions at the top, and saves the page as capture<N>.htm in the pages folder to
// be shown in the browser. The user types "searchfield" into the query box and submits; the
// submission arrives at the listener, and Resource_capture turns it into a search resource: the
// field that holds "searchfield" is the query field, every other field a fixed field value.
//
// This file holds the parts that need no running agent: the checks of a capture request with
// their messages, the page rewrite, writing the page, and reading the submission.
//
// Thread: the user-interface thread (the store and the settings are its own).
#pragma once

#include "database/database.h"
#include "database/search_resource.h"
#include "foundation/byte_buffer.h"
#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "foundation/ref_string.h"
#include "net/listen_connection.h"
#include "net/serve_connection.h"

namespace orvalis {

// The names of the hidden fields put into every rewritten form.
inline constexpr const char* kUser_marker = "999_TARVEN_USER_FIELD_999";
inline constexpr const char* kPassword_marker = "999_TARVEN_PASSWD_FIELD_999";
inline constexpr const char* kName_marker = "999_TARVEN_NAME_FIELD_999";
inline constexpr const char* kAddress_marker = "999_TARVEN_URL_FIELD_999";
inline constexpr const char* kForm_address_marker = "999_TARVEN_FORM_URL_FIELD_999";
inline constexpr const char* kMethod_marker = "999_TARVEN_METHOD_FIELD_999";

// The query field of an isindex page, as the rewrite names it.
inline constexpr const char* kIsindex_field = "isindex_search_field";

// What the user asked to capture.
struct Capture_request {
  Ref_string name;
  Ref_string form_url;
  Ref_string category;
  Ref_string username;
  Ref_string password;
};

// The checks before a capture starts, in the order the user meets them: an empty name, an
// empty address, no open database, a name already used (compared without regard to case), no
// browser chosen. Returns the message of the first that fails, or the empty string. An empty
// category becomes "General".
Ref_string check_capture_request(Capture_request& request, Database& db,
                                 const Ref_string& browser_path);

// The page rewritten for capture, and whether any form or isindex was found on it.
struct Capture_page {
  Byte_buffer_handle page;
  bool found_form = false;
};

// Rewrites every form and isindex of `body` to post to `listener_address` in UTF-8 with the six
// hidden fields (characters beyond ASCII written as numeric references, so they read the same
// in the page's own encoding), then inserts a base reference to `page_address` (where the page was delivered from;
// relative actions resolve against it, or against the page's own base element) and the
// instructions at the top of the body.
Capture_page rewrite_capture_page(const Byte_buffer_handle& body, const Ref_string& page_address,
                                  const Capture_request& request,
                                  const Ref_string& listener_address);

// Writes the page to `folder` as "capture" N ".htm": an earlier capture file found there (a
// name beginning with "capture") gives N as the number after the last "e" of its name plus
// one, and is deleted; N is 1 otherwise. Returns the file's path, or the empty string after
// reporting "Unable to write temporary file for resource capture. Disk full?".
Ref_string write_capture_page(const Ref_string& folder, const Byte_buffer_handle& page);

// The form fields of a request: a POST's body fields, or for a GET the fields of the query
// string of its path (read by the same rules as a body).
Ref_list<Name_value> submitted_fields(const Http_request_info& request);

// Turns the browser's submission into the search resource of one capture and stores it. A
// request is the submission when it carries the capture's name marker with the capture's own
// name (fields read as browsers encode them: "+" a blank, "%2B" a "+"); anything else (a favicon request, a stray page) is not taken
// and gets no answer of its own. A submission without "searchfield" in any field is answered
// with the text that says so and not taken, so the user can try again on the same page. Only
// one submission is ever taken; nothing is stored for any other.
class Resource_capture : public Counted_object {
 public:
  Resource_capture(const Capture_request& request, Database& db = Database::shared());

  // Fills `html` with the answer for the browser (empty: none of its own) and returns true when
  // the submission was taken and the resource stored.
  bool take(const Http_request_info& request, Ref_string& html);

  bool taken() const { return taken_; }
  // The stored resource once taken.
  const Search_resource_handle& resource() const { return resource_; }

 private:
  Capture_request request_;
  Database& db_;
  bool taken_ = false;
  Search_resource_handle resource_;
};
using Resource_capture_handle = Counted_handle<Resource_capture>;

}  // namespace orvalis
