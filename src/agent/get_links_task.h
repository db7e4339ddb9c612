// Get_links_task follows the links of one document for a topic: it fetches the document,
// reads its links as a result page's are read (without an ignore list), adds the documents
// the database lacks, links every one to the topic as added by "Get links", and then, for
// every link, new or not, submits a Summarize_task (depth 1 or less) or another
// Get_links_task one level shallower (depth 2 or more). So depth 1 summarizes the linked
// documents, and depth 2 summarizes the documents linked from those, not the ones between.
//
// Made by the Follow Links command (depth 1 unless asked) and by itself; due at once. A failed
// fetch or a reply other than 200 stores nothing; every outcome finishes the task. The site's
// robots rules are honoured (unless RespectRobots is "No"): a document they refuse is not
// fetched and keeps the status text "Not allowed by the site's robots rules", and the
// documents it links to are summarized under the same rules.
// User-interface thread only. REQUIRES: made with make_counted.
#pragma once

#include <cstdint>

#include "database/document.h"
#include "agent/robots_gate.h"
#include "database/topic.h"
#include "net/network_task.h"

namespace orvalis {

class Get_links_task : public Network_task {
 public:
  // "Get links on '<title>'" (the address when the document has no title).
  Get_links_task(const Document_handle& document, const Topic_handle& topic, std::int32_t depth);

  // The site's robots rules (and crawl delay) first, when RespectRobots is on.
  int is_ready() override;
  int start() override;
  void process_result() override;

  std::int32_t depth() const { return depth_; }
  const Document_handle& document() const { return document_; }

 private:
  std::int32_t depth_;
  Document_handle document_;
  Topic_handle topic_;
  bool fetchable_ = true;
  Robots_gate robots_{true};
};

}  // namespace orvalis
