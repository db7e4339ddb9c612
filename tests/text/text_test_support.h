// Helpers shared by the text tests: pages from strings and files, and a scanner that records
// what the handlers saw.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/byte_buffer.h"
#include "text/html_scanner.h"

namespace orvalis::testing {

inline Byte_buffer_handle page_of(std::string_view text) {
  auto page = make_counted<Byte_buffer>();
  page->append(text.data(), static_cast<std::int64_t>(text.size()));
  return page;
}

inline std::string read_test_page(const std::string& name) {
  std::ifstream in(std::string(ORVALIS_SOURCE_DIR) + "/tests/text/pages/" + name,
                   std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline Byte_buffer_handle test_page(const std::string& name) {
  return page_of(read_test_page(name));
}

// Records every handler call as "kind:text".
class Recording_scanner : public Html_scanner {
 public:
  Recording_scanner(Byte_buffer_handle page, int collect) : Html_scanner(std::move(page), collect) {}

  int on_space(const char* t, int n, Ref_string&) override { return add("space:", t, n); }
  int on_tag(const char* t, int n, Ref_string&) override { return add("tag:", t, n); }
  int on_word(const char* t, int n, Ref_string&) override {
    words.emplace_back(t, static_cast<size_t>(n));
    return add("word:", t, n);
  }
  int on_punct(char ch, Ref_string&) override { return add("punct:", &ch, 1); }
  void on_sentence(Ref_string s) override { sentences.push_back(s.str()); }

  std::vector<std::string> events;
  std::vector<std::string> words;
  std::vector<std::string> sentences;

 private:
  int add(const char* kind, const char* t, int n) {
    events.push_back(kind + std::string(t, static_cast<size_t>(n)));
    return 0;  // the token is copied unchanged
  }
};

inline std::vector<std::string> words_of(std::string_view text) {
  Recording_scanner s(page_of(text), 0);
  s.run();
  return s.words;
}

inline std::vector<std::string> sentences_of(std::string_view text) {
  Recording_scanner s(page_of(text), 1);
  s.run();
  return s.sentences;
}

}  // namespace orvalis::testing
