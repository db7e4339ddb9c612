// The welcome dialog with the tip of the day. The number of tips is string 22000; the setting
// "Cur_tip_count" holds the index of the next tip: an index not below the number of tips
// starts again at 0, the tip shown is string 22001 plus the index, and the index plus one is
// stored back. With no tips nothing is shown. The dialog's check box is "ShowWelcomeDialog".
// Thread: the user-interface thread. REQUIRES: the settings store is open.
#pragma once

#include <QDialog>

class QCheckBox;

namespace orvalis::ui {

struct Tip_choice {
  int string_id = 0;   // 0: no tip
  int next_index = 0;  // what to store back
};

// The rule above for a stored index and a number of tips.
Tip_choice choose_tip(int stored_index, int tip_count);
// Applies the rule to the stored setting and stores the next index; the tip's string id, or 0.
int take_tip_of_the_day();

class CWelcomeDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CWelcomeDialog(QWidget* parent = nullptr);
  // The tip shown (empty when there is none).
  QString tip() const { return tip_; }

 private:
  QString tip_;
  QCheckBox* show_at_start_;
};

}  // namespace orvalis::ui
