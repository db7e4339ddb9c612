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
#include "text/block_classifier.h"
#include "text/page_readers.h"
#include "text/page_text.h"

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

// The one code the phrase collector works with, from the class the tagger chose.
int reduce(int c) {
  switch (c) {
    case dotted: case gerund: case noun_modifier: case noun: case proper_noun: case number:
    case quantifier: case possessive_pronoun: case possessive: case that_conjunction:
    case conjunction: case preposition: case adverb: case adjective: case interjection:
    case sentence_end: case inner_punct:
      return c;
    case verb: case modal: case modal_2: case be: case have: case do_form:
      return verb;
    case determiner: case predeterminer: case wh_determiner: case quantifying_determiner:
    case wh_word: case demonstrative:
      return determiner;
    case other_pronoun: case pronoun:
      return pronoun;
    case open_bracket: case close_bracket:
      return inner_punct;
    default:
      return noun;
  }
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

// The pairs by falling weight; equal weights in the table's order.
std::vector<Term_weight> sorted_by_weight(const Term_table& table) {
  std::vector<Term_weight> pairs = table.pairs();
  std::vector<std::uint32_t> order(pairs.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&pairs](std::uint32_t a, std::uint32_t b) {
    return pairs[a].weight > pairs[b].weight;
  });
  std::vector<Term_weight> sorted;
  sorted.reserve(pairs.size());
  for (std::uint32_t i : order) sorted.push_back(std::move(pairs[i]));
  return sorted;
}

// What the summary learns about each distinct word of a page, learnt once: its facts for the
// tagger, its lower-case form, whether it is a sign rather than a word, and the facts of the
// singular forms the phrase collector asks about. The tagger's choices are remembered by word
// and previous class; the lexicon's counts still move for every word tagged, as if each
// occurrence had been looked up afresh.
class Page_words {
 public:
  Page_words(const Page_text& text, Word_tagger& tagger)
      : text_(text), tagger_(tagger), words_(text.words.size()) {
    // A row for each word tagged, and for the singular forms of some: room for all of them
    // up front, so that the rows are not moved as they grow.
    rows_.reserve(text.words.size() * row_size * 2);
  }

  Word_tagger& tagger() { return tagger_; }

  int word_class(std::uint32_t id, int previous) {
    Word& w = word(id);
    return tag(w.facts, w.row, previous);
  }
  // The word lower-cased, and without a quote or hyphen at its end (phrases are made of these).
  const std::string& phrase_form(std::uint32_t id) { return word(id).phrase_form; }
  // The phrase form is a function word.
  bool phrase_function(std::uint32_t id) { return word(id).phrase_function; }
  bool is_symbol(std::uint32_t id) { return word(id).symbol; }
  // The class of the phrase form without its last one (k = 1) or two (k = 2) bytes.
  int singular_class(std::uint32_t id, int k, int previous) {
    Word& w = word(id);
    if (!w.singular) {
      w.singular = static_cast<std::uint32_t>(singulars_.size() + 1);
      singulars_.emplace_back();
    }
    Singular& s = singulars_[w.singular - 1];
    const size_t i = static_cast<size_t>(k - 1);
    if (!s.read[i]) {
      tagger_.read_facts(std::string_view(w.phrase_form).substr(0, w.phrase_form.size() - static_cast<size_t>(k)),
                         s.facts[i]);
      s.read[i] = true;
    }
    return tag(s.facts[i], s.row[i], previous);
  }

 private:
  struct Word {
    bool read = false;
    bool symbol = false;
    bool phrase_function = false;
    std::uint32_t row = 0;       // its row of remembered classes + 1, or 0
    std::uint32_t singular = 0;  // its entry in singulars_ + 1, or 0
    Word_facts facts;
    std::string phrase_form;
  };
  struct Singular {
    bool read[2] = {false, false};
    std::uint32_t row[2] = {0, 0};
    Word_facts facts[2];
  };
  static constexpr int row_size = 64;  // previous classes 0..63
  static constexpr std::uint8_t known = 0x80, determiner = 0x40, class_bits = 0x3F;

  // The tagger's class for the facts after `previous`, remembered in the facts' row.
  int tag(const Word_facts& f, std::uint32_t& row, int previous) {
    if (previous < 0 || previous >= row_size) return tagger_.word_class(f, previous);
    if (row == 0) {
      rows_.resize(rows_.size() + row_size, 0);
      row = static_cast<std::uint32_t>(rows_.size() / row_size);
    }
    std::uint8_t& e = rows_[(row - 1) * row_size + static_cast<size_t>(previous)];
    if (e & known) {
      if (f.form == Word_facts::listed && !f.found) tagger_.lexicon().count_unknown();
      if (e & determiner) tagger_.lexicon().count_determiner();
      return e & class_bits;
    }
    const int before = tagger_.determiner_count();
    const int c = tagger_.word_class(f, previous);
    if (c >= 0 && c <= class_bits)
      e = static_cast<std::uint8_t>(known | (tagger_.determiner_count() != before ? determiner : 0) | c);
    return c;
  }

  // The word's entry, read on first use (the common case, a word read before, stays inline).
  Word& word(std::uint32_t id) {
    Word& w = words_[id];
    if (!w.read) read(w, id);
    return w;
  }

  void read(Word& w, std::uint32_t id) {
    {
      const std::string_view written = text_.text(text_.words[id]);
      tagger_.read_facts(written, w.facts);
      w.symbol = is_symbol_word(written);
      w.phrase_form = lower_copy(written);
      while (!w.phrase_form.empty() && (w.phrase_form.back() == '\'' || w.phrase_form.back() == '-'))
        w.phrase_form.pop_back();
      w.phrase_function = w.phrase_form.size() == written.size()
                              ? text_.words[id].function_word
                              : is_function_word(w.phrase_form);
      w.read = true;
    }
  }

  const Page_text& text_;
  Word_tagger& tagger_;
  std::vector<Word> words_;
  std::vector<Singular> singulars_;
  std::vector<std::uint8_t> rows_;
};

// ---- Key terms ----

// Gathers noun phrases ("the lexicon of word classes", "page title") word by word and counts
// each finished phrase that holds a noun.
class Phrase_collector {
 public:
  Phrase_collector(Page_words& words, Term_table& table) : page_words_(words), table_(table) {}

  void word(std::uint32_t id);
  void punct(char ch) {
    previous_ = (ch == '!' || ch == '?' || ch == '.') ? sentence_end : inner_punct;
    flush();
  }
  void flush() {
    if (noun_seen_ && phrase_.size() > 1) count();
    reset();
  }

 private:
  void append(std::uint32_t id) {
    if (!phrase_.empty()) phrase_ += ' ';
    ids_.push_back(id);
    starts_.push_back(static_cast<std::uint32_t>(phrase_.size()));
    phrase_ += page_words_.phrase_form(id);
    ++words_;
  }
  // Counts the phrase without the function words at its ends ("few smart pointers" counts as
  // "smart pointers"): a key term is about something.
  void count() {
    size_t first = 0, end = ids_.size();
    while (first < end && page_words_.phrase_function(ids_[first])) ++first;
    while (end > first && page_words_.phrase_function(ids_[end - 1])) --end;
    if (first == end) return;
    const size_t stop = end < ids_.size() ? starts_[end] - 1 : phrase_.size();
    table_.add(std::string_view(phrase_).substr(starts_[first], stop - starts_[first]));
  }
  void reset() {
    phrase_.clear();
    ids_.clear();
    starts_.clear();
    words_ = 0;
    noun_seen_ = modifier_seen_ = continuation_ = false;
  }
  // Whether the word without its last k bytes is of class `code`.
  bool singular_has_class(std::uint32_t id, int k, int code) {
    return page_words_.phrase_form(id).size() > static_cast<size_t>(k) &&
           page_words_.singular_class(id, k, previous_) == code;
  }

  Page_words& page_words_;
  Term_table& table_;
  std::string phrase_;
  std::vector<std::uint32_t> ids_;     // the phrase's words
  std::vector<std::uint32_t> starts_;  // where each begins in phrase_
  int words_ = 0;
  bool noun_seen_ = false;
  bool modifier_seen_ = false;
  bool continuation_ = false;
  int previous_ = start_of_text;
};

void Phrase_collector::word(std::uint32_t id) {
  int c = reduce(page_words_.word_class(id, previous_));
  // A term never begins or ends with punctuation: a quote or a hyphen at either end of a word
  // is no part of it.
  const std::string& lw = page_words_.phrase_form(id);
  if (lw.empty()) return;
  switch (c) {
    case noun:
    case proper_noun:
      append(id);
      noun_seen_ = true;
      break;
    case quantifier:
    case noun_modifier:
      append(id);
      break;
    case possessive:
      append(id);
      modifier_seen_ = true;
      break;
    case possessive_pronoun:
      modifier_seen_ = true;
      break;
    case number:
      if (noun_seen_) count();
      if (!continuation_) reset();
      append(id);
      break;
    case determiner:
      if (previous_ != preposition && noun_seen_) {
        count();
        reset();
      }
      break;
    case preposition:
      if (noun_seen_ && (lw == "of" || lw == "by")) {
        append(id);
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
        if (previous_ != verb) append(id);
      } else if (previous_ == preposition) {
        reset();
      } else {
        append(id);
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
    if (singular_has_class(id, 1, noun) || singular_has_class(id, 2, noun)) c = plural_noun;
  }
  if (c == possessive_pronoun) c = possessive;
  if (c != adjective && c != adverb) previous_ = c;
  if (words_ >= 10) reset();
}

// ---- Key terms ----

void collect_terms(const Page_text& text, Page_words& words, Phrase_collector& phrases) {
  for (const Text_block& b : text.blocks) {
    if (!b.kept) continue;
    phrases.flush();
    for (std::uint32_t i = b.first; i < b.end; ++i) {
      const Text_token& t = text.tokens[i];
      // Every tag ends a phrase (one before the blank too).
      if ((t.flags | t.blank_before) & Text_token::after_tag) phrases.flush();
      if (t.kind == Text_token::word) {
        if (words.is_symbol(t.word_index))
          phrases.punct(',');  // a sign between words ends a phrase like a comma
        else
          phrases.word(t.word_index);
      } else if (t.kind == Text_token::punct) {
        phrases.punct(t.ascii);
      }
    }
  }
  phrases.flush();
}

// ---- Sentence selection ----

class Sentence_selector {
 public:
  Sentence_selector(const Term_table& terms, int n, Page_words& words, std::size_t word_count)
      : terms_(terms), n_(n), words_(words), weights_(word_count, -1) {}

  // Feeds the sentences of the kept blocks (headings give none). A sentence is its tokens'
  // text, one blank between words, footnote marks left out: the page text's own characters
  // from its first token to its last, unless a footnote mark stands between them.
  void read(const Page_text& text) {
    text_ = &text;
    for (const Text_block& b : text.blocks) {
      if (!b.kept || b.heading) continue;
      for (std::uint32_t i = b.first; i < b.end; ++i) {
        const Text_token& t = text.tokens[i];
        if ((t.blank_before & Text_token::footnote) && first_ != none) footnote_inside_ = true;
        if (t.flags & Text_token::footnote) {
          if (first_ != none) footnote_inside_ = true;
          continue;
        }
        if (first_ == none) first_ = i;
        last_ = i;
        if (t.kind == Text_token::word) word(text.text(t), t.word_index);
        else if (t.flags & Text_token::sentence_end) flush();
      }
      flush();
    }
  }

  Ref_list<Ref_string> extract() const {
    Ref_list<Ref_string> out;
    for (const auto& k : kept_) out.append(k.first);
    return out;
  }

 private:
  void word(std::string_view w, std::uint32_t id) {
    const int c = words_.word_class(id, previous_);
    if (!verb_seen_ && (c == noun || c == proper_noun || c == pronoun || c == gerund || c == existential))
      subject_seen_ = true;
    if (subject_seen_ && (c == be || c == do_form || c == have || c == verb)) verb_seen_ = true;
    if (c != dotted && terms_.count() != 0) {
      int& weight = weights_[id];
      if (weight < 0) weight = weight_of(w);
      score_ += weight;
    }
    previous_ = c;
  }

  // The weight of the word lower-cased (short words are lowered on the stack).
  int weight_of(std::string_view w) const {
    char small[64];
    if (w.size() > sizeof small) return terms_.weight(lower_copy(w));
    for (size_t i = 0; i < w.size(); ++i) small[i] = html_chars::lower(w[i]);
    return terms_.weight(std::string_view(small, w.size()));
  }

  void flush() {
    if (first_ != none) {
      const Text_token& a = text_->tokens[first_];
      const Text_token& z = text_->tokens[last_];
      std::string_view sentence(text_->chars.data() + a.offset, z.offset + z.length - a.offset);
      if (footnote_inside_) {
        sentence_.clear();
        bool after_mark = false;
        for (std::uint32_t i = first_; i <= last_; ++i) {
          const Text_token& t = text_->tokens[i];
          if (i != first_ && t.blank_before && !(t.blank_before & Text_token::footnote) &&
              !sentence_.empty() && sentence_.back() != ' ')
            sentence_ += ' ';
          if (t.flags & Text_token::footnote) {
            after_mark = true;
            continue;
          }
          // What follows a mark without a blank ("degrees [3].") joins the text before it.
          if (after_mark && !t.blank_before && !sentence_.empty() && sentence_.back() == ' ')
            sentence_.pop_back();
          after_mark = false;
          sentence_.append(text_->text(t));
        }
        sentence = sentence_;
      }
      if (sentence.size() > static_cast<size_t>(Html_scanner::min_sentence)) on_sentence(sentence);
    }
    first_ = none;
    footnote_inside_ = false;
    score_ = 0;
    subject_seen_ = verb_seen_ = false;
  }

  void on_sentence(std::string_view sentence) {
    const int score = score_;
    const bool qualifies = subject_seen_ && verb_seen_;
    if (sentence.size() > static_cast<size_t>(max_extract_sentence) || !qualifies) return;
    if (static_cast<int>(kept_.size()) >= n_ && score <= minimum_) return;
    const int previous_minimum = minimum_;
    kept_.emplace_back(Ref_string(sentence), kept_.size() <= 3 ? score * 2 : score);
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

  const Term_table& terms_;
  const int n_;
  Page_words& words_;
  std::vector<int> weights_;  // by word: its weight in terms_, -1 until asked
  static constexpr std::uint32_t none = 0xFFFFFFFFu;
  std::vector<std::pair<Ref_string, int>> kept_;
  const Page_text* text_ = nullptr;
  std::uint32_t first_ = none;  // the sentence's first and last tokens that are not blanks
  std::uint32_t last_ = 0;
  bool footnote_inside_ = false;
  std::string sentence_;  // the sentence rebuilt without its footnote marks
  int minimum_ = 400;
  int score_ = 0;
  bool subject_seen_ = false;
  bool verb_seen_ = false;
  int previous_ = start_of_text;
};

// ---- Salient terms ----

Term_table salient_of(const Page_text& text) {
  enum class Mark { none, brk, sentence_start };
  Term_table table;
  std::string phrase;
  int words = 0;
  Mark mark = Mark::none;
  const auto count = [&] {
    if (!phrase.empty()) table.add(phrase);
    phrase.clear();
    words = 0;
  };
  for (const Text_block& b : text.blocks) {
    if (!b.kept) continue;
    mark = Mark::brk;
    for (std::uint32_t i = b.first; i < b.end; ++i) {
      const Text_token& t = text.tokens[i];
      if ((t.flags | t.blank_before) & Text_token::after_tag) mark = Mark::brk;
      if (t.kind == Text_token::punct) {
        mark = (t.ascii == '!' || t.ascii == '?' || t.ascii == '.') ? Mark::sentence_start
                                                                     : Mark::brk;
        continue;
      }
      if (t.kind != Text_token::word) continue;
      if (mark == Mark::brk) {
        count();
        mark = Mark::none;
      }
      std::string_view w = text.text(t);
      while (!w.empty() && (w.back() == '\'' || w.back() == '-')) w.remove_suffix(1);
      const int n = static_cast<int>(w.size());
      bool capitalized = n > 0 && html_chars::is_upper(static_cast<unsigned char>(w[0]));
      for (int k = 1; k < n && capitalized; ++k)
        capitalized = html_chars::is_lower_letter(static_cast<unsigned char>(w[k]));
      if (mark == Mark::sentence_start) {
        capitalized = false;
        mark = Mark::none;
      }
      const bool marked = t.flags & (Text_token::in_anchor | Text_token::in_emphasis);
      if (n > 3 && words < 6 && (capitalized || marked) && !is_symbol_word(w) &&
          !is_function_word(w)) {
        if (!phrase.empty()) phrase += ' ';
        for (int k = 0; k < n; ++k) phrase += html_chars::lower(w[k]);
        ++words;
      } else {
        count();
      }
    }
  }
  return table;
}

Page_text classified_text(const Byte_buffer_handle& page) {
  Page_text text = read_page_text(page);
  classify_blocks(text);
  return text;
}

Ref_list<Ref_string> terms_of(const Page_text& text, Page_words& words, int max_count,
                              Term_table& table, int& ratio) {
  Word_tagger& tagger = words.tagger();
  const int determiners_before = tagger.lexicon().determiner_count();
  const int unknown_before = tagger.lexicon().unknown_count();
  Phrase_collector phrases(words, table);
  collect_terms(text, words, phrases);
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

Ref_list<Ref_string> sentences_of(const Page_text& text, Page_words& words,
                                  const Term_table& terms, int n) {
  Sentence_selector selector(terms, n, words, text.words.size());
  selector.read(text);
  return selector.extract();
}

}  // namespace

Ref_list<Ref_string> extract_terms(const Byte_buffer_handle& page, int max_count,
                                   Word_tagger& tagger, Term_table& table, int& ratio) {
  const Page_text text = classified_text(page);
  Page_words words(text, tagger);
  return terms_of(text, words, max_count, table, ratio);
}

Ref_list<Ref_string> select_sentences(const Byte_buffer_handle& page, const Term_table& terms,
                                      int n, Word_tagger& tagger) {
  const Page_text text = classified_text(page);
  Page_words words(text, tagger);
  return sentences_of(text, words, terms, n);
}

Term_table salient_terms(const Byte_buffer_handle& page) {
  return salient_of(classified_text(page));
}

Page_summary summarize_page(const Byte_buffer_handle& page, const Ref_string& address,
                            Word_tagger& tagger) {
  return summarize_page(page, classified_text(page), address, tagger);
}

Page_summary summarize_page(const Byte_buffer_handle& page, const Page_text& text,
                            const Ref_string& address, Word_tagger& tagger) {
  Page_summary s;
  s.address = address;
  s.size = page ? page->length() : 0;
  s.retrieved = true;
  // Each page starts with no remembered words: its figures do not depend on the pages before.
  tagger.forget_words();
  Page_words words(text, tagger);
  Term_table table;
  int ratio = 0;
  s.key_terms = terms_of(text, words, max_key_terms, table, ratio);
  if (ratio > prose_ratio) {
    s.extract = sentences_of(text, words, table, extract_sentences);
  } else {
    const Term_table salient = salient_of(text);
    s.extract = sentences_of(text, words, salient, extract_sentences);
    Ref_list<Ref_string> terms;
    const std::vector<Term_weight> pairs = sorted_by_weight(salient);
    for (size_t i = 0; i < pairs.size() && static_cast<int>(i) < max_salient_terms; ++i)
      terms.append(pairs[i].term);
    s.key_terms = terms;
  }
  if (s.extract.empty()) s.extract.append(Ref_string(no_description_text));
  s.num_images = text.images;
  s.num_anchors = text.anchors;
  s.title = title_without_site_name(text.title, text.heading());
  return s;
}

Summary_result summarize_retrieval(const Retrieval& retrieval, const Ref_string& address,
                                   const Ref_list<Ref_string>& stored_abstract,
                                   Word_tagger& tagger, std::string* readable) {
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
    const Page_text text = classified_text(retrieval.body);
    if (readable) *readable = readable_text(text);
    result.summary = summarize_page(retrieval.body, text, address, tagger);
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
