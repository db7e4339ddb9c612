// Organizing a topic by content, as the two steps that both the window's "Topic Organization"
// dialog and the command line drive: propose, then make the subtopics the user picked.
//
// propose reads the key terms of the topic's live documents and returns the proposals in the
// dialog's order (labels in byte order). When there are none it shows "Unable to organize topic.
// Too few documents on topic." under "Unable to Organize" in the message sink and returns an
// empty list; nothing changes.
//
// make_subtopics reads the documents again (the user may have taken time to choose), makes one
// subtopic per picked label with the documents it covers, removes the taken documents from the
// topic, all in one transaction, and then hands each new topic to the new-topic hook. The
// application installs that hook so that the agent registers the topic's schedules and submits
// a search of it; until one is installed new topics are only stored.
//
// User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "database/topic.h"
#include "text/organizer.h"

namespace orvalis {

class Topic_organizer {
 public:
  using New_topic_hook = std::function<void(const Topic_handle&)>;

  // The proposals for `topic`; empty after the message above or a reported database error.
  static std::vector<Organize_proposal> propose(const Topic& topic);
  // Makes the subtopics of `labels` (see above). Returns the new topics in label order; empty
  // after a reported error, with nothing changed.
  static std::vector<Topic_handle> make_subtopics(Topic& topic, const std::vector<Ref_string>& labels,
                                                  bool inherit);

  // Installs the hook called for each topic that make_subtopics made (empty: none).
  static void set_new_topic_hook(New_topic_hook hook);
};

// The text shown when a topic has nothing to organize by.
inline constexpr const char* organize_failed_text =
    "Unable to organize topic. Too few documents on topic.";
inline constexpr const char* organize_failed_title = "Unable to Organize";

}  // namespace orvalis
