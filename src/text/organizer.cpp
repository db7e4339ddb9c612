#include "text/organizer.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

namespace orvalis {

namespace {

constexpr int separator = -1;

// Characters, not bytes: a UTF-8 continuation byte does not start one.
std::size_t character_count(std::string_view word) {
  std::size_t n = 0;
  for (char c : word)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// Calls each(word) for the pieces of `text` between blanks.
template <class Each>
void for_each_word(std::string_view text, Each each) {
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ') ++i;
    std::size_t start = i;
    while (i < text.size() && text[i] != ' ') ++i;
    if (i > start) each(text.substr(start, i - start));
  }
}

}  // namespace

Organizer::Organizer(const std::vector<Organizer_document>& documents) {
  doc_start_.reserve(documents.size() + 1);
  url_ids_.reserve(documents.size());
  for (const Organizer_document& d : documents) {
    doc_start_.push_back(tokens_.size());
    url_ids_.push_back(d.url_id);
    for (const Ref_string& term : d.key_terms) {
      for_each_word(term.view(), [&](std::string_view w) { tokens_.push_back(intern(w)); });
      tokens_.push_back(separator);
    }
  }
  doc_start_.push_back(tokens_.size());
}

int Organizer::intern(std::string_view word) {
  auto [it, added] = ids_.try_emplace(std::string(word), static_cast<int>(words_.size()));
  if (added) words_.push_back(&it->first);
  return it->second;
}

Organizer::Label Organizer::words_of(const Ref_string& label) const {
  Label ids;
  bool known = true;
  for_each_word(label.view(), [&](std::string_view w) {
    auto it = ids_.find(std::string(w));
    if (it == ids_.end())
      known = false;
    else
      ids.push_back(it->second);
  });
  if (!known) ids.clear();
  return ids;
}

Ref_string Organizer::text_of(const Label& label) const {
  std::string text;
  for (int id : label) {
    if (!text.empty()) text += ' ';
    text += *words_[static_cast<std::size_t>(id)];
  }
  return Ref_string(std::string_view(text));
}

template <class Found>
void Organizer::for_each_occurrence(const Label& label, Found found) const {
  if (label.empty()) return;
  const std::size_t n = label.size();
  const int first = label[0];
  const int* t = tokens_.data();
  const std::size_t size = tokens_.size();
  for (std::size_t i = 0; i + n <= size; ++i) {
    if (t[i] != first) continue;
    std::size_t k = 1;
    while (k < n && t[i + k] == label[k]) ++k;
    if (k == n) found(i);
  }
}

Organizer::Scored Organizer::refine(const Label& label, int count) const {
  // Extensions by the word before (key 2*id) or after (key 2*id+1) each occurrence, counted
  // once per occurrence.
  std::unordered_map<std::int64_t, int> extensions;
  const std::size_t n = label.size();
  for_each_occurrence(label, [&](std::size_t at) {
    if (at > 0 && tokens_[at - 1] != separator) ++extensions[2 * std::int64_t{tokens_[at - 1]}];
    if (at + n < tokens_.size() && tokens_[at + n] != separator)
      ++extensions[2 * std::int64_t{tokens_[at + n]} + 1];
  });
  auto extended = [&](std::int64_t key) {
    Label l;
    l.reserve(label.size() + 1);
    int word = static_cast<int>(key / 2);
    if (key % 2 == 0) l.push_back(word);
    for (int id : label) l.push_back(id);
    if (key % 2 == 1) l.push_back(word);
    return l;
  };
  // The most frequent extension; ties go to the extension whose text sorts first.
  std::int64_t best = -1;
  int best_count = 0;
  Ref_string best_text;
  for (const auto& [key, c] : extensions) {
    if (c < best_count) continue;
    Ref_string text = text_of(extended(key));
    if (c > best_count || text.view() < best_text.view()) {
      best = key;
      best_count = c;
      best_text = text;
    }
  }
  if (best < 0 || best_count < 2) return {label, count};
  Label longer = extended(best);
  Scored result = refine(longer, best_count);
  if (result.count < 3 && result.count < best_count) return {longer, best_count};
  return result;
}

std::vector<Organize_proposal> Organizer::proposals(const Ref_string& topic_name) const {
  // Every word of more than 3 characters, once per occurrence.
  std::vector<int> counts(words_.size(), 0);
  for (int id : tokens_)
    if (id != separator) ++counts[static_cast<std::size_t>(id)];
  std::vector<int> words;
  for (std::size_t id = 0; id < counts.size(); ++id)
    if (counts[id] > 0 && character_count(*words_[id]) > 3) words.push_back(static_cast<int>(id));
  auto before = [&](int a, int b) {
    if (counts[static_cast<std::size_t>(a)] != counts[static_cast<std::size_t>(b)])
      return counts[static_cast<std::size_t>(a)] > counts[static_cast<std::size_t>(b)];
    return *words_[static_cast<std::size_t>(a)] < *words_[static_cast<std::size_t>(b)];
  };
  std::size_t considered = std::min<std::size_t>(words.size(), max_candidates);
  std::partial_sort(words.begin(), words.begin() + static_cast<long>(considered), words.end(),
                    before);

  std::vector<Organize_proposal> result;
  std::unordered_set<std::string> seen;
  for (std::size_t i = 0; i < considered; ++i) {
    int count = counts[static_cast<std::size_t>(words[i])];
    if (count < min_candidate_count) break;
    Scored refined = refine(Label{words[i]}, count);
    if (refined.label.empty()) continue;
    if (*words_[static_cast<std::size_t>(refined.label.front())] == "of" ||
        *words_[static_cast<std::size_t>(refined.label.back())] == "of")
      continue;
    Ref_string label = text_of(refined.label);
    if (!seen.insert(label.str()).second) continue;
    result.push_back({label, refined.count});
  }
  Ref_string own = topic_name.lower();
  std::erase_if(result, [&](const Organize_proposal& p) { return p.label == own; });
  std::sort(result.begin(), result.end(), [](const Organize_proposal& a, const Organize_proposal& b) {
    return a.label.view() < b.label.view();
  });
  return result;
}

std::vector<std::int32_t> Organizer::documents_covered(const Ref_string& label) const {
  std::vector<std::int32_t> covered;
  Label words = words_of(label);
  std::size_t doc = 0;
  for_each_occurrence(words, [&](std::size_t at) {
    // Occurrences come in token order; move to the document that holds this one.
    while (doc_start_[doc + 1] <= at) ++doc;
    if (covered.empty() || covered.back() != url_ids_[doc]) covered.push_back(url_ids_[doc]);
  });
  return covered;
}

std::vector<Subtopic_plan> Organizer::plan(const std::vector<Ref_string>& labels, bool inherit,
                                           const Ref_string& parent_name,
                                           const Ref_list<Ref_string>& parent_terms) const {
  std::vector<Subtopic_plan> plans;
  std::unordered_set<std::string> seen;
  const Ref_string compound = Ref_string::from_id(10027);  // "%0 and %1"
  for (const Ref_string& label : labels) {
    if (!seen.insert(label.str()).second) continue;
    Subtopic_plan p;
    p.label = label;
    if (inherit) {
      p.name = format_args(compound, parent_name, label);
      for (const Ref_string& term : parent_terms)
        p.terms.append(Ref_string(term.str() + " " + label.str()));
    } else {
      p.name = label;
      p.terms.append(label);
    }
    p.url_ids = documents_covered(label);
    plans.push_back(std::move(p));
  }
  return plans;
}

}  // namespace orvalis
