#include "ui/topic_wizard.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWizardPage>
#include <set>

#include "agent/scheduler.h"
#include "database/search_resource_store.h"
#include "database/topic_store.h"
#include "platform/clock.h"
#include "ui/agent_link.h"
#include "ui/dialog_fields.h"
#include "ui/properties_dialog.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

// Stored topics offered as similar to a typed name, at most.
constexpr int kSimilar_limit = 100;

QString page_title(int page) {
  return QStringLiteral("Orvalis Topic Wizard (%1 of 4)").arg(page + 1);
}

QWizardPage* make_page(int number, QLayout* layout) {
  auto* page = new QWizardPage;
  page->setTitle(page_title(number));
  page->setLayout(layout);
  return page;
}

void add_heading(QListWidget* list, const QString& text) {
  auto* item = new QListWidgetItem(text, list);
  QFont bold = item->font();
  bold.setBold(true);
  item->setFont(bold);
  item->setFlags(Qt::ItemIsEnabled);  // a heading is not a choice
}

}  // namespace

CTopicWizard::CTopicWizard(Agent_link& agent, Tell tell, Exec exec, QWidget* parent)
    : QWizard(parent), agent_(agent), tell_(std::move(tell)), exec_(std::move(exec)) {
  setObjectName("topic_wizard");
  setWizardStyle(QWizard::ClassicStyle);
  setWindowTitle(page_title(0));

  // 1: the name and the category of search resources.
  name_ = new QLineEdit;
  name_->setObjectName("wizard_name");
  category_ = new QComboBox;
  category_->setObjectName("wizard_category");
  category_->addItem("(All search resources)", QString());
  for (const Ref_string& c : Search_resource_store().list_categories())
    if (!c.empty()) category_->addItem(to_qstring(c), to_qstring(c));
  auto* name_label = new QLabel("&Topic name to search on:");
  name_label->setBuddy(name_);
  auto* category_label = new QLabel("Search resource &category:");
  category_label->setBuddy(category_);
  auto* p1 = new QVBoxLayout;
  p1->addWidget(name_label);
  p1->addWidget(name_);
  p1->addSpacing(12);
  p1->addWidget(category_label);
  p1->addWidget(category_);
  p1->addStretch(1);
  setPage(name_page, make_page(name_page, p1));

  // 2: the typed topic or a stored one.
  similar_ = new QListWidget;
  similar_->setObjectName("wizard_similar");
  auto* p2 = new QVBoxLayout;
  p2->addWidget(
      new QLabel("Keep the topic you typed, or pick a topic the database already holds:"));
  p2->addWidget(similar_, 1);
  for (QListWidget* list : {similar_}) {
    list->setTextElideMode(Qt::ElideMiddle);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  }
  setPage(similar_page, make_page(similar_page, p2));

  // 3: additional keyword terms.
  term_ = new QLineEdit;
  term_->setObjectName("wizard_term");
  terms_ = new QListWidget;
  terms_->setObjectName("wizard_terms");
  terms_->setTextElideMode(Qt::ElideMiddle);
  terms_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* add = new QPushButton("&Add");
  add->setObjectName("wizard_add_term");
  auto* remove = new QPushButton("&Delete");
  remove->setObjectName("wizard_delete_term");
  auto* terms_label = new QLabel("Additional  &keyword terms:");
  terms_label->setBuddy(term_);
  auto* term_row = new QHBoxLayout;
  term_row->addWidget(term_, 1);
  term_row->addWidget(add);
  term_row->addWidget(remove);
  auto* schedule_note = new QLabel(
      "The agent can search the Web for this topic and summarize its documents on a schedule "
      "of your choosing: after Finish, choose Schedule Tasks on the Agent menu.");
  schedule_note->setWordWrap(true);
  auto* p3 = new QVBoxLayout;
  p3->addWidget(terms_label);
  p3->addLayout(term_row);
  p3->addWidget(terms_, 1);
  p3->addWidget(schedule_note);
  setPage(terms_page, make_page(terms_page, p3));
  connect(add, &QPushButton::clicked, this, [this] { add_term(); });
  connect(term_, &QLineEdit::returnPressed, this, [this] { add_term(); });
  connect(remove, &QPushButton::clicked, this, [this] { delete terms_->currentItem(); });

  // 4: what will be saved.
  summary_ = new QLabel;
  summary_->setObjectName("wizard_summary");
  summary_->setWordWrap(true);
  summary_->setTextFormat(Qt::PlainText);
  auto* properties = new QPushButton("&Topic Properties");
  properties->setObjectName("wizard_properties");
  auto* finish_note = new QLabel(
      "Selecting 'Finish' will save your new topic to the database and tell the agent to do an "
      "initial search for documents on the Web.");
  finish_note->setWordWrap(true);
  auto* p4 = new QVBoxLayout;
  p4->addWidget(summary_);
  auto* props_row = new QHBoxLayout;
  props_row->addWidget(properties);
  props_row->addStretch(1);
  p4->addLayout(props_row);
  p4->addStretch(1);
  p4->addWidget(finish_note);
  setPage(finish_page, make_page(finish_page, p4));
  connect(properties, &QPushButton::clicked, this, [this] { open_properties(); });

  connect(this, &QWizard::currentIdChanged, this, [this](int id) {
    if (id >= 0) setWindowTitle(page_title(id));
  });
  resize(520, 400);
  setMinimumWidth(520);
}

CTopicWizard::~CTopicWizard() = default;

QString CTopicWizard::chosen_name() const {
  return picked_ ? to_qstring(picked_->name) : name_->text().trimmed();
}

void CTopicWizard::add_term() {
  QString t = term_->text().trimmed();
  if (t.isEmpty()) return;
  if (over_field_limit(t)) {
    tell_(ui_text(18048));
    return;
  }
  if (terms_->findItems(t, Qt::MatchFixedString).isEmpty()) terms_->addItem(t);
  term_->clear();
}

void CTopicWizard::fill_similar() {
  const QString typed = name_->text().trimmed();
  similar_->clear();
  auto* own = new QListWidgetItem(typed, similar_);
  own->setData(Qt::UserRole, 0);
  // Stored topics whose name or a term holds the typed name, or one of its longer words.
  Topic_store& store = Topic_store::shared();
  std::vector<Topic_handle> found;
  std::set<std::int32_t> seen;
  auto gather = [&](const QString& text) {
    for (const Topic_handle& t : store.topics_matching(to_ref(text)))
      if (static_cast<int>(found.size()) < kSimilar_limit && seen.insert(t->concept_id).second)
        found.push_back(t);
  };
  // A plural finds its singular too ("Honeybees" finds "Honeybee biology").
  auto gather_word = [&](const QString& word) {
    gather(word);
    if (word.size() > 4 && word.endsWith('s', Qt::CaseInsensitive)) gather(word.chopped(1));
  };
  gather_word(typed);
  for (const QString& word : typed.split(' ', Qt::SkipEmptyParts))
    if (word.size() > 3 && word != typed) gather_word(word);
  for (bool user : {true, false}) {
    bool headed = false;
    for (const Topic_handle& t : found) {
      if ((t->is_user_topic != 0) != user) continue;
      if (!headed)
        add_heading(similar_, user ? "Topics you create or modify" : "Predefined Orvalis topics");
      headed = true;
      auto* item = new QListWidgetItem("    " + to_qstring(t->name), similar_);
      item->setData(Qt::UserRole, t->concept_id);
    }
  }
  int keep = 0;  // the row picked before, when it is still offered
  for (int r = 0; picked_ && r < similar_->count(); ++r)
    if (similar_->item(r)->data(Qt::UserRole).toInt() == picked_->concept_id) keep = r;
  similar_->setCurrentRow(keep);
}

void CTopicWizard::initializePage(int id) {
  switch (id) {
    case similar_page:
      fill_similar();
      break;
    case terms_page:
      // A stored topic brings its terms along; the typed topic starts without any.
      terms_->clear();
      if (picked_)
        for (const Ref_string& t : picked_->terms) terms_->addItem(to_qstring(t));
      break;
    case finish_page: {
      QStringList query{chosen_name()};
      for (int i = 0; i < terms_->count(); ++i) query << terms_->item(i)->text();
      // Long names are shortened in the middle so the wizard keeps its width; the tool tip
      // holds them whole.
      const QFontMetrics metrics(summary_->font());
      const int room = std::max(200, width() - 80);
      auto fit = [&metrics, room](const QString& text) { return metrics.elidedText(text, Qt::ElideMiddle, room); };
      QStringList shown;
      for (const QString& q : query) shown << q;
      summary_->setText("Topic name: " + fit(chosen_name()) + "\nQuery: " + fit(shown.join(", ")));
      summary_->setToolTip("Topic name: " + chosen_name() + "\nQuery: " + query.join(", "));
      break;
    }
    default:
      break;
  }
  QWizard::initializePage(id);
}

bool CTopicWizard::validateCurrentPage() {
  switch (currentId()) {
    case name_page: {
      QString name = name_->text().trimmed();
      if (name.isEmpty()) {
        tell_(ui_text(10132));
        return false;
      }
      if (over_field_limit(name)) {
        tell_(ui_text(18048));
        return false;
      }
      return true;
    }
    case similar_page: {
      QListWidgetItem* item = similar_->currentItem();
      std::int32_t id = item ? item->data(Qt::UserRole).toInt() : 0;
      picked_ = id ? Topic_store::shared().topic(id) : Topic_handle();
      return true;
    }
    default:
      return true;
  }
}

Topic_handle CTopicWizard::store_topic() {
  Topic_store& store = Topic_store::shared();
  // A row added earlier for another choice of topic goes.
  if (added_ && topic_ && picked_) {
    store.delete_topic(topic_->concept_id);
    topic_ = Topic_handle();
    added_ = false;
  }
  if (picked_) {
    topic_ = picked_;
  } else if (!topic_) {
    topic_ = store.add_topic(to_ref(name_->text().trimmed()));
    if (!topic_) return {};
    added_ = true;
  }
  Topic& t = *topic_;
  if (!picked_) t.name = to_ref(name_->text().trimmed());
  t.category = to_ref(category_->currentData().toString());
  t.terms = Ref_list<Ref_string>();
  for (int i = 0; i < terms_->count(); ++i) t.terms.append(to_ref(terms_->item(i)->text()));
  t.is_user_topic = 1;
  t.is_user_top_level = 1;
  t.time_last_modified = Db_date::at(platform::now());
  if (!store.save_topic(t)) return {};
  return topic_;
}

void CTopicWizard::open_properties() {
  Topic_handle t = store_topic();
  if (!t) return;
  CTopicProperties properties(t, tell_, this);
  if (exec_(properties) != QDialog::Accepted) return;
  // The pages may have renamed the topic and changed its terms and category.
  if (!picked_) name_->setText(to_qstring(t->name));
  terms_->clear();
  for (const Ref_string& term : t->terms) terms_->addItem(to_qstring(term));
  int c = category_->findData(to_qstring(t->category));
  if (c < 0) {
    category_->addItem(to_qstring(t->category), to_qstring(t->category));
    c = category_->count() - 1;
  }
  category_->setCurrentIndex(c);
  initializePage(finish_page);
}

void CTopicWizard::accept() {
  Topic_handle t = store_topic();
  if (!t) return;  // reported; the wizard stays open
  finished_ = true;
  register_topic_schedules(*t);
  agent_.search_topic(t->concept_id);
  QWizard::accept();
}

void CTopicWizard::reject() {
  if (added_ && topic_ && !finished_) Topic_store::shared().delete_topic(topic_->concept_id);
  topic_ = Topic_handle();
  added_ = false;
  QWizard::reject();
}

}  // namespace orvalis::ui
