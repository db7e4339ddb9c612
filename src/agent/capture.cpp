#include "agent/capture.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "database/search_resource_store.h"
#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "foundation/url.h"
#include "reports/html_text.h"
#include "text/html_scanner.h"
#include "text/html_tag.h"
#include "text/page_readers.h"

namespace orvalis {

Ref_string check_capture_request(Capture_request& request, Database& db,
                                 const Ref_string& browser_path) {
  if (request.category.empty()) request.category = Ref_string::from_id(12019);
  if (request.name.empty()) return Ref_string::from_id(18002);
  if (request.form_url.empty()) return Ref_string::from_id(18003);
  if (!db.is_open()) return Ref_string::from_id(18004);
  Search_resource_store store(db);
  Ref_string wanted = request.name.lower();
  for (const Search_resource_handle& r : store.list_resources(false)) {
    if (r->name.lower() == wanted) return Ref_string::from_id(18013);
  }
  if (browser_path.empty()) return Ref_string::from_id(10171);
  return {};
}

namespace {

// A value for an attribute of a page whose encoding is not known: escaped, and every
// character beyond ASCII written as a numeric reference, which reads the same in any encoding.
Ref_string any_encoding_html(const Ref_string& value) {
  const Ref_string escaped = escape_html(value);
  std::string_view text = escaped.view();
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    unsigned long cp = c & (0x3F >> extra);
    int taken = 1;
    for (; taken <= extra && i + taken < text.size(); ++taken) {
      const auto next = static_cast<unsigned char>(text[i + taken]);
      if ((next & 0xC0) != 0x80) break;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (extra == 0 || taken != extra + 1) cp = 0xFFFD;
    out += "&#" + std::to_string(cp) + ";";
    i += static_cast<std::size_t>(taken);
  }
  return Ref_string(out);
}

void add_hidden(Ref_string& out, const char* marker, const Ref_string& value) {
  out += concat("<input type=\"hidden\" name=", marker, " value=\"");
  out += any_encoding_html(value);
  out += "\">\n";
}

// The tag handler of the capture rewrite: every form posts to the listener and carries the
// markers; an isindex becomes such a form.
class Form_rewriter : public Html_scanner {
 public:
  Form_rewriter(Byte_buffer_handle page, const Ref_string& base, const Capture_request& request,
                const Ref_string& listener)
      : Html_scanner(std::move(page), 0), base_(base), request_(request), listener_(listener) {}

  int on_tag(const char* token, int n, Ref_string& replacement) override {
    char name[Html_tag::max_name];
    std::string_view lower(name, static_cast<size_t>(Html_tag::name_of(token, n, name)));
    if (lower == "base") {
      Html_tag tag(token, n);
      // Attribute values are HTML text: "&amp;" in an address stands for "&".
      Ref_string href = tag.attribute("href");
      href.decode_entities();
      if (!href.empty()) base_ = Url(base_).resolve(href);
      return 0;
    }
    if (lower == "form") {
      found_form = true;
      Html_tag tag(token, n);
      Ref_string action = tag.attribute("action");
      action.decode_entities();
      Ref_string method = tag.attribute("method").lower();
      if (method != "post") method = "get";
      tag.set_attribute("action", listener_);
      tag.set_attribute("method", "post");
      // Whatever the page's own encoding, the browser sends the fields as UTF-8, the text we store.
      tag.set_attribute("accept-charset", "UTF-8");
      replacement = tag.text();
      add_markers(replacement, Url(base_).resolve(action));
      add_hidden(replacement, kMethod_marker, method);
      return 1;
    }
    if (lower == "isindex") {
      found_form = true;
      replacement = concat("<form action=\"", escape_html(listener_).view(),
                           "\" method=post accept-charset=\"UTF-8\">\n");
      replacement += "<hr>This is a searchable index . Enter search keywords: ";
      replacement += concat("<input name=\"", kIsindex_field, "\">\n");
      replacement += "<br><hr>\n";
      add_markers(replacement, base_);
      replacement += concat("<input type=\"hidden\" name=", kMethod_marker, " value=GET>\n");
      replacement += "</form>\n";
      return 1;
    }
    return 0;
  }

  bool found_form = false;

 private:
  void add_markers(Ref_string& out, const Ref_string& address) {
    add_hidden(out, kUser_marker, request_.username);
    add_hidden(out, kPassword_marker, request_.password);
    add_hidden(out, kName_marker, request_.name);
    add_hidden(out, kAddress_marker, address);
    add_hidden(out, kForm_address_marker, base_);
  }

  Ref_string base_;
  const Capture_request& request_;
  Ref_string listener_;
};

}  // namespace

Capture_page rewrite_capture_page(const Byte_buffer_handle& body, const Ref_string& page_address,
                                  const Capture_request& request,
                                  const Ref_string& listener_address) {
  Form_rewriter rewriter(body, page_address, request, listener_address);
  Ref_string rewritten;
  rewriter.run(1, &rewritten);
  auto page = make_counted<Byte_buffer>();
  page->append(rewritten.c_str(), rewritten.length());
  Ref_string top;
  for (int id = 10080; id <= 10083; ++id) top += Ref_string::from_id(id);
  Capture_page out;
  out.page = insert_base_reference(page, page_address, top, Ref_string());
  out.found_form = rewriter.found_form;
  return out;
}

Ref_string write_capture_page(const Ref_string& folder, const Byte_buffer_handle& page) {
  namespace fs = std::filesystem;
  std::error_code ec;
  long long n = 1;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder.c_str(), ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() < 7 || Ref_string(name.substr(0, 7)).lower() != "capture") continue;
    if (!entry.is_regular_file(ec)) continue;
    size_t e = name.find_last_of("eE");
    n = std::atoll(name.c_str() + e + 1) + 1;
    if (n < 1 || n > 1000000000) n = 1;
    fs::remove(entry.path(), ec);
    break;
  }
  Ref_string file = safe_file_name(concat("capture", Ref_string::number(n).view(), ".htm").view());
  Ref_string path = join_folder(folder, file);
  if (!page->write_to_file(path.c_str())) {
    report_error(Ref_string::from_id(18012));
    return {};
  }
  return path;
}

Ref_list<Name_value> submitted_fields(const Http_request_info& request) {
  if (!request.fields.empty() || request.method != "get") return request.fields;
  Ref_list<Name_value> fields;
  int q = request.path.find('?');
  if (q < 0) return fields;
  for (const Ref_string& piece : split(request.path.mid(q + 1), '&')) {
    Ref_list<Ref_string> parts = split(piece, '=');
    if (parts.count() < 2) continue;
    fields.append({form_decode(parts.at(0)), form_decode(parts.at(1))});
  }
  return fields;
}

Resource_capture::Resource_capture(const Capture_request& request, Database& db)
    : request_(request), db_(db) {
  if (request_.category.empty()) request_.category = Ref_string::from_id(10084);
}

bool Resource_capture::take(const Http_request_info& request, Ref_string& html) {
  html = Ref_string();
  if (taken_) return false;
  Ref_list<Name_value> fields = submitted_fields(request);
  auto resource = make_counted<Search_resource>();
  resource->request_kind = Search_resource::post;
  resource->category = request_.category;
  resource->enabled = 1;
  bool named = false, found = false;
  Ref_string form_url = request_.form_url;
  Ref_string location;
  for (const Name_value& field : fields) {
    const Ref_string& name = field.name;
    if (name == kUser_marker) {
      resource->username = field.value;
    } else if (name == kPassword_marker) {
      resource->password = field.value;
    } else if (name == kName_marker) {
      named = field.value.lower() == request_.name.lower();
    } else if (name == kForm_address_marker) {
      form_url = field.value;
    } else if (name == kAddress_marker) {
      location = field.value;
    } else if (name == kMethod_marker) {
      parse_request_type(field.value, resource->request_kind);
    } else if (field.value.lower() == "searchfield") {
      resource->search_field = name;
      found = true;
    } else {
      resource->field_values.append(field);
    }
  }
  if (!named) return false;
  if (!found) {
    html = Ref_string::from_id(10086);
    return false;
  }
  resource->name = request_.name;
  resource->form_url = form_url;
  resource->location = Url(form_url).resolve(location);
  if (!db_.is_open() || !Search_resource_store(db_).save_resource(*resource)) {
    html = Ref_string("<HTML><BODY>The search resource could not be stored.</BODY></HTML>");
    return false;
  }
  taken_ = true;
  resource_ = resource;
  html = format_args(Ref_string::from_id(10085), escape_html(request_.name));
  return true;
}

}  // namespace orvalis
