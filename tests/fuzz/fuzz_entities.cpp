// Fuzzes entity decoding in place: the output never outgrows the input and stays
// zero-terminated inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "foundation/entities.h"
#include "foundation/ref_string.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  const std::size_t before = std::strlen(text.data());
  orvalis::decode_entities(text.data());
  if (std::strlen(text.data()) > before) std::abort();
  orvalis::Ref_string s(std::string_view(text.data(), before));
  s.decode_entities();
  if (s.length() > static_cast<int>(before)) std::abort();
  return 0;
}
