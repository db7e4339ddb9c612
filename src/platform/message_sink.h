// Message_sink stands where a desktop program shows a message box: the window front-end shows
// a dialog, the command line writes "Error: <text>" to standard error, tests collect the
// texts. The engine shows messages only through the installed sink. User-interface thread.
#pragma once

#include <string>

namespace orvalis::platform {

class Message_sink {
 public:
  virtual ~Message_sink() = default;
  // Shows `text` under `title` ("Error" for the error handler's messages).
  virtual void show(const std::string& title, const std::string& text) = 0;
};

// Writes "Error: <text>" (or "<title>: <text>") and an end of line to standard error.
class Stderr_message_sink : public Message_sink {
 public:
  void show(const std::string& title, const std::string& text) override;
};

// The installed sink (a Stderr_message_sink unless another was installed).
Message_sink& message_sink();
// Installs `sink` (null: the standard-error sink again). REQUIRES: it outlives its installation.
void set_message_sink(Message_sink* sink);

}  // namespace orvalis::platform
