// Lexicon figures on a stream of running English text, lower-cased as the tagger sees it:
// look-ups per second in the shipped LEXICON.DAT (the hash table walk alone), classify (look-up
// plus the guessing rules for the words the lexicon lacks) and whole tagging in context.
#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "text/lexicon.h"
#include "text/word_tagger.h"

namespace {

const char* const sample_text =
    "Researchers at the university have published a study of how people search the web for "
    "information about their health. The study followed two hundred volunteers for six months "
    "and recorded every query they typed, the pages they opened and how long they stayed on "
    "each page. Most of the volunteers began with a short query of one or two words and then "
    "refined it several times before they found what they wanted. Pages with clear titles and "
    "short summaries were opened far more often than pages whose titles repeated the query. "
    "The authors argue that search engines should show a few sentences from each document, "
    "chosen because they contain the key terms of the query, rather than the first lines of "
    "the page. They also found that people trusted pages from government agencies and "
    "hospitals more than commercial sites, even when the commercial pages were more recent. "
    "In a second experiment the researchers built a small agent that collected documents on a "
    "topic every night, extracted the most telling sentences and listed the new documents in "
    "the morning. Volunteers who used the agent spent less time searching and said that they "
    "felt better informed, although several of them complained that the summaries sometimes "
    "missed the point of a long article. The team plans to release the software and the "
    "anonymised data next year so that other groups can repeat the experiments.";

std::vector<std::string> words_of_sample(bool lower) {
  std::vector<std::string> words;
  std::string word;
  for (const char* p = sample_text;; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (std::isalnum(c) || c == '\'') {
      word += lower ? static_cast<char>(std::tolower(c)) : static_cast<char>(c);
    } else {
      if (!word.empty()) words.push_back(word);
      word.clear();
      if (!c) break;
    }
  }
  return words;
}

orvalis::Lexicon& shipped_lexicon() {
  static orvalis::Lexicon lexicon;
  static bool loaded = lexicon.load_lexicon(ORVALIS_DATA_DIR) != 0;
  if (!loaded) {
    std::fprintf(stderr, "cannot load %s/LEXICON.DAT\n", ORVALIS_DATA_DIR);
    std::exit(1);
  }
  return lexicon;
}

void BM_LexiconLookup(benchmark::State& state) {
  const orvalis::Lexicon& lexicon = shipped_lexicon();
  const std::vector<std::string> words = words_of_sample(true);
  orvalis::Class_list out;
  std::size_t found = 0;
  for (auto _ : state) {
    for (const std::string& w : words) {
      found += lexicon.lookup(w.data(), static_cast<int>(w.size()), out);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * words.size()));
  state.counters["found_share"] =
      static_cast<double>(found) / static_cast<double>(state.iterations() * words.size());
}
BENCHMARK(BM_LexiconLookup);

void BM_LexiconClassify(benchmark::State& state) {
  orvalis::Lexicon& lexicon = shipped_lexicon();
  const std::vector<std::string> words = words_of_sample(true);
  orvalis::Class_list out;
  for (auto _ : state) {
    for (const std::string& w : words) {
      lexicon.classify(w.data(), static_cast<int>(w.size()), out);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * words.size()));
}
BENCHMARK(BM_LexiconClassify);

void BM_TagWordsInContext(benchmark::State& state) {
  orvalis::Word_tagger tagger(ORVALIS_DATA_DIR);
  const std::vector<std::string> words = words_of_sample(false);
  for (auto _ : state) {
    int previous = orvalis::Word_tagger::start_of_text;
    for (const std::string& w : words)
      previous = tagger.tag_word(std::string_view(w), previous)->word_class();
    benchmark::DoNotOptimize(previous);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * words.size()));
}
BENCHMARK(BM_TagWordsInContext);

}  // namespace

BENCHMARK_MAIN();
