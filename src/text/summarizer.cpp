#include "text/summarizer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "text/html_chars.h"
#include "text/html_scanner.h"
#include "text/html_tag.h"
#include "text/page_readers.h"

namespace orvalis {

namespace {

// Class codes (see the word-class table of LEXICON.DAT).
enum : int {
  adjective = 0,
  adverb = 1,
  modal = 2,
  modal_2 = 3,
  be = 4,
  inner_punct = 7,
  conjunction = 8,
  number = 9,
  determiner = 10,
  do_form = 13,
  sentence_end = 14,
  possessive = 16,
  have = 17,
  noun = 20,
  interjection = 21,
  quantifier = 22,
  preposition = 23,
  open_bracket = 24,
  noun_modifier = 25,
  proper_noun = 26,
  pronoun = 29,
  gerund = 30,
  predeterminer = 31,
  wh_determiner = 32,
  quantifying_determiner = 33,
  other_pronoun = 34,
  close_bracket = 35,
  that_conjunction = 36,
  dotted = 37,
  verb = 38,
  wh_word = 39,
  demonstrative = 40,
  existential = 41,
  plural_noun = 43,
  start_of_text = 47,
  possessive_pronoun = 48,
};

// Bit tests without the range check of Bitvector::test: every code here is below 64.
inline bool has(const Bitvector& set, int code) { return (set.word(code >> 5) >> (code & 31)) & 1u; }

bool any_of(const Bitvector& set, std::initializer_list<int> codes) {
  for (int c : codes)
    if (has(set, c)) return true;
  return false;
}

// The highest code below 48 in the set, or -1.
int highest_below_48(const Bitvector& set) {
  std::uint32_t high = set.word(1) & 0xFFFFu;
  if (high) return 63 - __builtin_clz(high);
  std::uint32_t low = set.word(0);
  if (low) return 31 - __builtin_clz(low);
  return -1;
}

// The one code the phrase collector works with, from the classes the tagger chose.
int reduce(const Bitvector& s) {
  if (has(s, dotted)) return dotted;
  if (has(s, gerund)) return gerund;
  if (has(s, noun_modifier)) return noun_modifier;
  if (has(s, noun)) return noun;
  if (has(s, proper_noun)) return proper_noun;
  if (has(s, number)) return number;
  if (has(s, quantifier)) return quantifier;
  if (any_of(s, {verb, modal, modal_2, be, have, do_form})) return verb;
  if (has(s, possessive_pronoun)) return possessive_pronoun;
  if (has(s, possessive) && has(s, pronoun)) return possessive_pronoun;
  if (has(s, possessive)) return possessive;
  if (has(s, that_conjunction)) return that_conjunction;
  if (any_of(s, {determiner, predeterminer, wh_determiner, quantifying_determiner, wh_word,
                 demonstrative}))
    return determiner;
  if (has(s, other_pronoun) || has(s, pronoun)) return pronoun;
  if (has(s, conjunction)) return conjunction;
  if (has(s, preposition)) return preposition;
  if (has(s, adverb)) return adverb;
  if (has(s, adjective)) return adjective;
  if (has(s, interjection)) return interjection;
  if (has(s, sentence_end)) return sentence_end;
  if (has(s, inner_punct)) return inner_punct;
  if (has(s, open_bracket) || has(s, close_bracket)) return inner_punct;
  return noun;
}

// True when a scanned word holds nothing a term can be made of: only punctuation and symbols
// written in UTF-8 (a pilcrow beside a heading, a dash, arrows, currency signs), or a bare
// character reference such as "&mdash;". The scanner takes every byte from 0x80 up as a letter
// so that words like "café" stay whole; such words would otherwise become key terms.
bool is_symbol_word(std::string_view w) {
  if (w.size() > 2 && w.front() == '&' && w.back() == ';' &&
      w.find_first_of("&; ", 1) == w.size() - 1)
    return true;
  for (size_t i = 0; i < w.size();) {
    const unsigned char c = static_cast<unsigned char>(w[i]);
    if (c < 0x80) {
      if (std::isalnum(c)) return false;
      ++i;
      continue;
    }
    const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= w.size())
      return false;  // not well-formed: take it as text
    unsigned long cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (static_cast<unsigned char>(w[i + k]) & 0x3F);
    const bool symbol = (cp >= 0x80 && cp <= 0xBF && cp != 0xAA && cp != 0xB5 && cp != 0xBA) ||
                        cp == 0xD7 || cp == 0xF7 || (cp >= 0x2000 && cp <= 0x206F) ||
                        (cp >= 0x20A0 && cp <= 0x20CF) || (cp >= 0x2190 && cp <= 0x23FF) ||
                        (cp >= 0x2500 && cp <= 0x27BF) || cp == 0xFFFD;
    if (!symbol) return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

std::string lower_copy(std::string_view w) {
  std::string out(w);
  for (char& c : out) c = html_chars::lower(c);
  return out;
}

std::vector<Term_weight> sorted_by_weight(const Term_table& table) {
  std::vector<Term_weight> pairs = table.pairs();
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const Term_weight& a, const Term_weight& b) { return a.weight > b.weight; });
  return pairs;
}

// ---- Key terms ----

// Gathers noun phrases ("the lexicon of word classes", "page title") word by word and counts
// each finished phrase that holds a noun.
class Phrase_collector {
 public:
  Phrase_collector(Word_tagger& tagger, Term_table& table) : tagger_(tagger), table_(table) {}

  void word(std::string_view w);
  void punct(char ch) {
    previous_ = (ch == '!' || ch == '?' || ch == '.') ? sentence_end : inner_punct;
    flush();
  }
  void flush() {
    if (noun_seen_ && phrase_.size() > 1) count();
    reset();
  }

 private:
  void append(const std::string& w) {
    if (!phrase_.empty()) phrase_ += ' ';
    phrase_ += w;
    ++words_;
  }
  void count() { table_.add(phrase_); }
  void reset() {
    phrase_.clear();
    words_ = 0;
    noun_seen_ = modifier_seen_ = continuation_ = false;
  }
  bool has_class(std::string_view w, int code) {
    return !w.empty() && has(tagger_.tag_word(w, previous_)->chosen, code);
  }

  Word_tagger& tagger_;
  Term_table& table_;
  std::string phrase_;
  int words_ = 0;
  bool noun_seen_ = false;
  bool modifier_seen_ = false;
  bool continuation_ = false;
  int previous_ = start_of_text;
};

void Phrase_collector::word(std::string_view w) {
  int c = reduce(tagger_.tag_word(w, previous_)->chosen);
  const std::string lw = lower_copy(w);
  switch (c) {
    case noun:
    case proper_noun:
      append(lw);
      noun_seen_ = true;
      break;
    case quantifier:
    case noun_modifier:
      append(lw);
      break;
    case possessive:
      append(lw);
      modifier_seen_ = true;
      break;
    case possessive_pronoun:
      modifier_seen_ = true;
      break;
    case number:
      if (noun_seen_) count();
      if (!continuation_) reset();
      append(lw);
      break;
    case determiner:
      if (previous_ != preposition && noun_seen_) {
        count();
        reset();
      }
      break;
    case preposition:
      if (noun_seen_ && (lw == "of" || lw == "by")) {
        append(lw);
        noun_seen_ = false;
        continuation_ = true;
      } else if (noun_seen_) {
        count();
        reset();
      } else {
        reset();
      }
      break;
    case pronoun:
      reset();
      break;
    case gerund:
      if (noun_seen_) {
        reset();
      } else if (modifier_seen_ || previous_ == possessive_pronoun) {
        noun_seen_ = modifier_seen_;
        if (previous_ != verb) append(lw);
      } else if (previous_ == preposition) {
        reset();
      } else {
        append(lw);
      }
      break;
    case that_conjunction:
      if (noun_seen_ && !continuation_) {
        count();
        reset();
      }
      if (!noun_seen_ && !continuation_) reset();
      break;
    case adjective:
    case adverb:
      break;
    default:
      flush();
      break;
  }
  // A plural noun is told by a singular form that is a noun too.
  if (c == noun && lw.size() > 1 && lw.back() == 's') {
    std::string_view v(lw);
    if (has_class(v.substr(0, v.size() - 1), noun) || has_class(v.substr(0, v.size() - 2), noun))
      c = plural_noun;
  }
  if (c == possessive_pronoun) c = possessive;
  if (c != adjective && c != adverb) previous_ = c;
  if (words_ >= 10) reset();
}

class Term_reader : public Html_scanner {
 public:
  Term_reader(Byte_buffer_handle page, Word_tagger& tagger, Term_table& table)
      : Html_scanner(std::move(page), 0), phrases(tagger, table) {}

  int on_word(const char* token, int n, Ref_string&) override {
    if (in_pre()) return 0;  // code listings name no terms
    const std::string_view w(token, static_cast<size_t>(n));
    if (is_symbol_word(w))
      phrases.punct(',');  // a dash or a sign between words ends a phrase like a comma
    else
      phrases.word(w);
    return 0;
  }
  int on_tag(const char*, int, Ref_string&) override {
    phrases.flush();
    return 0;
  }
  int on_punct(char ch, Ref_string&) override {
    if (!in_pre()) phrases.punct(ch);
    return 0;
  }

  Phrase_collector phrases;
};

// ---- Sentence selection ----

class Sentence_selector : public Html_scanner {
 public:
  Sentence_selector(Byte_buffer_handle page, const Term_table& terms, int n, Word_tagger& tagger)
      : Html_scanner(std::move(page), 1), terms_(terms), n_(n), tagger_(tagger) {}

  int on_word(const char* token, int length, Ref_string&) override {
    if (in_pre()) return 0;  // a code listing is no sentence (the scanner collects none there)
    const std::string_view w(token, static_cast<size_t>(length));
    const Counted_handle<Word_classes> tagged = tagger_.tag_word(w, previous_);
    const Bitvector& classes = tagged->chosen;
    if (!verb_seen_ && any_of(classes, {noun, proper_noun, pronoun, gerund, existential}))
      subject_seen_ = true;
    if (subject_seen_ && any_of(classes, {be, do_form, have, verb})) verb_seen_ = true;
    if (!has(classes, dotted) && terms_.count() != 0) score_ += terms_.weight(lower_copy(w));
    ++words_;
    const int highest = highest_below_48(classes);
    previous_ = highest >= 0 ? highest : classes.first() >= 0 ? classes.first() : noun;
    return 0;
  }

  void on_sentence(Ref_string sentence) override {
    const int score = score_;
    const bool qualifies = subject_seen_ && verb_seen_;
    score_ = 0;
    words_ = 0;
    subject_seen_ = verb_seen_ = false;
    if (sentence.length() > max_extract_sentence || !qualifies) return;
    if (static_cast<int>(kept_.size()) >= n_ && score <= minimum_) return;
    const int previous_minimum = minimum_;
    kept_.emplace_back(std::move(sentence), kept_.size() <= 3 ? score * 2 : score);
    if (static_cast<int>(kept_.size()) > n_) {
      for (auto it = kept_.begin(); it != kept_.end(); ++it)
        if (it->second <= previous_minimum) {
          kept_.erase(it);
          break;
        }
    }
    minimum_ = 536870912;
    for (const auto& k : kept_) minimum_ = std::min(minimum_, k.second);
  }

  Ref_list<Ref_string> extract() const {
    Ref_list<Ref_string> out;
    for (const auto& k : kept_) out.append(k.first);
    return out;
  }

 private:
  const Term_table& terms_;
  const int n_;
  Word_tagger& tagger_;
  std::vector<std::pair<Ref_string, int>> kept_;
  int minimum_ = 400;
  int score_ = 0;
  int words_ = 0;
  bool subject_seen_ = false;
  bool verb_seen_ = false;
  int previous_ = start_of_text;
};

// ---- Salient terms ----

class Salient_reader : public Html_scanner {
 public:
  explicit Salient_reader(Byte_buffer_handle page) : Html_scanner(std::move(page), 0) {}

  int on_tag(const char* token, int n, Ref_string&) override {
    char name[Html_tag::max_name];
    const std::string_view v(name, static_cast<size_t>(Html_tag::name_of(token, n, name)));
    if (v == "a") in_anchor_ = true;
    else if (v == "/a") in_anchor_ = false;
    else if (Html_tag::name_is_emphasis_start(v)) in_emphasis_ = true;
    else if (Html_tag::name_is_emphasis_end(v)) in_emphasis_ = false;
    mark_ = Mark::brk;
    return 0;
  }

  int on_punct(char ch, Ref_string&) override {
    if (in_pre()) return 0;
    mark_ = (ch == '!' || ch == '?' || ch == '.') ? Mark::sentence_start : Mark::brk;
    return 0;
  }

  int on_word(const char* token, int n, Ref_string&) override {
    if (in_pre()) return 0;  // code listings name no terms
    if (mark_ == Mark::brk) {
      count();
      mark_ = Mark::none;
    }
    bool capitalized = html_chars::is_upper(static_cast<unsigned char>(token[0]));
    for (int i = 1; i < n && capitalized; ++i)
      capitalized = html_chars::is_lower_letter(static_cast<unsigned char>(token[i]));
    if (mark_ == Mark::sentence_start) {
      capitalized = false;
      mark_ = Mark::none;
    }
    if (n > 3 && words_ < 6 && (capitalized || in_anchor_ || in_emphasis_)) {
      if (!phrase_.empty()) phrase_ += ' ';
      for (int i = 0; i < n; ++i) phrase_ += html_chars::lower(token[i]);
      ++words_;
    } else {
      count();
    }
    return 0;
  }

  Term_table table;

 private:
  enum class Mark { none, brk, sentence_start };
  void count() {
    if (!phrase_.empty()) table.add(phrase_);
    phrase_.clear();
    words_ = 0;
  }

  std::string phrase_;
  int words_ = 0;
  bool in_anchor_ = false;
  bool in_emphasis_ = false;
  Mark mark_ = Mark::none;
};

}  // namespace

Ref_list<Ref_string> extract_terms(const Byte_buffer_handle& page, int max_count,
                                   Word_tagger& tagger, Term_table& table, int& ratio) {
  const int determiners_before = tagger.lexicon().determiner_count();
  const int unknown_before = tagger.lexicon().unknown_count();
  Term_reader reader(page, tagger, table);
  reader.run();
  reader.phrases.flush();
  const int determiners = tagger.lexicon().determiner_count() - determiners_before;
  const int unknown = tagger.lexicon().unknown_count() - unknown_before;
  ratio = unknown == 0 ? 0 : static_cast<int>(100.0 * determiners / unknown);

  const std::vector<Term_weight> pairs = sorted_by_weight(table);
  int threshold = 0;
  if (pairs.size() >= 2) {
    threshold = pairs[1].weight / 4;
    if (threshold == 0 && pairs[0].weight > 2) threshold = 2;
  }
  Ref_list<Ref_string> terms;
  for (size_t i = 0; i < pairs.size() && static_cast<int>(i) < max_count; ++i)
    if (pairs[i].weight >= threshold) terms.append(pairs[i].term);
  return terms;
}

Ref_list<Ref_string> select_sentences(const Byte_buffer_handle& page, const Term_table& terms,
                                      int n, Word_tagger& tagger) {
  Sentence_selector selector(page, terms, n, tagger);
  selector.run();
  return selector.extract();
}

Term_table salient_terms(const Byte_buffer_handle& page) {
  Salient_reader reader(page);
  reader.run();
  return std::move(reader.table);
}

Page_summary summarize_page(const Byte_buffer_handle& page, const Ref_string& address,
                            Word_tagger& tagger) {
  Page_summary s;
  s.address = address;
  s.size = page ? page->length() : 0;
  s.retrieved = true;
  Term_table table;
  int ratio = 0;
  s.key_terms = extract_terms(page, max_key_terms, tagger, table, ratio);
  if (ratio > prose_ratio) {
    s.extract = select_sentences(page, table, extract_sentences, tagger);
  } else {
    const Term_table salient = salient_terms(page);
    s.extract = select_sentences(page, salient, extract_sentences, tagger);
    Ref_list<Ref_string> terms;
    const std::vector<Term_weight> pairs = sorted_by_weight(salient);
    for (size_t i = 0; i < pairs.size() && static_cast<int>(i) < max_salient_terms; ++i)
      terms.append(pairs[i].term);
    s.key_terms = terms;
  }
  if (s.extract.empty()) s.extract.append(Ref_string(no_description_text));
  read_title_and_counts(page, s.title, s.num_images, s.num_anchors);
  return s;
}

Summary_result summarize_retrieval(const Retrieval& retrieval, const Ref_string& address,
                                   const Ref_list<Ref_string>& stored_abstract,
                                   Word_tagger& tagger) {
  Summary_result result;
  result.summary.address = address;
  if (!retrieval.completed) {
    if (stored_abstract.count() <= 1) {
      result.change = Summary_change::abstract;
      result.summary.extract.append(Ref_string::from_id(retrieval.timed_out ? 10216 : 10075));
    }
    return result;
  }
  if (retrieval.status == 200 && retrieval.body && retrieval.body->length() > 0) {
    result.change = Summary_change::all;
    result.summary = summarize_page(retrieval.body, address, tagger);
    return result;
  }
  if (retrieval.status >= 400) {
    result.change = Summary_change::abstract;
    for (const Ref_string& item : stored_abstract) result.summary.extract.append(item);
    result.summary.extract.append(retrieval.status_text);
  }
  return result;
}

}  // namespace orvalis
