#include "reports/topic_index.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "database/document_store.h"
#include "foundation/settings.h"
#include "platform/clock.h"
#include "platform/registry_store.h"
#include "reports/html_text.h"
#include "reports/html_writer.h"

namespace orvalis {

namespace {

constexpr std::int64_t one_day = 24 * 60 * 60;
constexpr const char* background_image = "images/ovbg.gif";
constexpr const char* logo_image = "images/ovlogo.gif";
constexpr const char* splash_image = "images/ovsplash.gif";
constexpr const char* spacer_image = "images/cleardot.gif";
constexpr const char* new_image = "images/new.gif";
constexpr const char* header_spacer = "<IMG SRC=\"images/cleardot.gif\" WIDTH=10>";
constexpr const char* header_colour = "#CCCCCC";
constexpr const char* index_frame = "Index";
constexpr const char* detail_frame = "Detail";
constexpr const char* document_target = "_top";

Ref_string text(int id) { return Ref_string::from_id(id); }

Html_cell spanning(int columns) {
  Html_cell cell;
  cell.column_span = columns;
  return cell;
}

// Today's date in the locale's short form ("%x").
std::string date_text(std::int64_t now) {
  platform::Local_time lt = platform::local_time(now);
  std::tm tm{};
  tm.tm_year = lt.year - 1900;
  tm.tm_mon = lt.month - 1;
  tm.tm_mday = lt.day;
  tm.tm_wday = lt.weekday;
  tm.tm_hour = lt.hour;
  tm.tm_min = lt.minute;
  tm.tm_sec = lt.second;
  char buffer[64];
  std::size_t n = std::strftime(buffer, sizeof buffer, "%x", &tm);
  return std::string(buffer, n);
}

// A count of a document that was never retrieved is not known yet.
std::string count_text(const Document& d, std::int32_t value) {
  return value < 0 || !d.time_last_retrieved.is_valid() ? text(10123).str() : std::to_string(value);
}

Ref_string page_path(const Publish_options& options, const Ref_string& name) {
  return join_folder(options.pages_folder, name);
}

// Starts a page; false when the writer could not start (reported).
bool begin_page(Html_writer& w, const Publish_options& options, const Ref_string& name,
                const Ref_string& title) {
  if (!w.start()) return false;
  w.set_output_path(page_path(options, name));
  w.set_title(title);
  return true;
}

// "Published", the date, "By" and the user's name, in bold, one per line.
void publishing_line(Html_writer& w, const Publish_options& options) {
  std::string line = text(10106).str();
  line += "<BR>";
  line += date_text(options.now);
  line += "<BR>";
  line += text(10107).view();
  line += "<BR>";
  append_escaped_html(line, options.user_name.view());
  w.bold(line);
}

// The head of every page: a table with an empty row, a row of the left cell and the centred
// publishing line, another empty row and a spacer row. `left` fills the left cell.
template <class Left>
void page_head(Html_writer& w, const Publish_options& options, int level, Left left) {
  const Html_cell both = spanning(2);
  w.indent(level);
  w.table();
  w.indent(level + 1);
  w.row();
  w.cell(both);
  w.end_cell();
  w.end_row();
  w.indent(level + 1);
  w.row();
  w.cell();
  left();
  w.end_cell();
  w.centred_cell();
  publishing_line(w, options);
  w.end_cell();
  w.end_row();
  w.indent(level + 1);
  w.row();
  w.cell(both);
  w.end_cell();
  w.end_row();
  w.indent(level + 1);
  w.row();
  w.cell(both);
  w.image(spacer_image, "", 0, "", 0, 10);
  w.end_cell();
  w.end_row();
  w.indent(level);
  w.end_table();
}

void logo(Html_writer& w) { w.image(logo_image, "", 0, "Orvalis"); }

// The list of topics with their document counts and new markers.
void topic_table(Html_writer& w, const Ref_list<Topic_handle>& topics, const Publish_options& options,
                 int level) {
  std::unordered_map<std::int32_t, std::int32_t> counts =
      Document_store(*options.database).live_document_counts();
  w.indent(level);
  w.table();
  w.indent(level + 1);
  w.row(header_colour);
  w.header_cell();
  w.append(header_spacer);
  w.end_header_cell();
  w.left_header_cell();
  w.append(text(10070).view());
  w.end_header_cell();
  w.header_cell();
  w.append(text(10071).view());
  w.end_header_cell();
  w.header_cell();
  w.end_header_cell();
  w.end_row();
  std::string name;
  for (const Topic_handle& topic : topics) {
    if (!topic) continue;
    w.indent(level + 1);
    w.row();
    w.cell();
    w.end_cell();
    w.cell();
    name.clear();
    append_escaped_html(name, topic->name.view());
    w.link(topic_page_name(topic->concept_id).view(), name, detail_frame);
    w.end_cell();
    w.right_cell();
    auto found = counts.find(topic->concept_id);
    w.append(std::to_string(found == counts.end() ? 0 : found->second));
    w.end_cell();
    w.cell();
    if (topic_is_new(*topic, options.now)) w.image(new_image, "LEFT", 0, "New");
    w.end_cell();
    w.end_row();
  }
  w.indent(level);
  w.end_table();
}

// The head and the topic table, centred: the body of topics.htm and the no-frames part of
// index.htm.
void topic_list(Html_writer& w, const Ref_list<Topic_handle>& topics, const Publish_options& options) {
  w.append("<CENTER>\n");
  w.table();
  w.indent(1);
  w.row();
  w.cell();
  w.append("\n");
  page_head(w, options, 2, [&] { logo(w); });
  w.indent(1);
  w.end_cell();
  w.end_row();
  w.indent(1);
  w.row();
  w.cell();
  w.append("\n");
  topic_table(w, topics, options, 2);
  w.indent(1);
  w.end_cell();
  w.end_row();
  w.end_table();
  w.append("</CENTER>\n");
}

bool is_old_page(const std::string& name) {
  // "d" or "t", digits, ".htm": the names this program gives topic and document pages.
  if (name.size() < 6 || (name[0] != 'd' && name[0] != 't') || !name.ends_with(".htm")) return false;
  for (std::size_t i = 1; i + 4 < name.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

void remove_old_pages(const Publish_options& options) {
  namespace fs = std::filesystem;
  std::error_code ec;
  std::vector<fs::path> old;
  for (fs::directory_iterator it(options.pages_folder.str(), ec), end; !ec && it != end; it.increment(ec))
    if (is_old_page(it->path().filename().string()) && it->is_regular_file(ec)) old.push_back(it->path());
  for (const fs::path& p : old) fs::remove(p, ec);
}

// Case-insensitive order of two texts.
bool less_ignoring_case(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view link_text(const Document& d) { return d.title.empty() ? d.address.view() : d.title.view(); }

void document_rows(Html_writer& w, const Topic_document& item, const Publish_options& options) {
  const Document& d = *item.document;
  const Html_cell wide = spanning(4);
  w.indent(1);
  w.row();
  w.cell();
  w.end_cell();
  w.cell();
  Ref_string shown = escape_html(d.title.empty() ? d.address : d.title);
  w.link(escape_html(safe_address(d.address)).view(), shown.view(), document_target);
  if (document_is_new(item, options.now)) w.image(new_image, "", 0, "New");
  w.end_cell();
  w.right_cell();
  w.append(std::to_string(item.link.relevant));
  w.end_cell();
  w.right_cell();
  w.append(count_text(d, d.num_images));
  w.end_cell();
  w.right_cell();
  w.append(count_text(d, d.num_anchors));
  w.end_cell();
  w.end_row();

  w.indent(1);
  w.row();
  w.cell();
  w.end_cell();
  w.cell(wide);
  w.append("<BLOCKQUOTE>");
  bool first = true;
  for (const Ref_string& sentence : d.abstract) {
    if (!first) w.append(" ");
    first = false;
    w.append(escape_html(sentence).view());
  }
  w.append("</BLOCKQUOTE>");
  w.end_cell();
  w.end_row();

  if (!d.annotation.empty()) {
    w.indent(1);
    w.row();
    w.cell();
    w.end_cell();
    w.cell(wide);
    w.append("<BLOCKQUOTE><I>");
    w.bold(text(10122).view());
    w.append(": ");
    w.append(escape_html(d.annotation).view());
    w.append("</I></BLOCKQUOTE>");
    w.end_cell();
    w.end_row();
  }
}

}  // namespace

Publish_options Publish_options::from_settings() {
  Publish_options options;
  options.pages_folder = orvalis::pages_folder();
  platform::Registry_store& store = platform::Registry_store::instance();
  if (store.is_open()) options.user_name = Ref_string(store.read("UserName"));
  options.now = platform::now();
  return options;
}

Ref_string topic_page_name(std::int32_t concept_id) {
  return concat("t", std::to_string(concept_id), ".htm");
}

bool topic_is_new(const Topic& topic, std::int64_t now) {
  return topic.time_last_modified.is_valid() && now - topic.time_last_modified.seconds <= one_day;
}

bool document_is_new(const Topic_document& item, std::int64_t now) {
  auto recent = [&](const Db_date& d) { return d.is_valid() && now - d.seconds <= one_day; };
  return recent(item.link.date_created) || recent(item.document->time_last_retrieved);
}

bool write_blank_page(const Publish_options& options) {
  Html_writer& w = Html_writer::shared();
  if (!begin_page(w, options, blank_page_name, text(10065))) return false;
  w.body_background(background_image);
  w.append("<CENTER>\n");
  w.table();
  w.indent(1);
  w.row();
  w.cell();
  w.image(spacer_image, "", 0, "", 0, 200);
  w.end_cell();
  w.end_row();
  w.indent(1);
  w.row();
  w.cell();
  w.image(splash_image, "", 0, "Orvalis");
  w.end_cell();
  w.end_row();
  w.end_table();
  w.append("</CENTER>\n");
  return w.write_page(false);
}

bool write_topics_page(const Ref_list<Topic_handle>& topics, const Publish_options& options) {
  Html_writer& w = Html_writer::shared();
  if (!begin_page(w, options, topics_page_name, text(10062))) return false;
  w.body_background(background_image);
  topic_list(w, topics, options);
  return w.write_page(false);
}

bool write_index_page(const Ref_list<Topic_handle>& topics, const Publish_options& options) {
  Html_writer& w = Html_writer::shared();
  if (!begin_page(w, options, index_page_name, text(10061))) return false;
  w.frameset(Html_writer::columns, "30%,70%");
  w.frame(index_frame, topics_page_name);
  w.frame(detail_frame, blank_page_name);
  w.noframes_start();
  topic_list(w, topics, options);
  w.noframes_end();
  w.end_frameset();
  return w.write_page(true);
}

Ref_string publish_index(const Ref_list<Topic_handle>& topics, const Publish_options& options,
                         int* pages_written) {
  remove_old_pages(options);
  // Every topic the index links to gets its page first, so no link of the index points at a
  // page that is not there (the old ones have just been removed).
  int pages = 0;
  bool ok = true;
  for (const Topic_handle& topic : topics) {
    if (!topic) continue;
    if (publish_topic_page(*topic, options).empty()) ok = false;
    else ++pages;
  }
  for (bool written : {write_blank_page(options), write_topics_page(topics, options), write_index_page(topics, options)}) {
    if (written) ++pages;
    else ok = false;
  }
  if (pages_written) *pages_written = pages;
  if (!ok) return Ref_string();
  return page_path(options, index_page_name);
}

Ref_string publish_topic_page(const Topic& topic, const Publish_options& options) {
  Ref_string file = topic_page_name(topic.concept_id);
  Html_writer& w = Html_writer::shared();
  // The page is started first, so that an error while its documents are read is listed.
  if (!begin_page(w, options, file, Ref_string())) return Ref_string();
  Ref_list<Topic_document> listed =
      Document_store(*options.database).documents_of_topic(topic.concept_id, false);
  std::vector<Topic_document> documents;
  documents.reserve(static_cast<std::size_t>(listed.count()));
  for (const Topic_document& item : listed) documents.push_back(item);
  std::stable_sort(documents.begin(), documents.end(), [](const Topic_document& a, const Topic_document& b) {
    if (a.link.relevant != b.link.relevant) return a.link.relevant > b.link.relevant;
    return less_ignoring_case(link_text(*a.document), link_text(*b.document));
  });

  Ref_string count = Ref_string::number(static_cast<long long>(documents.size()));
  Ref_string name = escape_html(topic.name);
  w.set_title(format_args(text(documents.size() == 1 ? 10063 : 10064), count, name));
  w.body_background(background_image);
  page_head(w, options, 0, [&] {
    logo(w);
    w.append("<BR>");
    w.bold(concat(text(57344).view(), "<BR><BR>", text(10120).view(), ": ").view());
    w.append(name.view());
    w.append("<BR>");
    w.bold(concat(text(10121).view(), ": ").view());
    w.append(count.view());
  });
  w.table();
  w.indent(1);
  w.row(header_colour);
  w.header_cell();
  w.append(header_spacer);
  w.end_header_cell();
  w.left_header_cell();
  w.append(text(10067).view());
  w.end_header_cell();
  for (int id : {10218, 10068, 10069}) {
    w.header_cell();
    w.append(text(id).view());
    w.end_header_cell();
  }
  w.end_row();
  for (const Topic_document& item : documents) document_rows(w, item, options);
  w.end_table();
  if (!w.write_page(false)) return Ref_string();
  return page_path(options, file);
}

}  // namespace orvalis
