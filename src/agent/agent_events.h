// What the agent tells the front-ends while it works: a topic gained documents (the views
// redraw it), a search or a follow found a document for a topic, a document's summary was
// written, a search found nothing because every engine failed. A front-end installs the listeners it needs; unset ones are skipped. The window
// redraws its tree and lists; the command line collects what a search added to print it.
//
// One process-wide set, user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "database/document.h"
#include "database/topic.h"

namespace orvalis {

struct Agent_events {
  // A topic's time_last_modified moved because documents were added to it.
  std::function<void(const Topic& topic)> topic_changed;
  // A result page or a followed page gave `document` for the topic. `is_new`: the document was
  // added to the database; `linked`: a live link to the topic was made now.
  std::function<void(std::int32_t concept_id, const Document& document, bool is_new, bool linked)>
      document_found;
  // A summarize task wrote its result; `analysed`: a page was fetched and analysed (false for
  // a failed fetch or an error status, whose text went into the extract).
  std::function<void(const Document& document, bool analysed)> document_summarized;
  // A line for the user about the agent's work that is not a task ("Skipping 'Engine':
  // suspended until ..."): the window's status line, the command line's progress.
  std::function<void(const Ref_string& text)> notice;
  // Every engine a search of the topic asked failed: `why` names each engine with its reason
  // ("No search engine answered for 'bees': Lookabout (connection refused)").
  std::function<void(const Topic& topic, const Ref_string& why)> search_failed;
};

Agent_events& agent_events();

}  // namespace orvalis
