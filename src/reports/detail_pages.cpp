#include "reports/detail_pages.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <iterator>
#include <string>

#include "foundation/settings.h"
#include "foundation/url.h"
#include "reports/advertisement_page.h"
#include "reports/html_text.h"
#include "reports/html_writer.h"

namespace orvalis {

namespace {

Ref_string text(int id) { return Ref_string::from_id(id); }

// A count of a document that was never retrieved is not known yet.
void append_count(std::string& out, const Document& d, std::int32_t value) {
  if (value < 0 || !d.time_last_retrieved.is_valid())
    out += text(10123).view();
  else
    out += std::to_string(value);
}

// The line after "<body>\n" in the resource's advertisement page, lower-cased; empty when
// there is no page or no such line.
std::string advertisement_piece(const Ref_string& engines_folder, const Ref_string& resource) {
  if (resource.empty()) return {};
  std::ifstream in(join_folder(engines_folder, advertisement_page_name(resource)).str(), std::ios::binary);
  if (!in) return {};
  std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (char& c : page) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  static constexpr std::string_view marker = "<body>\n";
  std::size_t at = page.find(marker);
  if (at == std::string::npos) return {};
  at += marker.size();
  return page.substr(at, page.find('\n', at) - at);
}

}  // namespace

Detail_options Detail_options::from_settings() {
  Detail_options options;
  options.engines_folder = orvalis::engines_folder();
  options.show_advertisements =
      equal_ignoring_case(Settings_cache::instance().get("ShowSRAd").view(), text(10102).view());
  return options;
}

Ref_string topic_detail(const Topic& topic) {
  std::string page = "<HTML>\r\n<BODY>\r\n<FONT SIZE=2>\r\n<STRONG>";
  append_escaped_html(page, topic.name.view());
  page += "</STRONG>\r\n<P>\r\n";
  append_escaped_html(page, topic.definition.view());
  page += "<P>\r\n<STRONG>";
  page += text(topic.terms.count() == 1 ? 10056 : 10057).view();
  page += ":</STRONG> ";
  bool first = true;
  for (const Ref_string& term : topic.terms) {
    if (!first) page += ", ";
    first = false;
    append_escaped_html(page, term.view());
  }
  page += "\r\n</BODY>\r\n</HTML>\r\n";
  return Ref_string(page);
}

Ref_string document_detail(const Document& document, const Document_link& link,
                           const Detail_options& options, const Page_changes* changes) {
  std::string page = "<HTML>\r\n<BODY>\r\n<FONT SIZE=2>\r\n";
  if (options.show_advertisements) page += advertisement_piece(options.engines_folder, link.search_resource);
  page += "\r\n<STRONG>";
  append_escaped_html(page, document.title.view());
  page += "</STRONG>\r\n<BR>\r\n<A HREF=\"";
  page += escape_html(safe_address(document.address)).view();
  page += "\">";
  append_escaped_html(page, document.address.view());
  page += "</A>\r\n<BR>\r\n<STRONG>";
  page += text(10108).view();
  page += ":</STRONG>";
  append_count(page, document, document.num_anchors);
  page += "<STRONG>";
  page += text(10109).view();
  page += ":</STRONG>";
  append_count(page, document, document.num_images);
  page += "<P>\r\n<STRONG>";
  page += text(10110).view();
  page += ":</STRONG>";
  bool first = true;
  for (const Ref_string& sentence : document.abstract) {
    if (!first) page += ' ';
    first = false;
    page += escape_html(sentence).view();
  }
  page += "\r\n<P>\r\n<STRONG>";
  page += text(document.summary.count() == 1 ? 10058 : 10059).view();
  page += ":</STRONG>";
  first = true;
  for (const Ref_string& term : document.summary) {
    if (!first) page += ", ";
    first = false;
    page += escape_html(term).view();
  }
  if (!document.annotation.empty()) {
    page += "<P>\r\n<STRONG>";
    page += text(10100).view();
    page += ":</STRONG>";
    append_escaped_html(page, document.annotation.view());
  }
  if (changes) page += page_changes_html(*changes);
  page += "</FONT>\r\n</BODY>\r\n</HTML>\r\n";
  return Ref_string(page);
}

Ref_string framed_page_name(std::int32_t url_id) { return concat("d", std::to_string(url_id), ".htm"); }

Ref_string framed_document_page(const Document& document, const Document_link& link,
                                const Publish_options& options) {
  Ref_string name = framed_page_name(document.url_id);
  Ref_string address = safe_address(document.address);
  Ref_string html_address = escape_html(address);
  Html_writer& w = Html_writer::shared();
  if (!w.start()) return Ref_string();
  w.set_output_path(join_folder(options.pages_folder, name));
  w.set_title(escape_html(document.title.empty() ? document.address : document.title));
  w.append("\r\n<SCRIPT LANGUAGE='JavaScript'>\r\n");
  w.append("<!--\r\n");
  w.append("  function hide_ad() {\r\n");
  w.append(concat("    window.location.href = '", escape_js_string(address.view()).view(), "'\r\n").view());
  w.append("  }\r\n");
  w.append("// -->\r\n");
  w.append("</SCRIPT>\r\n\r\n");
  w.frameset(Html_writer::rows, "85,*");
  w.frame("AdWindow", concat("../engines/", advertisement_page_name(link.search_resource).view()).view());
  w.frame("Document", html_address.view());
  w.noframes_start();
  w.append(text(12011).view());
  w.link(html_address.view(), escape_html(document.address).view(), "_top");
  w.append("\r\n");
  w.noframes_end();
  w.end_frameset();
  if (!w.write_page(true)) return Ref_string();
  return name;
}

Ref_string document_browser_address(const Document& document, const Document_link& link,
                                    const Detail_options& detail, const Publish_options& publish) {
  if (!detail.show_advertisements || link.search_resource.empty() || publish.pages_folder.empty())
    return document.address;
  std::error_code ec;
  if (!std::filesystem::exists(join_folder(detail.engines_folder, advertisement_page_name(link.search_resource)).str(), ec))
    return document.address;
  std::filesystem::create_directories(publish.pages_folder.str(), ec);
  Ref_string name = framed_document_page(document, link, publish);
  if (name.empty()) return document.address;
  return file_url(join_folder(publish.pages_folder, name));
}

}  // namespace orvalis
