#include "cli/clean_output.h"

#include <iostream>

namespace orvalis::cli {

Clean_output::Clean_output(std::ostream& stream) : stream_(stream), target_(stream.rdbuf()) {
  stream_.rdbuf(this);
}

Clean_output::~Clean_output() {
  cleaned_.clear();
  filter_.finish(cleaned_);
  target_->sputn(cleaned_.data(), static_cast<std::streamsize>(cleaned_.size()));
  target_->pubsync();
  stream_.rdbuf(target_);
}

std::streamsize Clean_output::xsputn(const char* s, std::streamsize n) {
  cleaned_.clear();
  filter_.feed(std::string_view(s, static_cast<std::size_t>(n)), cleaned_);
  if (target_->sputn(cleaned_.data(), static_cast<std::streamsize>(cleaned_.size())) !=
      static_cast<std::streamsize>(cleaned_.size()))
    return 0;
  return n;
}

Clean_output::int_type Clean_output::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  const char c = traits_type::to_char_type(ch);
  return xsputn(&c, 1) == 1 ? ch : traits_type::eof();
}

void Clean_output::write_code(std::ostream& stream, std::string_view code) {
  stream.flush();
  auto* clean = dynamic_cast<Clean_output*>(stream.rdbuf());
  std::streambuf* target = clean ? clean->target_ : stream.rdbuf();
  target->sputn(code.data(), static_cast<std::streamsize>(code.size()));
}

int Clean_output::sync() { return target_->pubsync(); }

void Clean_message_sink::show(const std::string& title, const std::string& text) {
  std::cerr << without_controls(title.empty() ? std::string_view("Error") : std::string_view(title))
            << ": " << without_controls(std::string_view(text)) << std::endl;
}

}  // namespace orvalis::cli
