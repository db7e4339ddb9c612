#include "agent/topic_organizer.h"

#include "database/subtopic_store.h"
#include "platform/message_sink.h"

namespace orvalis {

namespace {

Topic_organizer::New_topic_hook& new_topic_hook() {
  static Topic_organizer::New_topic_hook hook;
  return hook;
}

// The organizer over the topic's summarized documents; false after a reported error.
bool read_documents(const Topic& topic, std::vector<Organizer_document>& documents) {
  bool ok = false;
  std::vector<Document_key_terms> rows = Subtopic_store().key_terms_of_topic(topic.concept_id, ok);
  documents.reserve(rows.size());
  for (Document_key_terms& row : rows)
    documents.push_back({row.url_id, std::move(row.key_terms)});
  return ok;
}

}  // namespace

std::vector<Organize_proposal> Topic_organizer::propose(const Topic& topic) {
  std::vector<Organizer_document> documents;
  if (!read_documents(topic, documents)) return {};
  std::vector<Organize_proposal> proposals = Organizer(documents).proposals(topic.name);
  if (proposals.empty())
    platform::message_sink().show(organize_failed_title, organize_failed_text);
  return proposals;
}

std::vector<Topic_handle> Topic_organizer::make_subtopics(Topic& topic,
                                                          const std::vector<Ref_string>& labels,
                                                          bool inherit) {
  std::vector<Organizer_document> documents;
  if (labels.empty() || !read_documents(topic, documents)) return {};
  std::vector<New_subtopic> subtopics;
  for (Subtopic_plan& plan :
       Organizer(documents).plan(labels, inherit, topic.name, topic.terms))
    subtopics.push_back({plan.name, plan.terms, std::move(plan.url_ids)});
  std::vector<Topic_handle> made = Subtopic_store().make_subtopics(topic, subtopics);
  if (new_topic_hook())
    for (const Topic_handle& t : made) new_topic_hook()(t);
  return made;
}

void Topic_organizer::set_new_topic_hook(New_topic_hook hook) { new_topic_hook() = std::move(hook); }

}  // namespace orvalis
