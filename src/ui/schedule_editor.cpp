#include "ui/schedule_editor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QRadioButton>
#include <QSpinBox>

#include <algorithm>

#include "foundation/error_handler.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr int kHours_in_day = 24;

}  // namespace

Schedule_fields fields_of(const Time_spec& spec) {
  Schedule_fields f;
  if (spec.absolute) {
    f.at_weekday = true;
    f.weekday = spec.day >= 0 && spec.day <= 7 ? spec.day : 7;
    f.hour = spec.hour >= 0 && spec.hour < kHours_in_day ? spec.hour : 0;
    return f;  // the interval stays 1 week
  }
  if (spec.weeks != 0) {
    f.number = spec.weeks;
    f.unit = Schedule_fields::weeks;
  } else if (spec.day != 0) {
    f.number = spec.day;
    f.unit = Schedule_fields::days;
  } else if (spec.hour != 0) {
    f.number = spec.hour;
    f.unit = Schedule_fields::hours;
  }
  return f;
}

Time_spec spec_of(const Schedule_fields& f) {
  if (f.at_weekday) return Time_spec{1, f.weekday, f.hour, 0};
  Time_spec spec{0, 0, 0, 0};
  switch (f.unit) {
    case Schedule_fields::hours: spec.hour = f.number; break;
    case Schedule_fields::days: spec.day = f.number; break;
    case Schedule_fields::weeks: spec.weeks = f.number; break;
  }
  return spec;
}

CScheduleEditor::CScheduleEditor(const QString& switch_label, bool enabled,
                                 const Ref_string& spec_text, QWidget* parent)
    : QWidget(parent) {
  switch_ = new QCheckBox(switch_label);
  switch_->setChecked(enabled);
  interval_ = new QRadioButton("Every");
  weekday_form_ = new QRadioButton("Every");
  auto* forms = new QButtonGroup(this);
  forms->addButton(interval_);
  forms->addButton(weekday_form_);
  number_ = new QSpinBox;
  number_->setRange(1, 60);
  unit_ = new QComboBox;
  for (int id : {18032, 18033, 18034}) unit_->addItem(ui_text(id));
  weekday_ = new QComboBox;
  for (int id = 18035; id <= 18042; ++id) weekday_->addItem(ui_text(id));
  hour_ = new QComboBox;
  QStringList hours = ui_text(18043).split(',');
  if (hours.size() != kHours_in_day) {
    report_error(Ref_string("Internal error in time options resources."));
  } else {
    for (const QString& h : hours) hour_->addItem(h.trimmed());
  }

  auto* grid = new QGridLayout(this);
  grid->addWidget(switch_, 0, 0, 1, 4);
  grid->addWidget(interval_, 1, 0);
  grid->addWidget(number_, 1, 1);
  grid->addWidget(unit_, 1, 2);
  grid->addWidget(weekday_form_, 2, 0);
  grid->addWidget(weekday_, 2, 1);
  grid->addWidget(hour_, 2, 2);
  grid->setColumnStretch(3, 1);

  std::optional<Time_spec> spec = parse_spec(spec_text);
  // A text that does not parse shows the default of a new topic, every 7 days.
  set_fields(fields_of(spec ? *spec : Time_spec{}));
  connect(switch_, &QCheckBox::toggled, this, [this] { update_enabled(); });
  connect(interval_, &QRadioButton::toggled, this, [this] { update_enabled(); });
  update_enabled();
}

void CScheduleEditor::set_fields(const Schedule_fields& f) {
  (f.at_weekday ? weekday_form_ : interval_)->setChecked(true);
  number_->setValue(f.number);
  unit_->setCurrentIndex(f.unit);
  weekday_->setCurrentIndex(f.weekday);
  hour_->setCurrentIndex(f.hour);
}

void CScheduleEditor::update_enabled() {
  const bool on = switch_->isChecked();
  const bool interval = interval_->isChecked();
  number_->setEnabled(on && interval);
  unit_->setEnabled(on && interval);
  weekday_->setEnabled(on && !interval);
  hour_->setEnabled(on && !interval);
}

bool CScheduleEditor::switched_on() const { return switch_->isChecked(); }

Schedule_fields CScheduleEditor::fields() const {
  Schedule_fields f;
  f.at_weekday = weekday_form_->isChecked();
  f.number = number_->value();
  f.unit = static_cast<Schedule_fields::Unit>(unit_->currentIndex());
  f.weekday = weekday_->currentIndex();
  f.hour = std::max(0, hour_->currentIndex());
  return f;
}

Ref_string CScheduleEditor::spec_text() const { return format_spec(spec_of(fields())); }

}  // namespace orvalis::ui
