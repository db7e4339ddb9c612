// Summarize_task fetches one document of a topic and writes what the summarizer makes of it
// into the document's record: title, link and image counts, size, key terms and extract.
//
// Made for every new document a search or a follow finds, for each document of a topic when
// the topic is summarized, and by the Summarize Document command; always due at once. It is
// ready only while the background worker has at most 3 jobs waiting (and the host spacing
// and the network's limits allow). The fetch is a GET with a fixed 60-second time-out. Its
// end, whatever it was, hands the task to the background worker, which analyses the page
// (run_job); the agent tick then completes it on the user-interface thread (complete_job
// writes the record) and finishes it. A failed fetch puts a "[NO TEXT: ...]" text in the
// extract; an error status appends its text.
//
// A page that was analysed is also kept, by the setting KeepPageCopies: its readable text and
// (with "Yes") its HTML as received are hashed and compressed by the worker and stored by
// complete_job after the record (Page_copy_store: a copy only when the text changed).
//
// The worker sees only what process_result prepared for it (private copies of the page body,
// the address and the stored extract); its results are read back only after the hand-over.
// REQUIRES: made with make_counted; the worker runs at most one job at a time.
#pragma once

#include <string>

#include "database/document.h"
#include "database/page_copy_store.h"
#include "agent/robots_gate.h"
#include "database/topic.h"
#include "foundation/page_encoding.h"
#include "net/network_task.h"
#include "text/summarizer.h"

namespace orvalis {

class Summarize_task : public Network_task {
 public:
  // Jobs allowed to wait for the worker before summarize tasks hold back.
  static constexpr int kMax_pending_jobs = 3;
  static constexpr int kFetch_timeout_seconds = 60;

  // "Summarize '<title>'" (the address when the document has no title yet).
  Summarize_task(const Topic_handle& topic, const Document_handle& document);

  int start() override;
  // With robots rules honoured: the site's rules (and crawl delay) first.
  int is_ready() override;
  void process_result() override;
  void run_job() override;
  void complete_job() override;

  // The fetch was started by the agent (Follow Links, a schedule), not asked for by the user:
  // the site's robots rules are honoured unless RespectRobots is "No".
  void set_respect_robots(bool on) { robots_.set_on(on); }
  bool respects_robots() const { return robots_.on(); }
  // The extract a document brought with it (a feed entry's own summary): it stays the
  // document's extract when the page cannot be fetched or read, or gives no extract, instead
  // of the "[NO TEXT: ...]" or status text.
  void set_kept_extract(const Ref_list<Ref_string>& extract) { kept_extract_ = extract; }

  const Topic_handle& topic() const { return topic_; }
  const Document_handle& document() const { return document_; }
  // The worker's result (valid after run_job).
  const Summary_result& result() const { return result_; }

 private:
  // run_job's reading of what the fetch brought.
  void summarize_fetched();

  Topic_handle topic_;
  Document_handle document_;
  bool fetchable_ = true;
  Robots_gate robots_;
  // Prepared for the worker by process_result; its own copies.
  Retrieval retrieval_;
  Ref_string address_;
  Ref_list<Ref_string> stored_abstract_;
  Ref_list<Ref_string> kept_extract_;         // user-interface thread
  Ref_list<Ref_string> worker_kept_extract_;  // the worker's copy
  std::string lexicon_folder_;
  Summary_result result_;
  // The reply's Content-Type, and why its body cannot be read (empty when it can).
  Ref_string content_type_;
  Ref_string body_problem_;
  // The encoding the page came in (found by the worker).
  Page_encoding encoding_;
  // What is kept of the page (read by process_result), and the copy the worker made.
  Keep_copies keep_ = Keep_copies::no;
  std::int64_t fetch_time_ = 0;
  std::optional<Page_copy> copy_;
};

// "[NO TEXT: <why>]", the text that stands for a page that could not be read.
Ref_string no_text_because(const Ref_string& why);

}  // namespace orvalis
