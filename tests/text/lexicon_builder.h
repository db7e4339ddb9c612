// Builds LEXICON.DAT images in memory for the lexicon and tagger tests, so that each test
// states exactly which words the lexicon holds.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvalis::testing {

struct Lexicon_entry {
  std::string word;
  std::vector<int> codes;
};

inline std::uint32_t lexicon_hash(std::string_view word) {
  std::uint32_t h = 0;
  for (unsigned char c : word) h = c ^ (h << 3);
  return h;
}

inline void put_u24(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 3; ++i) out[at + i] = (v >> (8 * i)) & 0xff;
}

inline void put_u32(std::vector<unsigned char>& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = (v >> (8 * i)) & 0xff;
}

// The bytes of a lexicon holding `entries` in `buckets` buckets, each chain in the order given.
inline std::vector<unsigned char> build_lexicon(const std::vector<Lexicon_entry>& entries,
                                                std::uint32_t buckets, std::uint32_t format = 1) {
  std::vector<unsigned char> out(8 + 3 * std::size_t(buckets), 0);
  put_u32(out, 0, format);
  put_u32(out, 4, buckets);
  std::vector<std::vector<const Lexicon_entry*>> chains(buckets);
  for (const auto& e : entries) chains[lexicon_hash(e.word) % buckets].push_back(&e);
  for (std::uint32_t b = 0; b < buckets; ++b) {
    if (chains[b].empty()) continue;
    put_u24(out, 8 + 3 * b, static_cast<std::uint32_t>(out.size()));
    for (std::size_t i = 0; i < chains[b].size(); ++i) {
      const Lexicon_entry& e = *chains[b][i];
      const bool more = i + 1 < chains[b].size();
      out.insert(out.end(), e.word.begin(), e.word.end());
      out.push_back(0);
      for (std::size_t k = 0; k < e.codes.size(); ++k) {
        const bool last = k + 1 == e.codes.size();
        out.push_back(
            static_cast<unsigned char>(last ? 0x80 | (more ? 0x40 : 0) | e.codes[k] : e.codes[k]));
      }
      if (more) {
        out.resize(out.size() + 3);
        put_u24(out, out.size() - 3, static_cast<std::uint32_t>(out.size()));
      }
    }
  }
  return out;
}

// A heap copy of exactly `bytes.size()` bytes, so that AddressSanitizer catches a read one
// byte past the end (a vector's spare capacity would hide it).
class Exact_bytes {
 public:
  explicit Exact_bytes(const std::vector<unsigned char>& bytes)
      : size_(bytes.size()), data_(new unsigned char[bytes.size() ? bytes.size() : 1]) {
    if (size_) std::memcpy(data_.get(), bytes.data(), size_);
  }
  const unsigned char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_;
  std::unique_ptr<unsigned char[]> data_;
};

}  // namespace orvalis::testing
