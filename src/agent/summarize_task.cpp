#include "agent/summarize_task.h"

#include <memory>

#include "agent/agent_events.h"
#include "database/document_store.h"
#include "foundation/job_queue.h"
#include "foundation/settings.h"
#include "net/http_connection.h"
#include "net/http_response.h"
#include "net/network.h"
#include "net/received_page.h"
#include "platform/clock.h"

namespace orvalis {

namespace {

// A copy in a block of its own: nothing the worker holds shares a count with this thread.
Ref_string own_copy(const Ref_string& s) { return Ref_string(s.view()); }

// The tagger of the worker thread, made on its first job.
Word_tagger& worker_tagger(const std::string& lexicon_folder) {
  thread_local std::unique_ptr<Word_tagger> tagger;
  thread_local std::string folder;
  if (!tagger || folder != lexicon_folder) {
    tagger = std::make_unique<Word_tagger>(lexicon_folder.c_str());
    folder = lexicon_folder;
  }
  return *tagger;
}

}  // namespace

Ref_string no_text_because(const Ref_string& why) {
  Ref_string text = why;
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
    text = Ref_string(std::string(1, static_cast<char>(text[0] - 'a' + 'A'))) + text.mid(1);
  return "[NO TEXT: " + text + "]";
}

Summarize_task::Summarize_task(const Topic_handle& topic, const Document_handle& document)
    : Network_task(kImmediate), topic_(topic), document_(document) {
  const Ref_string& title = document->title.empty() ? document->address : document->title;
  set_description(format_args(Ref_string::from_id(10076), title));
  fetchable_ = set_url(document->address);
}

int Summarize_task::start() {
  Network_task_handle self(this);
  if (!fetchable_ || robots_.disallowed()) {
    // No protocol fetches this address, or the site's rules refuse it: nothing is fetched.
    set_status(failed);
    process_result();
    return 1;
  }
  connection()->set_method(Http_connection::get);
  connection()->set_timeout(kFetch_timeout_seconds);
  activate_request(self);
  return 1;
}

int Summarize_task::is_ready() {
  if (Job_queue::instance().pending_count() > kMax_pending_jobs) return 0;
  if (fetchable_ && !robots_.ready(connection()->url())) return 0;
  if (fetchable_ && robots_.disallowed()) return 1;
  return Network_task::is_ready();
}

void Summarize_task::process_result() {
  retrieval_ = Retrieval{};
  retrieval_.completed = status() == succeeded;
  retrieval_.timed_out = status() == timed_out;
  content_type_ = Ref_string();
  body_problem_ = Ref_string();
  if (fetchable_ && robots_.disallowed()) {
    retrieval_.completed = true;
    retrieval_.status = 200;
    body_problem_ = kNot_allowed_text;
  } else if (retrieval_.completed && connection()) {
    Received_page page = received_page(*connection());
    retrieval_.status = page.status;
    retrieval_.status_text = own_copy(status_text(page.status));
    retrieval_.body = page.body;
    content_type_ = own_copy(page.content_type);
    body_problem_ = own_copy(page.problem);
  }
  address_ = own_copy(document_->address);
  stored_abstract_ = Ref_list<Ref_string>();
  // The extract as stored now: a failure text replaces it only when it holds at most one item.
  Document current;
  const Ref_list<Ref_string>& abstract =
      Database::shared().is_open() && Document_store().load_document(current, document_->url_id)
          ? current.abstract
          : document_->abstract;
  for (const Ref_string& s : abstract) stored_abstract_.append(own_copy(s));
  worker_kept_extract_ = Ref_list<Ref_string>();
  for (const Ref_string& s : kept_extract_) worker_kept_extract_.append(own_copy(s));
  lexicon_folder_ = Settings_cache::instance().get("lexicon_path").str();
  keep_ = keep_copies_setting();
  fetch_time_ = platform::now();
  copy_.reset();
  Job_queue::instance().enqueue(Job_handle(this));
}

void Summarize_task::run_job() {
  summarize_fetched();
  // A page that gave nothing leaves the extract the document came with.
  if (worker_kept_extract_.empty()) return;
  const bool page_read = result_.change == Summary_change::all;
  if (!page_read || result_.summary.extract.empty()) {
    if (!page_read) result_.change = Summary_change::abstract;
    result_.summary.address = address_;
    result_.summary.extract = worker_kept_extract_;
  }
  worker_kept_extract_ = Ref_list<Ref_string>();
}

void Summarize_task::summarize_fetched() {
  if (retrieval_.status == 200 && !body_problem_.empty() &&
      (!retrieval_.body || retrieval_.body->length() == 0)) {
    // A reply whose body could not be read (a coding that is not decoded, corrupt data) says
    // why instead of being read as garbage.
    // As a failed fetch's text, it replaces an extract of at most one item.
    result_ = Summary_result{};
    result_.summary.address = address_;
    if (stored_abstract_.count() <= 1) {
      result_.change = Summary_change::abstract;
      result_.summary.extract.append(no_text_because(body_problem_));
    }
    return;
  }
  // The page is read as UTF-8 whatever encoding it came in; a copy keeps it as it came.
  Byte_buffer_handle received = retrieval_.body;
  if (retrieval_.body && retrieval_.body->length() > 0) {
    const char* bytes = retrieval_.body->contents();
    retrieval_.body = utf8_page(bytes, retrieval_.body->length(), content_type_, &encoding_);
  }
  std::string readable;
  result_ = summarize_retrieval(retrieval_, address_, stored_abstract_, worker_tagger(lexicon_folder_),
                                keep_ == Keep_copies::no ? nullptr : &readable);
  if (keep_ != Keep_copies::no && result_.change == Summary_change::all && received) {
    const std::string_view html(received->contents(), static_cast<size_t>(received->length()));
    copy_ = Page_copy_store::prepare(readable, keep_ == Keep_copies::yes ? &html : nullptr, encoding_.name,
                                     retrieval_.status, fetch_time_);
  }
  retrieval_.body = Byte_buffer_handle();
}

void Summarize_task::complete_job() {
  // A task stopped while its page was analysed writes nothing.
  if (state() == done || !Database::shared().is_open()) return;
  if (result_.change == Summary_change::none) return;
  Document_store store;
  Document doc;
  if (!store.load_document(doc, document_->url_id)) return;
  const Page_summary& s = result_.summary;
  doc.abstract = s.extract;
  if (result_.change == Summary_change::all) {
    if (!s.title.empty()) doc.title = s.title;
    doc.summary = s.key_terms;
    doc.num_anchors = s.num_anchors;
    doc.num_images = s.num_images;
    doc.size = static_cast<std::int32_t>(s.size);
    if (s.retrieved) doc.time_last_retrieved = Db_date::at(platform::now());
  }
  if (!store.save_document(doc)) return;
  // The summary is written; a copy that cannot be kept (a full disk) costs only the copy.
  if (copy_) Page_copy_store().add_copy(doc.url_id, *copy_, page_copy_limit_setting());
  copy_.reset();
  document_->title = doc.title;
  document_->abstract = doc.abstract;
  document_->summary = doc.summary;
  if (agent_events().document_summarized)
    agent_events().document_summarized(doc, result_.change == Summary_change::all);
}

}  // namespace orvalis
