// HTML scanning and summarizing figures on real pages: the HTML documentation that Debian
// packages install (cmake-doc first, then the rest of /usr/share/doc; ORVALIS_BENCH_HTML_DIR
// names another folder), up to 16 MB, at least 5 MB.
//  - scan: one scanner pass per page without collecting sentences (what the page readers do);
//  - scan_collecting: the same with sentence collection (what the sentence selection does);
//  - gumbo: libgumbo parsing the same pages into its tree, when it was found at build time;
//    the program prints the scanner's speed as a multiple of gumbo's at the end;
//  - summarize_30k: summarize_page on the real page nearest 30 KB (median of repetitions);
//  - read_blocks_30k: the part of it that reads the page into classified blocks;
//  - read_corpus: what the summary reads on the pages of bench/text_corpus/pages.txt (real
//    pages of Debian's documentation packages from several generators, and pages in the
//    layouts of today's encyclopedias, blogs, news sites and forums). For each page the
//    article's text is taken from the elements its generator uses for content; the program
//    prints, page by page and over the corpus, the share of extract sentences that come from
//    the article's text, the pages with furniture in their extract, and the share of key terms
//    that are function words or contractions or begin or end with punctuation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/byte_buffer.h"
#include "text/block_classifier.h"
#include "text/html_chars.h"
#include "text/html_scanner.h"
#include "text/page_readers.h"
#include "text/page_text.h"
#include "text/summarizer.h"
#include "text/word_tagger.h"

#ifdef ORVALIS_HAVE_GUMBO
#include <gumbo.h>
#endif

namespace {

namespace fs = std::filesystem;
using namespace orvalis;

constexpr std::size_t corpus_limit = 16u << 20;
constexpr std::size_t corpus_minimum = 5u << 20;

struct Corpus {
  std::vector<std::string> pages;
  std::vector<std::string> paths;
  std::vector<Byte_buffer_handle> buffers;
  std::size_t bytes = 0;
  std::string nearest_30k;
  std::string nearest_30k_path;
};

void add_folder(Corpus& c, const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  std::vector<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const fs::path& p = it->path();
    if (it->is_regular_file(ec) && (p.extension() == ".html" || p.extension() == ".htm"))
      files.push_back(p);
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& p : files) {
    if (c.bytes >= corpus_limit) return;
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    if (text.empty()) continue;
    c.bytes += text.size();
    c.pages.push_back(std::move(text));
    c.paths.push_back(p.string());
  }
}

const Corpus& corpus() {
  static const Corpus c = [] {
    Corpus c;
    if (const char* dir = std::getenv("ORVALIS_BENCH_HTML_DIR")) {
      add_folder(c, dir);
    } else {
      add_folder(c, "/usr/share/doc/cmake-data/html");
      if (c.bytes < corpus_limit) {
        Corpus rest;
        add_folder(rest, "/usr/share/doc");
        for (size_t i = 0; i < rest.pages.size() && c.bytes < corpus_limit; ++i) {
          if (rest.paths[i].find("/cmake-data/html/") != std::string::npos) continue;
          c.bytes += rest.pages[i].size();
          c.pages.push_back(std::move(rest.pages[i]));
          c.paths.push_back(rest.paths[i]);
        }
      }
    }
    std::size_t best = 0;
    for (size_t i = 0; i < c.pages.size(); ++i) {
      const std::string& p = c.pages[i];
      auto b = make_counted<Byte_buffer>();
      b->append(p.data(), static_cast<std::int64_t>(p.size()));
      b->contents();  // joined once, outside the timing
      c.buffers.push_back(b);
      auto distance = [](std::size_t n) { return n > 30000 ? n - 30000 : 30000 - n; };
      if (c.nearest_30k.empty() || distance(p.size()) < distance(best)) {
        best = p.size();
        c.nearest_30k = p;
        c.nearest_30k_path = c.paths[i];
      }
    }
    std::fprintf(stderr, "corpus: %zu pages, %.1f MB; summarized page: %s (%zu bytes)\n",
                 c.pages.size(), c.bytes / 1048576.0, c.nearest_30k_path.c_str(),
                 c.nearest_30k.size());
    return c;
  }();
  return c;
}

bool corpus_ready(benchmark::State& state) {
  if (corpus().bytes >= corpus_minimum) return true;
  state.SkipWithError("fewer than 5 MB of HTML pages found (install cmake-doc, or set "
                      "ORVALIS_BENCH_HTML_DIR)");
  return false;
}

void BM_scan(benchmark::State& state, int collect) {
  if (!corpus_ready(state)) return;
  for (auto _ : state) {
    for (const Byte_buffer_handle& page : corpus().buffers) {
      Html_scanner scanner(page, collect);
      scanner.run();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus().bytes));
}
BENCHMARK_CAPTURE(BM_scan, scan, 0)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_CAPTURE(BM_scan, scan_collecting, 1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

#ifdef ORVALIS_HAVE_GUMBO
void BM_gumbo(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  for (auto _ : state) {
    for (const std::string& page : corpus().pages) {
      GumboOutput* out = gumbo_parse_with_options(&kGumboDefaultOptions, page.data(), page.size());
      benchmark::DoNotOptimize(out->root);
      gumbo_destroy_output(&kGumboDefaultOptions, out);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus().bytes));
}
BENCHMARK(BM_gumbo)->Unit(benchmark::kMillisecond)->MinTime(2.0);
#endif

void BM_summarize_30k(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  Word_tagger tagger(ORVALIS_DATA_DIR);
  for (auto _ : state) {
    Page_summary s = summarize_page(page, "", tagger);
    benchmark::DoNotOptimize(s.extract.count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page->length()));
}
BENCHMARK(BM_summarize_30k)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

// The part of summarize_30k that reads the page: the scanner pass into blocks and the
// classifier's verdicts, before the three readings of the kept text.
void BM_read_blocks_30k(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  for (auto _ : state) {
    Page_text text = read_page_text(page);
    classify_blocks(text);
    benchmark::DoNotOptimize(text.tokens.size());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page->length()));
}
BENCHMARK(BM_read_blocks_30k)->Unit(benchmark::kMicrosecond)->Repetitions(10)->ReportAggregatesOnly(true);

// ---- What the summary reads, on the corpus of real pages ----

struct Corpus_page {
  std::string layout, path, content;
};

std::vector<Corpus_page> corpus_pages() {
  std::vector<Corpus_page> pages;
  std::ifstream in(std::string(ORVALIS_SOURCE_DIR) + "/bench/text_corpus/pages.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    // LAYOUT, then the path (it may hold blanks), then CONTENT, apart by two blanks or more.
    const size_t a = line.find("  "), b = line.rfind("  ");
    if (a == std::string::npos || a == b) continue;
    auto trim = [](std::string t) {
      while (!t.empty() && t.front() == ' ') t.erase(0, 1);
      while (!t.empty() && t.back() == ' ') t.pop_back();
      return t;
    };
    Corpus_page p{trim(line.substr(0, a)), trim(line.substr(a, b - a)), trim(line.substr(b))};
    if (!p.path.empty() && p.path[0] != '/') p.path = std::string(ORVALIS_SOURCE_DIR) + "/" + p.path;
    pages.push_back(std::move(p));
  }
  return pages;
}

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Does the tag match one selector: NAME, NAME.CLASS, NAME#ID or NAME[ATTRIBUTE=VALUE]?
bool matches(const Html_tag& tag, const std::string& selector) {
  size_t cut = selector.find_first_of(".#[");
  if (tag.name() != Ref_string(std::string_view(selector).substr(0, cut))) return false;
  if (cut == std::string::npos) return true;
  std::string attribute, value;
  if (selector[cut] == '.') attribute = "class", value = selector.substr(cut + 1);
  else if (selector[cut] == '#') attribute = "id", value = selector.substr(cut + 1);
  else {
    const size_t eq = selector.find('=', cut);
    attribute = selector.substr(cut + 1, eq - cut - 1);
    value = selector.substr(eq + 1, selector.size() - eq - 2);
  }
  const std::string have = tag.attribute(Ref_string(std::string_view(attribute))).str();
  if (attribute != "class") return have == value;
  std::istringstream words(have);
  for (std::string w; words >> w;)
    if (w == value) return true;
  return false;
}

// The text of the blocks of every element that the selectors name, as the summary reads text
// (footnote marks left out), one string a block.
std::vector<std::string> article_blocks(const std::string& html, const std::string& content) {
  std::vector<std::string> selectors;
  std::istringstream list(content);
  for (std::string sel; std::getline(list, sel, ',');) selectors.push_back(sel);
  auto page = make_counted<Byte_buffer>();
  page->append(html.data(), static_cast<std::int64_t>(html.size()));
  const Html_tag_list tags = collect_tags(page);
  std::string fragments;
  for (size_t i = 0; i < static_cast<size_t>(tags.count()); ++i) {
    const Html_tag& tag = *tags[static_cast<int>(i)];
    bool hit = false;
    for (const std::string& sel : selectors) hit = hit || matches(tag, sel);
    if (!hit) continue;
    const Ref_string name = tag.name();
    const Ref_string end = concat("/", name.view());
    int depth = 0;
    size_t j = i;
    for (; j < static_cast<size_t>(tags.count()); ++j) {
      const Ref_string n = tags[static_cast<int>(j)]->name();
      if (n == name) ++depth;
      else if (n == end && --depth == 0) break;
    }
    const size_t from = static_cast<size_t>(tag.offset);
    const size_t to = j < static_cast<size_t>(tags.count())
                          ? static_cast<size_t>(tags[static_cast<int>(j)]->offset)
                          : html.size();
    fragments += "<div>" + html.substr(from, to - from) + "</div>";
    i = j;
  }
  auto fragment = make_counted<Byte_buffer>();
  fragment->append(fragments.data(), static_cast<std::int64_t>(fragments.size()));
  const Page_text text = read_page_text(fragment);
  std::vector<std::string> blocks;
  for (const Text_block& b : text.blocks) {
    std::string out;
    for (std::uint32_t k = b.first; k < b.end; ++k) {
      const Text_token& t = text.tokens[k];
      if (t.blank_before && !(t.blank_before & Text_token::footnote) && !out.empty() &&
          out.back() != ' ')
        out += ' ';
      if (t.flags & Text_token::footnote) continue;
      out.append(text.text(t));
    }
    blocks.push_back(out);
  }
  return blocks;
}

// A key term that is no subject: a function word or a contraction at either end, or a
// punctuation character at either end.
bool is_bad_term(const std::string& term) {
  if (term.empty()) return true;
  const auto punct_at = [&term](size_t i) {
    const unsigned char c = static_cast<unsigned char>(term[i]);
    if (c < 0x80) return html_chars::is_punct(c) != 0;
    if (html_chars::is_special(c))
      return html_chars::unicode_class(term.data() + i, static_cast<std::int64_t>(term.size() - i)).kind !=
             html_chars::Char_kind::letter;
    return false;
  };
  size_t last = term.size() - 1;
  while (last > 0 && (static_cast<unsigned char>(term[last]) & 0xC0) == 0x80) --last;
  if (punct_at(0) || punct_at(last)) return true;
  std::istringstream words(term);
  std::vector<std::string> w;
  for (std::string x; words >> x;) w.push_back(x);
  if (w.empty() || is_function_word(w.front()) || is_function_word(w.back())) return true;
  for (const std::string& x : w) {
    const size_t q = x.find('\'');
    if (q != std::string::npos && x.substr(q) != "'s") return true;  // it'd, we'll, don't
  }
  return false;
}

struct Corpus_figures {
  int pages = 0, read = 0, sentences = 0, from_article = 0, pages_with_furniture = 0;
  int no_description = 0, terms = 0, bad_terms = 0;
};

Corpus_figures read_corpus(bool print) {
  Corpus_figures f;
  Word_tagger tagger(ORVALIS_DATA_DIR);
  std::map<std::string, std::pair<int, int>> by_layout;
  for (const Corpus_page& p : corpus_pages()) {
    ++f.pages;
    const std::string html = read_whole(p.path);
    if (html.empty()) {
      if (print) std::printf("  missing: %s\n", p.path.c_str());
      continue;
    }
    ++f.read;
    auto page = make_counted<Byte_buffer>();
    page->append(html.data(), static_cast<std::int64_t>(html.size()));
    const Page_summary s = summarize_page(page, Ref_string(), tagger);
    const std::vector<std::string> article = article_blocks(html, p.content);
    int in = 0, out = 0;
    std::string stray;
    for (const Ref_string& sentence : s.extract) {
      if (sentence == no_description_text) {
        ++f.no_description;
        continue;
      }
      bool found = false;
      for (const std::string& b : article)
        if (b.find(sentence.view()) != std::string::npos) {
          found = true;
          break;
        }
      (found ? in : out)++;
      if (!found && stray.empty()) stray = sentence.str();
    }
    int bad = 0;
    std::string bad_example;
    for (const Ref_string& t : s.key_terms)
      if (is_bad_term(t.str())) {
        ++bad;
        if (!bad_example.empty()) bad_example += "; ";
        bad_example += t.str();
      }
    f.sentences += in + out;
    f.from_article += in;
    if (out > 0) ++f.pages_with_furniture;
    f.terms += s.key_terms.count();
    f.bad_terms += bad;
    by_layout[p.layout].first += in;
    by_layout[p.layout].second += in + out;
    if (print) {
      std::printf("  %-14s %3d/%d sentences from the article, %d/%d bad terms  %s\n",
                  p.layout.c_str(), in, in + out, bad, s.key_terms.count(),
                  p.path.substr(p.path.rfind('/') + 1).c_str());
      if (!stray.empty()) std::printf("      not the article's: %.160s\n", stray.c_str());
      if (!bad_example.empty()) std::printf("      bad terms: %s\n", bad_example.c_str());
    }
  }
  if (print) {
    std::printf("corpus: %d pages read of %d, %zu layouts\n", f.read, f.pages, by_layout.size());
    std::printf("extract sentences from the article's text: %d of %d (%.1f%%); pages with "
                "furniture in their extract: %d; pages without an extract: %d\n",
                f.from_article, f.sentences,
                f.sentences ? 100.0 * f.from_article / f.sentences : 0.0,
                f.pages_with_furniture, f.no_description);
    std::printf("key terms that are function words, contractions or carry punctuation: %d of "
                "%d (%.1f%%)\n",
                f.bad_terms, f.terms, f.terms ? 100.0 * f.bad_terms / f.terms : 0.0);
  }
  return f;
}

void BM_read_corpus(benchmark::State& state) {
  static bool printed = false;
  if (!printed) {
    printed = true;
    read_corpus(true);
  }
  Corpus_figures f;
  for (auto _ : state) f = read_corpus(false);
  if (f.read == 0) {
    state.SkipWithError("no page of bench/text_corpus/pages.txt found (run scripts/bootstrap)");
    return;
  }
  state.counters["article_share_pct"] = f.sentences ? 100.0 * f.from_article / f.sentences : 0;
  state.counters["pages_with_furniture"] = f.pages_with_furniture;
  state.counters["bad_terms_pct"] = f.terms ? 100.0 * f.bad_terms / f.terms : 0;
}
BENCHMARK(BM_read_corpus)->Unit(benchmark::kMillisecond)->Iterations(1);

// Console output as usual, plus the scanner's speed as a multiple of gumbo's.
class Ratio_reporter : public benchmark::ConsoleReporter {
 public:
  Ratio_reporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end() && !r.error_occurred) rates_[r.benchmark_name()] = it->second;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto scan = rates_.find("BM_scan/scan/min_time:2.000");
    auto gumbo = rates_.find("BM_gumbo/min_time:2.000");
    if (scan != rates_.end() && gumbo != rates_.end() && gumbo->second > 0)
      std::printf("scanner %.1f MB/s, gumbo %.1f MB/s: scanner/gumbo = %.1fx\n",
                  scan->second / 1048576.0, gumbo->second / 1048576.0,
                  scan->second / gumbo->second);
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
namespace {
void BM_tmp_read(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  for (auto _ : state) { Page_text t = read_page_text(page); benchmark::DoNotOptimize(t.tokens.size()); }
}
BENCHMARK(BM_tmp_read)->Unit(benchmark::kMicrosecond);
void BM_tmp_scan1(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  for (auto _ : state) { Html_scanner s(page, 0); s.run(); }
}
BENCHMARK(BM_tmp_scan1)->Unit(benchmark::kMicrosecond);
void BM_tmp_rest(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  Word_tagger tagger(ORVALIS_DATA_DIR);
  Page_text t = read_page_text(page); classify_blocks(t);
  for (auto _ : state) { Page_summary s = summarize_page(page, t, "", tagger); benchmark::DoNotOptimize(s.extract.count()); }
}
BENCHMARK(BM_tmp_rest)->Unit(benchmark::kMicrosecond);
}
namespace {
void BM_tmp_readclass(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  for (auto _ : state) { Page_text t = read_page_text(page); classify_blocks(t); benchmark::DoNotOptimize(t.tokens.size()); }
}
BENCHMARK(BM_tmp_readclass)->Unit(benchmark::kMicrosecond);
}
namespace {
void BM_tmp_all(benchmark::State& state) {
  if (!corpus_ready(state)) return;
  auto page = make_counted<Byte_buffer>();
  page->append(corpus().nearest_30k.data(), static_cast<std::int64_t>(corpus().nearest_30k.size()));
  Word_tagger tagger(ORVALIS_DATA_DIR);
  for (auto _ : state) { Page_text t = read_page_text(page); classify_blocks(t); Page_summary s = summarize_page(page, t, "", tagger); benchmark::DoNotOptimize(s.extract.count()); }
}
BENCHMARK(BM_tmp_all)->Unit(benchmark::kMicrosecond);
}
