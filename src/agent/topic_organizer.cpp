#include "agent/topic_organizer.h"

#include "database/subtopic_store.h"
#include "database/topic_store.h"
#include "foundation/error_handler.h"
#include "foundation/name_value_list.h"
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

// The first `limit` characters (UTF-8 code points) of `text`.
Ref_string first_characters(const Ref_string& text, std::size_t limit) {
  std::size_t count = 0;
  const std::string_view v = text.view();
  for (std::size_t i = 0; i < v.size(); ++i)
    if ((static_cast<unsigned char>(v[i]) & 0xC0) != 0x80 && ++count > limit) return Ref_string(v.substr(0, i));
  return text;
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
       Organizer(documents).plan(labels, inherit, topic.name, topic.terms)) {
    // Made names keep the rules of names the user types: at most 255 characters, and no two
    // topics named alike without regard to case.
    Ref_string name = first_characters(plan.name, max_topic_name_characters);
    Ref_list<Ref_string> terms;
    for (const Ref_string& term : plan.terms) terms.append(first_characters(term, max_topic_name_characters));
    bool taken = !Topic_store::shared().topics_named(name).empty();
    for (const New_subtopic& made : subtopics) taken = taken || equal_ignoring_case(made.name.view(), name.view());
    if (taken) {
      report_error(concat("A topic named '", name.view(), "' exists already: nothing was organized."));
      return {};
    }
    subtopics.push_back({name, terms, std::move(plan.url_ids)});
  }
  std::vector<Topic_handle> made = Subtopic_store().make_subtopics(topic, subtopics);
  if (new_topic_hook())
    for (const Topic_handle& t : made) new_topic_hook()(t);
  return made;
}

void Topic_organizer::set_new_topic_hook(New_topic_hook hook) { new_topic_hook() = std::move(hook); }

}  // namespace orvalis
