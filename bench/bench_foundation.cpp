// Foundation figures: copying a Ref_string against copying a std::shared_ptr, growing a text by
// small appends against std::string (with the number of block moves), and the URL codecs'
// throughput on mixed text.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>

#include "foundation/ref_string.h"
#include "foundation/url.h"

namespace {

using orvalis::Ref_string;

void BM_RefStringCopyAndRelease(benchmark::State& state) {
  Ref_string s("a text that is shared by many holders");
  for (auto _ : state) {
    Ref_string copy = s;
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_RefStringCopyAndRelease);

void BM_SharedPtrCopyAndRelease(benchmark::State& state) {
  auto s = std::make_shared<std::string>("a text that is shared by many holders");
  for (auto _ : state) {
    std::shared_ptr<std::string> copy = s;
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_SharedPtrCopyAndRelease);

constexpr int kTarget = 1 << 20;

void BM_RefStringAppend8To1MB(benchmark::State& state) {
  std::uint64_t moves = 0;
  for (auto _ : state) {
    std::uint64_t before = Ref_string::block_moves();
    Ref_string s;
    while (s.length() < kTarget) s += "8 bytes.";
    benchmark::DoNotOptimize(s.c_str());
    moves = Ref_string::block_moves() - before;
  }
  state.counters["block_moves"] = static_cast<double>(moves);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTarget);
}
BENCHMARK(BM_RefStringAppend8To1MB)->Unit(benchmark::kMillisecond);

void BM_StdStringAppend8To1MB(benchmark::State& state) {
  for (auto _ : state) {
    std::string s;
    while (s.size() < static_cast<size_t>(kTarget)) s += "8 bytes.";
    benchmark::DoNotOptimize(s.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kTarget);
}
BENCHMARK(BM_StdStringAppend8To1MB)->Unit(benchmark::kMillisecond);

// 1 MB of mixed text: words, blanks, punctuation, form syntax and UTF-8 bytes.
Ref_string mixed_text() {
  std::mt19937 rng(42);
  const char* pieces[] = {"search", " ", "r\xc3\xa9sum\xc3\xa9", "&", "q=", "a/b", "~", "50\x25off", "100",
                          "?", "caf\xc3\xa9", "-", "x_y", "+", "\"quoted\""};
  std::string out;
  while (out.size() < static_cast<size_t>(kTarget)) out += pieces[rng() % 15];
  out.resize(kTarget);
  return Ref_string(std::string_view(out));
}

void BM_UrlEncode1MB(benchmark::State& state) {
  Ref_string text = mixed_text();
  for (auto _ : state) benchmark::DoNotOptimize(orvalis::url_encode(text).length());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.length());
}
BENCHMARK(BM_UrlEncode1MB)->Unit(benchmark::kMillisecond);

void BM_UrlDecode1MB(benchmark::State& state) {
  // Raw "%" passes url_encode unchanged and would end decoding early: encode it first.
  Ref_string encoded = orvalis::url_encode(mixed_text().replace('%', '~'));
  for (auto _ : state) benchmark::DoNotOptimize(orvalis::url_decode(encoded).length());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * encoded.length());
}
BENCHMARK(BM_UrlDecode1MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
