#include "database/document_store.h"

#include <cstring>

#include "database/page_search_index.h"
#include "database/record_set.h"
#include "foundation/control_text.h"
#include "foundation/entities.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

// Where each url_master field is in a result, looked up once per query.
struct Document_columns {
  int url_id, address, title, size, time_last_retrieved, timeout_count, num_anchors, num_images,
      abstract, summary, annotation;

  Document_columns(const Db_statement& s, int id_column)
      : url_id(id_column),
        address(s.column("address")),
        title(s.column("title")),
        size(s.column("size")),
        time_last_retrieved(s.column("time_last_retrieved")),
        timeout_count(s.column("timeout_count")),
        num_anchors(s.column("num_anchors")),
        num_images(s.column("num_images")),
        abstract(s.column("abstract")),
        summary(s.column("summary")),
        annotation(s.column("annotation")) {}
};

Document_handle document_from(const Db_statement& s, const Document_columns& c) {
  // Split straight from SQLite's buffer: no whole-text copy per row.
  return make_counted<Document>(
      s.number(c.url_id), s.text(c.address), s.text(c.title), s.number(c.size),
      s.date(c.time_last_retrieved), static_cast<std::uint8_t>(s.number(c.timeout_count)),
      s.number(c.num_anchors), s.number(c.num_images), split_sentences(s.text_view(c.abstract)),
      split_sentences(s.text_view(c.summary)), s.text(c.annotation));
}

void fill(Document& d, const Db_statement& s, const Document_columns& c) {
  d = *document_from(s, c);
}

void fill(Document& d, const Record_set& rs) {
  d.url_id = rs.number("url_id");
  d.address = rs.text("address");
  d.title = rs.text("title");
  d.size = rs.number("size");
  d.time_last_retrieved = rs.date("time_last_retrieved");
  d.timeout_count = static_cast<std::uint8_t>(rs.number("timeout_count"));
  d.num_anchors = rs.number("num_anchors");
  d.num_images = rs.number("num_images");
  d.abstract = split_sentences(rs.text("abstract").view());
  d.summary = split_sentences(rs.text("summary").view());
  d.annotation = rs.text("annotation");
}

// The link row of (concept_id, url_id). The "+" keeps SQLite on the url_id index: a topic may
// have tens of thousands of links, a document only a few.
constexpr const char* link_condition = "+concept_id = ?1 AND url_id = ?2";

}  // namespace

Ref_string join_sentences(const Ref_list<Ref_string>& sentences) {
  return join(sentences, Ref_string("\n"));
}

Ref_list<Ref_string> split_sentences(std::string_view stored) {
  Ref_list<Ref_string> sentences;
  if (stored.empty()) return sentences;
  for (;;) {
    std::size_t end = stored.find('\n');
    sentences.append(Ref_string(stored.substr(0, end)));
    if (end == std::string_view::npos) return sentences;
    stored.remove_prefix(end + 1);
  }
}

std::string decoded_sentences(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  for (bool first = true;; first = false) {
    std::size_t end = stored.find('\n');
    std::string sentence(stored.substr(0, end));
    // A text with a zero byte is kept as it is: decoding stops at the first one.
    if (sentence.find('&') != std::string::npos && sentence.find('\0') == std::string::npos) {
      decode_entities(sentence.data());
      sentence.resize(std::strlen(sentence.c_str()));
      for (char& c : sentence)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    if (!first) out += '\n';
    out += sentence;
    if (end == std::string_view::npos) return out;
    stored.remove_prefix(end + 1);
  }
}

bool Document_store::load_document(Document& document, std::int32_t url_id) {
  try {
    Db_statement s(db_, "SELECT * FROM url_master WHERE url_id = ?1");
    s.bind(1, url_id);
    if (!s.step()) return false;
    fill(document, s, Document_columns(s, s.column("url_id")));
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

Document_handle Document_store::add_document(const Ref_string& address, const Ref_string& title,
                                             std::int32_t num_anchors, std::int32_t num_images,
                                             bool* created) {
  if (created) *created = false;
  try {
    Ref_string stored = normalized_address(address);
    Db_transaction transaction(db_);
    Record_set rs(db_, "url_master", "address = ?1", {stored}, "url_id");
    bool adding = rs.eof();
    if (adding) {
      rs.add_new();
      rs.set_field("address", stored);
      rs.set_field("title", without_controls(title));
      rs.set_field("num_anchors", num_anchors);
      rs.set_field("num_images", num_images);
      rs.update();
      rs.move_last_modified();
    }
    Document_handle d = make_counted<Document>();
    fill(*d, rs);
    if (adding) Page_search_index(db_).update_document(d->url_id);
    transaction.commit();
    if (created) *created = adding;
    return d;
  } catch (const Db_error& e) {
    report_db_error(e);
    return nullptr;
  }
}

Document_handle Document_store::find_by_address(const Ref_string& address) {
  try {
    Db_statement s(db_, "SELECT * FROM url_master WHERE address = ?1 ORDER BY url_id LIMIT 1");
    s.bind(1, normalized_address(address));
    if (!s.step()) return nullptr;
    return document_from(s, Document_columns(s, s.column("url_id")));
  } catch (const Db_error& e) {
    report_db_error(e);
    return nullptr;
  }
}

bool Document_store::save_document(const Document& document) {
  try {
    Db_transaction transaction(db_);
    Record_set rs(db_, "url_master", "url_id = ?1", {document.url_id});
    if (!rs.eof()) {
      rs.edit();
      rs.set_field("address", normalized_address(document.address));
      rs.set_field("title", without_controls(document.title));
      rs.set_field("size", document.size);
      rs.set_field("time_last_retrieved", document.time_last_retrieved);
      rs.set_field("timeout_count", document.timeout_count);
      rs.set_field("num_anchors", document.num_anchors);
      rs.set_field("num_images", document.num_images);
      rs.set_field("summary", without_controls(join_sentences(document.summary)));
      rs.set_field("abstract", without_controls(join_sentences(document.abstract)));
      rs.set_field("annotation", without_controls(document.annotation));
      rs.update();
      Page_search_index(db_).update_document(document.url_id);
    }
    transaction.commit();
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

Ref_list<Topic_document> Document_store::documents_of_topic(std::int32_t concept_id,
                                                            bool include_removed) {
  Ref_list<Topic_document> result;
  try {
    Db_statement s(db_,
                   include_removed
                       ? "SELECT concept_urls.url_id AS link_url_id, date_deleted, date_created,"
                         " search_resource, query, rating, num_votes, relevant, url_master.*"
                         " FROM concept_urls, url_master"
                         " WHERE concept_urls.concept_id = ?1"
                         " AND concept_urls.url_id = url_master.url_id"
                         " ORDER BY concept_urls.rowid"
                       : "SELECT concept_urls.url_id AS link_url_id, date_deleted, date_created,"
                         " search_resource, query, rating, num_votes, relevant, url_master.*"
                         " FROM concept_urls, url_master"
                         " WHERE concept_urls.concept_id = ?1"
                         " AND concept_urls.url_id = url_master.url_id"
                         " AND date_deleted IS NULL"
                         " ORDER BY concept_urls.rowid");
    s.bind(1, concept_id);
    if (s.step()) {
      Document_columns columns(s, s.column("link_url_id"));
      const int date_deleted = s.column("date_deleted"), date_created = s.column("date_created"),
                search_resource = s.column("search_resource"), query = s.column("query"),
                rating = s.column("rating"), num_votes = s.column("num_votes"),
                relevant = s.column("relevant");
      do {
        Document_handle d = document_from(s, columns);
        Document_link link{.concept_id = concept_id,
                           .url_id = d->url_id,
                           .query = s.text(query),
                           .search_resource = s.text(search_resource),
                           .relevant = s.number(relevant),
                           .date_created = s.date(date_created),
                           .date_deleted = s.date(date_deleted),
                           .rating = s.number(rating),
                           .num_votes = s.number(num_votes)};
        bool is_relevant = link.relevant != 0 && !link.is_removed();
        result.append(Topic_document{std::move(d), link, is_relevant});
      } while (s.step());
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    result.clear();
  }
  return result;
}

std::unordered_map<std::int32_t, std::int32_t> Document_store::live_document_counts() {
  std::unordered_map<std::int32_t, std::int32_t> counts;
  try {
    Db_statement s(db_,
                   "SELECT concept_urls.concept_id, COUNT(*) FROM concept_urls, url_master"
                   " WHERE concept_urls.url_id = url_master.url_id AND date_deleted IS NULL"
                   " GROUP BY concept_urls.concept_id");
    while (s.step()) counts[s.number(0)] = s.number(1);
  } catch (const Db_error& e) {
    report_db_error(e);
    counts.clear();
  }
  return counts;
}

bool Document_store::link_document(std::int32_t concept_id, std::int32_t url_id,
                                   Document_link& link, bool restore) {
  try {
    Db_transaction transaction(db_);
    Record_set rs(db_, "concept_urls", link_condition, {concept_id, url_id});
    bool linked = false;
    if (rs.eof()) {
      rs.add_new();
      rs.set_field("concept_id", concept_id);
      rs.set_field("url_id", url_id);
      rs.set_field("query", without_controls(link.query));
      rs.set_field("search_resource", without_controls(link.search_resource));
      rs.set_field("relevant", link.relevant);
      linked = true;
    } else if (!rs.date("date_deleted").is_null() && restore) {
      rs.edit();
      rs.set_field("date_deleted", Db_date::null_date());
      rs.set_field("relevant", link.relevant);
      linked = true;
    }
    if (linked) {
      rs.update();
      rs.move_last_modified();
    }
    link.concept_id = concept_id;
    link.url_id = url_id;
    link.date_created = rs.date("date_created");
    link.date_deleted = rs.date("date_deleted");
    transaction.commit();
    return linked;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

bool Document_store::set_relevance(std::int32_t concept_id, std::int32_t url_id,
                                   std::int32_t value) {
  try {
    Db_transaction transaction(db_);
    Record_set rs(db_, "concept_urls", link_condition, {concept_id, url_id});
    if (rs.eof()) return false;
    rs.edit();
    rs.set_field("relevant", value);
    rs.update();
    transaction.commit();
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

bool Document_store::remove_document_from_topic(std::int32_t concept_id, std::int32_t url_id) {
  try {
    Db_transaction transaction(db_);
    Record_set rs(db_, "concept_urls", link_condition, {concept_id, url_id});
    if (rs.eof() || !rs.date("date_deleted").is_null()) return false;
    rs.edit();
    rs.set_field("date_deleted", Db_date::at(platform::now()));
    rs.update();
    transaction.commit();
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return false;
  }
}

Ref_list<Document_handle> Document_store::find_documents(const Ref_string& text) {
  Ref_list<Document_handle> result;
  try {
    std::string pattern = contains_pattern(text);
    // One table and every row once: no DISTINCT needed.
    Db_statement s(db_,
                   "SELECT * FROM url_master WHERE address LIKE ?1 ESCAPE '\\'"
                   " OR title LIKE ?1 ESCAPE '\\' OR abstract LIKE ?1 ESCAPE '\\'"
                   " OR summary LIKE ?1 ESCAPE '\\' ORDER BY url_id");
    s.bind(1, std::string_view(pattern));
    if (s.step()) {
      Document_columns columns(s, s.column("url_id"));
      do {
        result.append(document_from(s, columns));
      } while (s.step());
    }
  } catch (const Db_error& e) {
    report_db_error(e);
    result.clear();
  }
  return result;
}

}  // namespace orvalis
