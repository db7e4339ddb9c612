// Get_links_task follows the links of one document for a topic: it fetches the document,
// reads its links as a result page's are read (without an ignore list), adds the documents
// the database lacks, links every one to the topic as added by "Get links", and then, for
// every link, new or not, submits a Summarize_task (depth 1 or less) or another
// Get_links_task one level shallower (depth 2 or more). So depth 1 summarizes the linked
// documents, and depth 2 summarizes the documents linked from those, not the ones between.
//
// A follow run (the first task and every task it makes) visits each document once: pages that
// link to each other would otherwise cost a number of fetches exponential in the depth. A link
// is passed over when the run has already fetched or queued its document with as many levels
// left (a summary counts as none left); a document reached again with more levels left is
// followed again, since it reaches further.
//
// Made by the Follow Links command (depth 1 unless asked) and by itself; due at once. The depth
// is 1 to 10: a task made with another depth reports the rule and fetches nothing. A failed
// fetch or a reply other than 200 stores nothing; every outcome finishes the task. The site's
// robots rules are honoured (unless RespectRobots is "No"): a document they refuse is not
// fetched and keeps the status text "Not allowed by the site's robots rules", and the
// documents it links to are summarized under the same rules.
// User-interface thread only. REQUIRES: made with make_counted.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "database/document.h"
#include "agent/robots_gate.h"
#include "database/topic.h"
#include "net/network_task.h"

namespace orvalis {

// The documents one follow run has fetched or queued, by url_id, with the most levels left
// each had. Shared by the tasks of the run.
class Follow_run : public Counted_object {
 public:
  // True (and noted) when `url_id` has not been reached yet with `levels_left` or more.
  bool claim(std::int32_t url_id, std::int32_t levels_left);

 private:
  std::unordered_map<std::int32_t, std::int32_t> reached_;
};

class Get_links_task : public Network_task {
 public:
  static constexpr std::int32_t min_depth = 1;
  static constexpr std::int32_t max_depth = 10;
  static bool depth_allowed(long long depth) { return depth >= min_depth && depth <= max_depth; }
  // "The depth of a follow is a whole number from 1 to 10".
  static std::string depth_rule();

  // "Get links on '<title>'" (the address when the document has no title). Starts a run.
  Get_links_task(const Document_handle& document, const Topic_handle& topic, std::int32_t depth);
  // A task of the run `run`, made for a link found by another of its tasks.
  Get_links_task(const Document_handle& document, const Topic_handle& topic, std::int32_t depth,
                 Counted_handle<Follow_run> run);

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
  Counted_handle<Follow_run> run_;
  bool fetchable_ = true;
  Robots_gate robots_{true};
};

}  // namespace orvalis
