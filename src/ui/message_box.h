// Qt_message_sink shows the engine's messages in message boxes on the main window: "Error"
// messages with the critical icon, the rest as information.
// Thread: the user-interface thread.
#pragma once

#include "platform/message_sink.h"

class QWidget;

namespace orvalis::ui {

class Qt_message_sink : public platform::Message_sink {
 public:
  void set_parent(QWidget* parent) { parent_ = parent; }
  void show(const std::string& title, const std::string& text) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace orvalis::ui
