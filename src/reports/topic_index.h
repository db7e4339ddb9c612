// The topic index: a small static web site written into the pages folder. index.htm is a
// frameset of two frames: "Index" shows topics.htm, the list of topics with their live
// document counts, and "Detail" shows blank.htm, a welcome page, until the user picks a topic;
// each topic then has its page "t" + concept_id + ".htm" listing its documents with their
// relevance, image and link counts, extracts and the user's notes. Every page carries the
// publishing line (the date and the user's name) and the pictures of the pages folder's
// images/ folder, which the installer lays out.
//
// Pages are built with the shared Html_writer and replace their file whole. Every name
// written is fixed or made of a number, so nothing is written outside the pages folder; all
// outside text is escaped (html_text.h).
//
// Choices of this program: a topic page lists documents by relevance (highest first), then by
// title; a document's link text is its title, or its address when it has none; its three
// numbers are the link's relevance and the document's image and link counts, "?" for a count
// not known yet (the document was not retrieved). A document is marked new when it was
// linked to the topic or retrieved within the last day; a topic when it was modified within
// the last day. Publishing the index first removes the old topic pages ("t" + number) and
// framed document pages ("d" + number) of the folder, so pages of deleted topics do not stay,
// and writes the page of every topic it lists. A page built while an error is reported lists
// the errors instead of its body (html_writer.h).
//
// Thread: the user-interface thread (the writer and the stores are not guarded).
// REQUIRES: the pages folder exists; the database of the options is open.
#pragma once

#include <cstdint>

#include "database/database.h"
#include "database/document.h"
#include "database/topic.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

struct Publish_options {
  Database* database = &Database::shared();
  Ref_string pages_folder;  // where the pages go
  Ref_string user_name;     // the name of the publishing line
  std::int64_t now = 0;     // the moment of publishing: the date shown, the new markers

  // The pages folder of the installation folder, the user's name ("UserName") and the clock.
  static Publish_options from_settings();
};

// Fixed names in the pages folder.
inline constexpr const char* index_page_name = "index.htm";
inline constexpr const char* topics_page_name = "topics.htm";
inline constexpr const char* blank_page_name = "blank.htm";

// "t" + concept_id + ".htm".
Ref_string topic_page_name(std::int32_t concept_id);

// Removes the old topic and document pages, writes the page of every topic of `topics`, then
// blank.htm, topics.htm and index.htm listing `topics` in the order given (null handles are
// left out): every topic link of the index opens a page just written. Returns the path of
// index.htm, or the empty string when a page could not be written (reported);
// `pages_written` receives how many pages were.
Ref_string publish_index(const Ref_list<Topic_handle>& topics, const Publish_options& options,
                         int* pages_written = nullptr);

// Writes the page of one topic with its live documents. Returns its path, or the empty string
// when it could not be written (reported). The scheduler calls it after a scheduled run of the
// topic, the front-ends when the user publishes or views a topic.
Ref_string publish_topic_page(const Topic& topic, const Publish_options& options);

// The pages of publish_index one by one; each returns whether its page was written.
bool write_blank_page(const Publish_options& options);
bool write_topics_page(const Ref_list<Topic_handle>& topics, const Publish_options& options);
bool write_index_page(const Ref_list<Topic_handle>& topics, const Publish_options& options);

// A topic modified no more than one day before `now`.
bool topic_is_new(const Topic& topic, std::int64_t now);
// A document linked to its topic, or retrieved, no more than one day before `now`.
bool document_is_new(const Topic_document& item, std::int64_t now);

}  // namespace orvalis
