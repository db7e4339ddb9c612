#include "platform/message_sink.h"

#include <iostream>

namespace orvalis::platform {

namespace {
Stderr_message_sink default_sink;
Message_sink* installed = &default_sink;
}  // namespace

void Stderr_message_sink::show(const std::string& title, const std::string& text) {
  std::cerr << (title.empty() ? std::string("Error") : title) << ": " << text << std::endl;
}

Message_sink& message_sink() { return *installed; }

void set_message_sink(Message_sink* sink) { installed = sink ? sink : &default_sink; }

}  // namespace orvalis::platform
