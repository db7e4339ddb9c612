#include "text/word_tagger.h"

#include <cstring>
#include <initializer_list>
#include <string>

#include "foundation/error_handler.h"

namespace orvalis {

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Words are short: a plain loop beats the library's search here.
bool contains(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (text[i] != part[0]) continue;
    std::size_t k = 1;
    while (k < part.size() && text[i + k] == part[k]) ++k;
    if (k == part.size()) return true;
  }
  return false;
}

// A set of class codes (0..63) as bits, so that membership is one test.
constexpr std::uint64_t codes(std::initializer_list<int> values) {
  std::uint64_t bits = 0;
  for (int v : values) bits |= std::uint64_t{1} << v;
  return bits;
}

constexpr bool is_one_of(int value, std::uint64_t set) {
  return value >= 0 && value < 64 && ((set >> value) & 1) != 0;
}

}  // namespace

Word_tagger::Word_tagger(const char* lexicon_folder) {
  if (!lexicon_.load_lexicon(lexicon_folder)) report_error("Could not open lexicon.");
}

Word_tagger::Word_tagger(const unsigned char* data, std::size_t size) {
  if (!lexicon_.load_lexicon_bytes(data, size)) report_error("Could not open lexicon.");
}

void Word_tagger::forget_words() {
  lexicon_.forget_words();
  if (memo_used_ == 0) return;
  memo_used_ = 0;
  if (++generation_ == 0) {
    for (std::size_t i = 0; i < memo_slots; ++i) memo_[i].generation = 0;
    generation_ = 1;
  }
}

int Word_tagger::word_class(std::string_view word, int previous_class) {
  if (word.empty() || word.size() > memo_word || previous_class < 0 || previous_class > 255) {
    Word_classes scratch;
    return choose_class(word, previous_class, scratch);
  }
  if (!memo_) memo_ = std::make_unique<Memo_entry[]>(memo_slots);
  std::uint32_t h = (2166136261u ^ static_cast<std::uint32_t>(previous_class)) * 16777619u;
  for (char ch : word) h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
  for (std::size_t i = h & (memo_slots - 1);; i = (i + 1) & (memo_slots - 1)) {
    Memo_entry& e = memo_[i];
    if (e.generation != generation_) {
      const int unknown_before = lexicon_.unknown_count();
      const int determiners_before = lexicon_.determiner_count();
      Word_classes scratch;
      const int c = choose_class(word, previous_class, scratch);
      if (memo_used_ < memo_slots / 2 && c >= 0 && c < 256) {
        e.generation = generation_;
        e.length = static_cast<std::uint8_t>(word.size());
        e.previous = static_cast<std::uint8_t>(previous_class);
        e.chosen = static_cast<std::uint8_t>(c);
        e.found = lexicon_.unknown_count() == unknown_before;
        e.determiner = lexicon_.determiner_count() != determiners_before;
        std::memcpy(e.word, word.data(), word.size());
        ++memo_used_;
      }
      return c;
    }
    if (e.length == word.size() && e.previous == previous_class &&
        std::memcmp(e.word, word.data(), word.size()) == 0) {
      // The counts move as if the word had been tagged again.
      if (!e.found) lexicon_.count_unknown();
      if (e.determiner) lexicon_.count_determiner();
      return e.chosen;
    }
  }
}

Counted_handle<Word_classes> Word_tagger::tag_word(std::string_view word, int previous_class) {
  auto result = make_counted<Word_classes>();
  result->chosen.set(choose_class(word, previous_class, *result));
  return result;
}

int Word_tagger::choose_class(std::string_view written, const int prev, Word_classes& result) {
  Word_facts facts;
  read_facts(written, facts);
  return resolve(facts, prev, &result);
}

void Word_tagger::read_facts(std::string_view word, Word_facts& facts) {
  if (word.empty() || word.size() > memo_word) {
    read_facts_now(word, facts);
    return;
  }
  if (!facts_memo_ || facts_used_ >= facts_slots / 2) {
    facts_memo_ = std::make_unique<Facts_entry[]>(facts_slots);
    facts_used_ = 0;
  }
  std::uint32_t h = 2166136261u;
  for (char ch : word) h = (h ^ static_cast<unsigned char>(ch)) * 16777619u;
  for (std::size_t i = h & (facts_slots - 1);; i = (i + 1) & (facts_slots - 1)) {
    Facts_entry& e = facts_memo_[i];
    if (e.length == 0) {
      read_facts_now(word, facts);
      e.length = static_cast<std::uint8_t>(word.size());
      std::memcpy(e.word, word.data(), word.size());
      e.facts = facts;
      ++facts_used_;
      return;
    }
    if (e.length == word.size() && std::memcmp(e.word, word.data(), word.size()) == 0) {
      facts = e.facts;
      return;
    }
  }
}

void Word_tagger::read_facts_now(std::string_view written, Word_facts& f) {
  // Typographic apostrophes read as "'".
  std::string plain;
  std::string_view word = written;
  bool typographic = false;
  for (char ch : written)
    if (static_cast<unsigned char>(ch) == 0xE2 || static_cast<unsigned char>(ch) == 0xCA) typographic = true;
  if (typographic) {
    for (std::size_t i = 0; i < written.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(written[i]);
      if (c == 0xE2 && i + 2 < written.size() && written[i + 1] == '\x80' &&
          (written[i + 2] == '\x98' || written[i + 2] == '\x99')) {
        plain += '\'';
        i += 2;
      } else if (c == 0xCA && i + 1 < written.size() && written[i + 1] == '\xBC') {
        plain += '\'';
        i += 1;
      } else {
        plain += written[i];
      }
    }
    word = plain;
  }

  // A number, an abbreviation, an address: its form says enough.
  for (char ch : word) {
    if (ch == '.' || is_digit(ch)) {
      f.form = Word_facts::dotted;
      f.two_bytes = word.size() == 2;
      return;
    }
  }

  if (!word.empty() && is_upper(word[0])) {
    f.capitalized = true;
    f.first_person = contains(word, "'m");
    bool rest_lower = true;
    for (std::size_t i = 1; i < word.size(); ++i)
      if (is_upper(word[i])) rest_lower = false;
    f.possessive = rest_lower && contains(word, "'");
  }

  char small[64];
  std::string large;
  char* lower = small;
  if (word.size() > sizeof small) {
    large.assign(word);
    lower = large.data();
  }
  for (std::size_t i = 0; i < word.size(); ++i)
    lower[i] = is_upper(word[i]) ? static_cast<char>(word[i] - 'A' + 'a') : word[i];
  const std::string_view w(lower, word.size());

  if (w == "whenever") {
    f.form = Word_facts::whenever;
  } else if (w.starts_with("wh") || w.starts_with("how")) {
    f.form = Word_facts::wh_word;
  } else if (w == "there") {
    f.form = Word_facts::there;
  } else if (w == "die") {
    f.form = Word_facts::die;
  } else if (contains(w, "ould")) {
    f.form = Word_facts::ould;
  } else if (w == "that") {
    f.form = Word_facts::that;
  } else if (w == "first") {
    f.form = Word_facts::first;
  } else {
    f.form = Word_facts::listed;
    f.is_do = w == "do";
    f.participle_form = w == "made" || contains(w, "ught");
    f.ing = contains(w, "ing");
    // Looked up afresh: a page reads each of its words once, so remembering them would only
    // cost. The guess may change the lower-case copy.
    f.found = lexicon_.lookup(w.data(), static_cast<int>(w.size()), f.codes) != 0;
    if (!f.found) {
      int length = static_cast<int>(w.size());
      lexicon_.guess_classes(lower, length, f.codes);
    }
  }
}

int Word_tagger::word_class(const Word_facts& facts, int previous_class) {
  return resolve(facts, previous_class, nullptr);
}

int Word_tagger::resolve(const Word_facts& f, const int prev, Word_classes* result) {
  if (f.form == Word_facts::dotted) return f.two_bytes && prev == 26 ? 26 : 37;

  int c = 24;
  bool name = false, verb = false, participle = false, preposition = false, adjective = false,
       noun = false;

  // Capitalised inside a text: a name, unless it is "I'm" or a possessive such as "Joe's".
  if (f.capitalized && prev != start_of_text) {
    if (f.first_person)
      c = 29;
    else if (f.possessive)
      c = 16;
    else
      name = true;
  }

  switch (f.form) {
    case Word_facts::whenever: c = 23; break;
    case Word_facts::wh_word: c = 39; break;
    case Word_facts::there: c = prev == 42 || prev == 8 ? 41 : 1; break;
    case Word_facts::die: c = 38; break;
    case Word_facts::ould: c = 2; break;
    case Word_facts::that: c = 36; break;
    case Word_facts::first: c = prev == 10 ? 0 : 1; break;
    default: {
      if (!f.found) lexicon_.count_unknown();
      const bool is_do = f.is_do;
      for (int i = 0; i < f.codes.count; ++i) {
        const int x = f.codes.codes[i];
        if (result) result->candidates.set(x);
        if (x == 2 || x == 3) {
          c = 2;
        } else if (x == 38 && !is_do) {
          if (c != 2) c = 38;
          verb = true;
          if (f.participle_form) participle = true;
        } else if (is_one_of(x, codes({14, 4, 17, 13}))) {
          c = x;
        } else if (is_do) {
          c = 13;
        } else if (x == 16) {
          c = 16;
        } else if (x == 29) {
          c = c == 16 ? 48 : 29;
        } else if (is_one_of(x, codes({10, 31, 33, 39, 40, 32}))) {
          c = 10;
        } else if (x == 8) {
          c = 8;
        } else if (x == 25) {
          c = 25;
        } else if (x == 30 && f.ing) {
          c = 30;
        } else if (x == 34) {
          c = 29;
        } else if (x == 9) {
          c = 9;
        } else if (x == 22) {
          if (!(c == 1 && prev != 10)) c = 0;
        } else if (x == 46) {
          participle = true;
        } else if (x == 23) {
          c = 23;
          preposition = true;
        } else if (x == 1) {
          c = 1;
        } else if (x == 0) {
          c = 0;
          adjective = true;
        } else if (x == 26 || (x == 20 && c != 30)) {
          c = 20;
          noun = true;
        }
      }
      break;
    }
  }

  if (c == 10) lexicon_.count_determiner();

  // Words that can be several things, settled by the word before.
  if (preposition && verb && !noun) {
    c = 23;
  } else if (preposition && noun && prev == 10) {
    c = 20;
  } else if (noun && verb) {
    c = is_one_of(prev, codes({23, 10, 22, 16, 30})) ? 20 : 38;
  } else if (preposition) {
    c = 23;
  } else if (adjective && verb && participle && (prev == 45 || prev == 4)) {
    c = 38;
  } else if (adjective && verb) {
    c = is_one_of(prev, codes({43, 23, 10, 22, 16, 0, 42, 1, 4, 38, 13, 45})) ? 0 : 38;
  }

  if (name) {
    if (c == 20 || c == 38 || (is_one_of(c, codes({0, 25, 1})) && prev != 14 && prev != start_of_text))
      c = 26;
  }

  if (c == 24) c = f.codes.count > 0 ? f.codes.codes[0] : 20;
  return c;
}

}  // namespace orvalis
