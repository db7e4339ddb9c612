#include "ui/welcome_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include "foundation/settings.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

Tip_choice choose_tip(int stored_index, int tip_count) {
  if (tip_count <= 0) return {0, stored_index};
  int index = stored_index < 0 || stored_index >= tip_count ? 0 : stored_index;
  return {22001 + index, index + 1};
}

int take_tip_of_the_day() {
  Tip_choice c = choose_tip(profile_get_int("Cur_tip_count", 0), ui_text(22000).toInt());
  if (c.string_id) profile_put_int("Cur_tip_count", c.next_index);
  return c.string_id;
}

CWelcomeDialog::CWelcomeDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Welcome to Orvalis");
  setObjectName("welcome_dialog");
  int tip = take_tip_of_the_day();
  if (tip) tip_ = ui_text(tip);
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel("<b>Did you know...</b>");
  auto* text = new QLabel(tip_);
  text->setObjectName("tip_text");
  text->setWordWrap(true);
  text->setMinimumWidth(380);
  show_at_start_ = new QCheckBox("&Show this dialog at start-up");
  show_at_start_->setChecked(profile_get_int("ShowWelcomeDialog", 1) != 0);
  connect(show_at_start_, &QCheckBox::toggled, this,
          [](bool on) { profile_put_int("ShowWelcomeDialog", on ? 1 : 0); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  if (tip_.isEmpty()) heading->hide();
  layout->addWidget(heading);
  layout->addWidget(text);
  layout->addWidget(show_at_start_);
  layout->addWidget(buttons);
}

}  // namespace orvalis::ui
