// CScheduleEditor edits one of a topic's two schedules (searching or summarizing): the switch,
// and either an interval ("Every" a number of 1 to 60 "Hours", "Days" or "Weeks") or a weekday
// ("Sunday" ... "Saturday", or "Day" for every day) at an hour of the day ("Midnight" ... "11
// pm"). The number and unit are enabled only while the switch is on and the interval is
// chosen; the weekday and hour only while it is on and the weekday is chosen.
//
// Schedule_fields is the editor's content as plain values, and fields_of/spec_of turn a stored
// schedule into it and back: an interval keeps only its largest unit.
// Owner: the topic's property pages. Thread: the user-interface thread.
#pragma once

#include <QWidget>

#include "foundation/time_spec.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QRadioButton;
class QSpinBox;

namespace orvalis::ui {

struct Schedule_fields {
  enum Unit { hours, days, weeks };
  bool at_weekday = false;  // the second form: a weekday at an hour
  int number = 1;           // 1..60
  Unit unit = weeks;
  int weekday = 7;          // 0 Sunday .. 6 Saturday, 7 every day
  int hour = 0;             // 0 midnight .. 23
  bool operator==(const Schedule_fields&) const = default;
};

Schedule_fields fields_of(const Time_spec& spec);
Time_spec spec_of(const Schedule_fields& fields);

class CScheduleEditor : public QWidget {
  Q_OBJECT
 public:
  // `switch_label`: "Agent &searches the web " or "Agent &resummarizes existing documents for
  // this topic".
  CScheduleEditor(const QString& switch_label, bool enabled, const Ref_string& spec_text,
                  QWidget* parent = nullptr);

  bool switched_on() const;
  Schedule_fields fields() const;
  // The stored form of what the editor shows ("r 0 1 0", "a 0 3 9").
  Ref_string spec_text() const;

  QCheckBox* switch_box() const { return switch_; }
  QRadioButton* interval_choice() const { return interval_; }
  QRadioButton* weekday_choice() const { return weekday_form_; }
  QSpinBox* number() const { return number_; }
  QComboBox* unit() const { return unit_; }
  QComboBox* weekday() const { return weekday_; }
  QComboBox* hour() const { return hour_; }

 private:
  void set_fields(const Schedule_fields& f);
  void update_enabled();

  QCheckBox* switch_;
  QRadioButton* interval_;
  QRadioButton* weekday_form_;
  QSpinBox* number_;
  QComboBox* unit_;
  QComboBox* weekday_;
  QComboBox* hour_;
};

}  // namespace orvalis::ui
