// Fuzzes the LEXICON.DAT reader on arbitrary bytes: loading, look-ups of fixed words and of the
// words stored in the data itself (so that damaged chains are walked to their entries), the
// guessing rules and the tagger. No read may leave the data; a look-up that succeeds returns
// one to eight codes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "foundation/error_handler.h"
#include "text/lexicon.h"
#include "text/word_tagger.h"

namespace {

void check_lookup(orvalis::Lexicon& lexicon, const char* word, int length) {
  orvalis::Class_list out;
  int found = lexicon.lookup(word, length, out);
  if (found ? out.count < 1 || out.count > 8 : out.count != 0) __builtin_trap();
  lexicon.classify(word, length, out);
  if (out.count < 1 || out.count > 8) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvalis::Collecting_error_handler quiet;
  orvalis::Lexicon lexicon;
  lexicon.load_lexicon_bytes(data, size);

  static const char* const fixed[] = {"the",  "I",     "i",      "a",        "fox",     "",
                                      "x",    "boxes", "flies",  "walked",   "teacher", "golden",
                                      "1997", "etc.",  "(what?", "national", "John's",  "\x01"};
  for (const char* word : fixed) check_lookup(lexicon, word, static_cast<int>(std::strlen(word)));

  // The NUL-terminated runs of the data, as words.
  std::size_t start = 0;
  for (int taken = 0; start < size && taken < 64; ++taken) {
    const void* nul = std::memchr(data + start, 0, size - start);
    std::size_t end =
        nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - data) : size;
    std::size_t length = end - start;
    if (length > 40) length = 40;
    check_lookup(lexicon, reinterpret_cast<const char*>(data + start), static_cast<int>(length));
    start = end + 1;
  }

  orvalis::Word_tagger tagger(data, size);
  int previous = orvalis::Word_tagger::start_of_text;
  for (const char* word : fixed) {
    int c = tagger.tag_word(std::string_view(word), previous)->word_class();
    if (c < 0 || c > 255) __builtin_trap();
    previous = c;
  }
  return 0;
}
