// publish and the --html forms of topic show and doc show: the generated pages of the topic
// index and the detail pages the desktop shows for a topic or a document.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "cli/cli.h"
#include "cli/json.h"
#include "database/document_store.h"
#include "database/topic_store.h"
#include "foundation/error_handler.h"
#include "reports/detail_pages.h"
#include "reports/topic_index.h"

namespace orvalis::cli {

namespace {

bool name_less(const Topic_handle& a, const Topic_handle& b) {
  std::string_view x = a->name.view(), y = b->name.view();
  bool less = std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
    return std::tolower(static_cast<unsigned char>(p)) < std::tolower(static_cast<unsigned char>(q));
  });
  if (less) return true;
  bool greater = std::lexicographical_compare(y.begin(), y.end(), x.begin(), x.end(), [](char p, char q) {
    return std::tolower(static_cast<unsigned char>(p)) < std::tolower(static_cast<unsigned char>(q));
  });
  return !greater && a->concept_id < b->concept_id;
}

void print_path(Context& c, const Ref_string& path, int pages) {
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("path", path.view()).field("pages", pages).end_object().finish();
  } else {
    c.out << path << "\n";
  }
}

}  // namespace

int cmd_publish(Context& c) {
  c.no_more_args(1);
  std::string key = c.args.empty() ? std::string() : c.args[0];
  if (!c.open_database()) return 1;
  Publish_options options = Publish_options::from_settings();
  if (options.pages_folder.empty()) {
    report_error("No installation folder (the setting InstallDir): run 'orvalis-cli install' first.");
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(options.pages_folder.str(), ec);

  if (!key.empty()) {
    Topic_handle topic = lookup_topic(key);
    if (!topic) return 1;
    Ref_string path = publish_topic_page(*topic, options);
    if (path.empty()) return 1;
    print_path(c, path, 1);
    return 0;
  }

  Ref_list<Topic_handle> found = Topic_store::shared().topics_matching("");
  std::vector<Topic_handle> sorted(found.begin(), found.end());
  std::sort(sorted.begin(), sorted.end(), name_less);
  Ref_list<Topic_handle> topics;
  for (const Topic_handle& t : sorted) topics.append(t);
  int pages = 0;
  Ref_string index = publish_index(topics, options, &pages);
  if (index.empty()) return 1;
  print_path(c, index, pages);
  return 0;
}

int topic_show_html(Context& c) {
  const std::string& key = c.arg(1, "topic");
  c.no_more_args(2);
  if (!c.open_database()) return 1;
  Topic_handle topic = lookup_topic(key);
  if (!topic) return 1;
  c.out << topic_detail(*topic);
  return 0;
}

int doc_show_html(Context& c) {
  std::string topic_key;
  bool has_topic = c.take("--topic", topic_key);
  const std::string& key = c.arg(1, "document");
  c.no_more_args(2);
  if (!c.open_database()) return 1;
  Document_handle document = lookup_document(key);
  if (!document) return 1;
  Document_link link;
  if (has_topic) {
    // The link names the search resource that found the document for this topic.
    Topic_handle topic = lookup_topic(topic_key);
    if (!topic) return 1;
    bool linked = false;
    for (const Topic_document& item : Document_store().documents_of_topic(topic->concept_id, true))
      if (item.document->url_id == document->url_id) {
        link = item.link;
        linked = true;
      }
    if (!linked) {
      report_error(concat("The document is not one of the topic '", topic->name.view(), "'."));
      return 1;
    }
  }
  const Page_changes changes = latest_page_changes(document->url_id);
  c.out << document_detail(*document, link, Detail_options::from_settings(), &changes);
  return 0;
}

}  // namespace orvalis::cli
