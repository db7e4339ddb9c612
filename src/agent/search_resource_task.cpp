#include "agent/search_resource_task.h"

#include <optional>
#include <string>

#include "agent/agent_events.h"
#include "agent/get_ad_task.h"
#include "agent/summarize_task.h"
#include "agent/task_manager.h"
#include "database/document_store.h"
#include "database/engine_health_store.h"
#include "database/resource_definitions.h"
#include "database/topic_store.h"
#include "foundation/character_count.h"
#include "foundation/settings.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/network.h"
#include "net/received_page.h"
#include "platform/clock.h"
#include "platform/registry_store.h"
#include "text/html_tag.h"

namespace orvalis {

namespace {

std::string base64(std::string_view bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                 (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += digits[(v >> 6) & 63];
    out += digits[v & 63];
  }
  if (std::size_t left = bytes.size() - i; left > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (left == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += left == 2 ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace

Search_resource_task::Search_resource_task(const Topic_handle& topic, const Search_resource& resource,
                                           const Ref_string& query)
    : Network_task(kImmediate),
      topic_(topic),
      query_(query),
      resource_(make_counted<Search_resource>(resource)) {
  set_description(format_args(Ref_string::from_id(10074), resource.name, query));
  // The host is known from the start, so the host spacing applies before the request is built.
  set_url(resource.location.text());
}

int Search_resource_task::start() {
  build_request(*resource_, query_, *this);
  connection()->set_timeout(network_limits().search_timeout);
  started_ms_ = platform::tick_milliseconds();
  activate_request(Network_task_handle(this));
  return 1;
}

Ref_string engine_failure_reason(Network_task& task) {
  Net_connection* c = task.connection();
  if (task.status() != Network_task::succeeded || !c) {
    Ref_string why = task.failure_reason();
    if (!why.empty()) return why;
    return task.status() == Network_task::timed_out ? Ref_string("no answer in time") : Ref_string("no answer");
  }
  Received_page page = received_page(*c);
  if (page.status != 200) {
    Http_response_handle r = c->response();
    return "answered " + Ref_string::number(page.status) + (r && !r->reason.empty() ? " " + r->reason : Ref_string());
  }
  if (!page.problem.empty()) return page.problem;
  return Ref_string();
}

void Search_resource_task::process_result() {
  Network_task_handle keep(this);
  const Ref_string failure = engine_failure_reason(*this);
  int kept_links = 0;
  if (status() == succeeded && Database::shared().is_open() && connection()) {
    Byte_buffer_handle page = response_body(*connection(), false);
    // The address the page finally came from (after redirects).
    Ref_string base = connection()->url();
    if (page) {
      if (advertisements_shown()) take_advertisement(*resource_, page, base);
      Ref_list<Found_link> links = read_result_links(page, base, resource_->ignore_substrings);
      kept_links = links.count();
      store_found_links(topic_, links, query_, resource_->name,
                        [&](const Document_handle& d, bool is_new) {
                          if (!is_new) return;
                          auto summarize = make_counted<Summarize_task>(topic_, d);
                          summarize->set_respect_robots(scheduled_);
                          Task_manager::instance().submit(summarize);
                        });
    }
  }
  if (Database::shared().is_open()) {
    Engine_health_store health;
    if (failure.empty())
      health.record_answer(resource_->name, static_cast<int>(platform::tick_milliseconds() - started_ms_), kept_links);
    else
      health.record_failure(resource_->name, failure);
  }
  Task_manager::instance().finish(*this);
}

int query_transformation_mode(Search_resource& resource) {
  if (resource.query_transformation_mode >= 0) return resource.query_transformation_mode;
  int mode = 0;
  const Ref_string location = resource.location.text().lower();
  for (const Ref_string& entry : split(Settings_cache::instance().get("query_transformation_config"), ',')) {
    Ref_list<Ref_string> pieces = split(entry, ' ');
    if (pieces.count() != 2) continue;
    if (location.find(pieces[0].lower().c_str()) >= 0) mode = pieces[1].to_int();
  }
  resource.query_transformation_mode = mode;
  return mode;
}

Ref_string transform_query(Search_resource& resource, const Ref_string& query) {
  if (query.empty()) return Ref_string();
  if (query[0] == '=') return query.mid(1);
  Ref_list<Ref_string> pieces = split(query, ' ');
  if (pieces.count() == 1) return query;
  switch (query_transformation_mode(resource)) {
    case 0:
      return query;
    case 1:
      return join(pieces, " AND ");
    case 2: {
      Ref_string out;
      for (const Ref_string& p : pieces) {
        if (!out.empty()) out += ' ';
        out += '+';
        out += p;
      }
      return out;
    }
    default:
      return Ref_string();
  }
}

void build_request(Search_resource& resource, const Ref_string& query, Network_task& task) {
  const Ref_string q = transform_query(resource, query);
  if (resource.search_field == "isindex_search_field") {
    // The query is one form value: its "+", "&", "#" and "%" are the user's own.
    task.set_url(resource.location.text() + "?" + form_value_encode(q));
    task.connection()->set_method(Http_connection::get);
  } else {
    task.set_url(resource.location.text());
    task.connection()->set_method(resource.request_kind == Search_resource::post ? Http_connection::post
                                                                                 : Http_connection::get);
    task.connection()->add_field(resource.search_field, q);
    for (const Name_value& f : resource.field_values) task.connection()->add_field(f.name, f.value);
  }
  if (!resource.username.empty() && !(resource.username == "NONE")) {
    std::string credentials = resource.username.str() + ":" + resource.password.str();
    task.connection()->add_header("Authorization", Ref_string(std::string_view("Basic " + base64(credentials))));
  }
}

Ref_list<Found_link> read_result_links(const Byte_buffer_handle& page, const Ref_string& base,
                                       const Ref_list<Ref_string>& ignore,
                                       std::vector<Ref_string>* dropped, int max_links) {
  Anchor_reader reader(page, Url(base));
  reader.run();
  // An ignored address is ignored wherever it appears, so filtering the collected links once
  // drops what dropping each anchor would, and names each dropped address once.
  Ref_list<Found_link> kept;
  int documents = 0;
  for (const Found_link& link : reader.links()) {
    if (documents >= max_links) break;
    bool ignored = false;
    for (const Ref_string& s : ignore)
      if (s.empty() || link.url.find(s.c_str()) >= 0) {
        ignored = true;
        break;
      }
    if (ignored) {
      if (dropped) dropped->push_back(link.url);
      continue;
    }
    // A link too long to store stays in the list (resource test names it) but is no document.
    kept.append(link);
    if (search_keeps_link(link)) ++documents;
  }
  return kept;
}

Byte_buffer_handle response_body(const Net_connection& connection, bool require_ok, int* status) {
  Received_page page = received_page(connection);
  if (status) *status = page.status;
  if (require_ok && page.status != 200) return Byte_buffer_handle();
  if (!page.body || page.body->length() == 0) return Byte_buffer_handle();
  page.to_utf8();
  return page.body;
}

Ref_string result_link_title(const Found_link& link) {
  // The anchor text is decoded already (the scanner reads references as the characters they
  // stand for): decoding it again would turn a page's "&amp;lt;" into "<".
  Ref_string title = link.text.is_blank() ? link.url : link.text;
  // Engines that wrap a title and its snippet in one anchor give long texts: cut, not dropped.
  if (title.length() > max_result_title_characters)
    title = Ref_string(title.view().substr(0, character_prefix(title.view(), max_result_title_characters)));
  return title;
}

bool search_keeps_link(const Found_link& link) {
  return character_count(link.url.view()) <= static_cast<std::size_t>(max_result_address_characters);
}

int store_found_links(const Topic_handle& topic, const Ref_list<Found_link>& links,
                      const Ref_string& query, const Ref_string& added_by,
                      const std::function<void(const Document_handle&, bool is_new)>& then) {
  Document_store store;
  int added = 0;
  // The links go in batches of a hundred: one commit per batch keeps the journal writes few, and
  // a database that fills up mid-page loses no more than the batch it was writing (the full-text
  // index writes its pending rows at the commit, so a full disk can undo the whole batch).
  constexpr int links_per_batch = 100;
  std::optional<Db_batch> batch;
  batch.emplace(Database::shared());
  int in_batch = 0;
  for (const Found_link& link : links) {
    if (!search_keeps_link(link)) continue;
    if (in_batch == links_per_batch) {
      batch.reset();
      if (!Database::shared().is_open()) break;
      batch.emplace(Database::shared());
      in_batch = 0;
    }
    ++in_batch;
    bool is_new = false;
    Document_handle d = store.add_document(link.url, result_link_title(link), -1, -1, &is_new);
    // A database error has been reported (and the agent stopped): store no more.
    if (!d) break;
    if (is_new) ++added;
    if (then) then(d, is_new);
    Document_link l;
    l.query = query;
    l.search_resource = added_by;
    bool linked = store.link_document(topic->concept_id, d->url_id, l, false);
    if (agent_events().document_found) agent_events().document_found(topic->concept_id, *d, is_new, linked);
  }
  batch.reset();
  if (added > 0 && Database::shared().is_open()) {
    Topic fresh;
    if (Topic_store::shared().load_topic(fresh, topic->concept_id)) {
      fresh.time_last_modified = Db_date::at(platform::now());
      if (Topic_store::shared().save_topic(fresh)) {
        topic->time_last_modified = fresh.time_last_modified;
        if (agent_events().topic_changed) agent_events().topic_changed(fresh);
      }
    }
  }
  return added;
}

// ---- advertisements ----

namespace {

// The first advertisement image of a page and the anchor around it. One pass; tags after the
// match are not looked at.
class Advertisement_finder : public Html_scanner {
 public:
  Advertisement_finder(Byte_buffer_handle page, const Search_resource& resource, const Ref_string& base)
      : Html_scanner(std::move(page), 0),
        base_(base),
        location_(resource.location.text()),
        config_(Settings_cache::instance().get("advertisement_config")) {}

  int on_tag(const char* token, int n, Ref_string&) override {
    if (!found_.empty()) return 0;
    char chars[Html_tag::max_name + 1];
    std::string_view name(chars, static_cast<std::size_t>(Html_tag::name_of(token, n, chars)));
    if (name == "a") {
      auto tag = make_counted<Html_tag>(token, n);
      Ref_string href = tag->attribute("href");
      if (href.empty()) return 0;
      tag->set_attribute("href", base_.resolve(href));
      anchor_ = tag;
    } else if (name == "/a") {
      anchor_ = Html_tag_handle();
    } else if (name == "img" || name == "input") {
      Html_tag tag(token, n);
      if (name == "input" && !equal_ignoring_case(tag.attribute("type").view(), "image")) return 0;
      Ref_string src = tag.attribute("src");
      if (src.empty()) return 0;
      // Pages write "&" in attribute values as "&amp;"; the image's address has the character.
      if (src.find("&amp;") >= 0) {
        std::string plain = src.str();
        for (std::size_t at = plain.find("&amp;"); at != std::string::npos; at = plain.find("&amp;", at + 1))
          plain.erase(at + 1, 4);
        src = Ref_string(plain);
      }
      Ref_string absolute = base_.resolve(src);
      tag.set_attribute("src", absolute);
      if (!advertisement_match(config_, location_, absolute)) return 0;
      found_ = anchor_ ? concat(anchor_->text().view(), tag.text().view(), "</a>") : tag.text();
    }
    return 0;
  }

  const Ref_string& found() const { return found_; }

 private:
  Url base_;
  Ref_string location_;
  Ref_string config_;
  Html_tag_handle anchor_;
  Ref_string found_;
};

std::string table_key(const Ref_string& name) { return name.lower().str(); }

}  // namespace

Ref_string find_advertisement(const Search_resource& resource, const Byte_buffer_handle& page,
                              const Ref_string& base) {
  if (!page || Settings_cache::instance().get("advertisement_config").empty()) return Ref_string();
  Advertisement_finder finder(page, resource, base);
  finder.run();
  return finder.found();
}

bool advertisements_shown() {
  const Ref_string yes = Ref_string::from_id(10102);
  platform::Registry_store& registry = platform::Registry_store::instance();
  if (registry.is_open()) return registry.read("ShowSRAd") == yes.str();
  return Settings_cache::instance().get("ShowSRAd") == yes;
}

Advertisement_table& Advertisement_table::instance() {
  static Advertisement_table table;
  return table;
}

bool Advertisement_table::note(const Ref_string& resource_name, const Ref_string& image_address,
                               std::int64_t now) {
  auto [at, made] = entries_.try_emplace(table_key(resource_name));
  Entry& entry = at->second;
  if (made) {
    entry.fetched = now;
    entry.image_address = image_address;
    return true;
  }
  if (entry.image_address == image_address) return false;
  entry.image_address = image_address;
  entry.changed = true;
  // More than 15 whole minutes since the last fetch.
  if ((now - entry.fetched) / 60 <= 15) return false;
  entry.fetched = now;
  return true;
}

const Advertisement_table::Entry* Advertisement_table::find(const Ref_string& resource_name) const {
  auto at = entries_.find(table_key(resource_name));
  return at == entries_.end() ? nullptr : &at->second;
}

void Advertisement_table::clear() { entries_.clear(); }

void take_advertisement(const Search_resource& resource, const Byte_buffer_handle& page,
                        const Ref_string& base) {
  Ref_string html = find_advertisement(resource, page, base);
  if (html.empty()) return;
  auto buffer = make_counted<Byte_buffer>();
  buffer->append(html.c_str(), html.length());
  Html_tag_list tags = collect_tags(buffer);
  // Only an image inside an anchor: <a ...><img ...></a>.
  if (tags.count() != 3 || !tags[0]->is("a") || !tags[1]->is("img")) return;
  Html_tag_handle anchor = tags[0];
  Html_tag_handle image = tags[1];
  anchor->set_attribute("target", "_top");
  Ref_string src = image->attribute("src");
  if (!Advertisement_table::instance().note(resource.name, src, platform::now())) return;
  Task_manager::instance().submit(make_counted<Get_ad_task>(resource.name, src, anchor->text(), src, image));
}

}  // namespace orvalis
