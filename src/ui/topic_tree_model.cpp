#include "ui/topic_tree_model.h"

#include <algorithm>

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

#include "database/database.h"
#include "database/page_copy_store.h"
#include "database/topic_store.h"
#include "platform/clock.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

struct Topic_tree_model::Node {
  Node* parent = nullptr;
  int row = 0;
  int root = -1;  // which root folder, for the folders themselves
  Topic_handle topic;
  Ref_string code;  // the relation leading here, for related topics
  bool loaded = false;
  std::vector<std::unique_ptr<Node>> children;
};

namespace {

constexpr int kRoot_label[] = {10050, 10051, 10052, 10053};
constexpr int kRoot_description[] = {10036, 10034, 10035, 10033};
constexpr std::int64_t kOne_day = 24 * 60 * 60;

QIcon round_icon(QColor fill) {
  QPixmap p(16, 16);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(fill.darker(160));
  g.setBrush(fill);
  g.drawEllipse(2, 2, 12, 12);
  return QIcon(p);
}

}  // namespace

Topic_tree_model::Topic_tree_model(QObject* parent) : QAbstractItemModel(parent) {
  for (int r = 0; r < root_count; ++r) {
    auto n = std::make_unique<Node>();
    n->row = r;
    n->root = r;
    roots_.push_back(std::move(n));
  }
}

Topic_tree_model::~Topic_tree_model() = default;

QIcon Topic_tree_model::topic_icon(bool is_new) {
  static const QIcon yellow = round_icon(QColor(240, 210, 40));
  static const QIcon green = round_icon(QColor(60, 170, 60));
  return is_new ? yellow : green;
}

bool Topic_tree_model::modified_recently(const Topic& topic) {
  return topic.time_last_modified.is_valid() &&
         platform::now() - topic.time_last_modified.seconds <= kOne_day;
}

void Topic_tree_model::reload() {
  beginResetModel();
  for (auto& r : roots_) {
    r->children.clear();
    r->loaded = false;
  }
  with_related_.clear();
  with_related_read_ = false;
  with_changes_.clear();
  with_changes_read_ = false;
  endResetModel();
}

void Topic_tree_model::load(Node& n) const {
  if (n.loaded) return;
  n.loaded = true;
  if (!Database::shared().is_open()) return;
  Topic_store& store = Topic_store::shared();
  auto add = [&n](Topic_handle t, Ref_string code) {
    auto c = std::make_unique<Node>();
    c->parent = &n;
    c->row = static_cast<int>(n.children.size());
    c->topic = t;
    c->code = code;
    n.children.push_back(std::move(c));
  };
  if (n.root >= 0) {
    Ref_list<Topic_handle> topics;
    switch (n.root) {
      case my_topics: topics = store.user_top_level_topics(); break;
      case scheduled_topics: topics = store.scheduled_topics(); break;
      case orvalis_topics: topics = store.top_level_topics(); break;
      default: {
        topics = store.recently_modified_topics();
        // Then the topics whose documents changed, in the order they were made.
        std::unordered_set<std::int32_t> listed;
        for (const Topic_handle& t : topics) listed.insert(t->concept_id);
        std::vector<std::int32_t> changed(with_changes().begin(), with_changes().end());
        std::sort(changed.begin(), changed.end());
        for (std::int32_t id : changed)
          if (!listed.count(id))
            if (Topic_handle t = store.topic(id)) topics.append(t);
        break;
      }
    }
    for (const Topic_handle& t : topics) add(t, Ref_string());
  } else if (n.topic) {
    for (const Related_topic& r : store.related_topics(n.topic->concept_id)) add(r.topic, r.code);
  }
}

Topic_tree_model::Node* Topic_tree_model::node(const QModelIndex& index) const {
  return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex Topic_tree_model::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  Node* p = node(parent);
  if (!p) return row < root_count ? createIndex(row, 0, roots_[row].get()) : QModelIndex();
  load(*p);
  if (row >= static_cast<int>(p->children.size())) return {};
  return createIndex(row, 0, p->children[row].get());
}

QModelIndex Topic_tree_model::parent(const QModelIndex& child) const {
  Node* n = node(child);
  if (!n || !n->parent) return {};
  return createIndex(n->parent->row, 0, n->parent);
}

int Topic_tree_model::rowCount(const QModelIndex& parent) const {
  if (parent.column() > 0) return 0;
  Node* p = node(parent);
  if (!p) return root_count;
  load(*p);
  return static_cast<int>(p->children.size());
}

int Topic_tree_model::columnCount(const QModelIndex&) const { return 1; }

bool Topic_tree_model::hasChildren(const QModelIndex& parent) const {
  Node* p = node(parent);
  if (!p || p->root >= 0) return true;
  if (p->loaded) return !p->children.empty();
  if (!with_related_read_) {
    with_related_read_ = true;
    if (Database::shared().is_open()) with_related_ = Topic_store::shared().topics_with_related();
  }
  return with_related_.count(p->topic->concept_id) != 0;
}

QVariant Topic_tree_model::data(const QModelIndex& index, int role) const {
  Node* n = node(index);
  if (!n) return {};
  if (n->root >= 0) {
    if (role == Qt::DisplayRole) return ui_text(kRoot_label[n->root]);
    if (role == Qt::ToolTipRole || role == Qt::StatusTipRole)
      return ui_text(kRoot_description[n->root]);
    if (role == Qt::DecorationRole) return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    return {};
  }
  if (role == Qt::DisplayRole) return QString::fromUtf8(n->topic->name.c_str());
  if (role == Qt::DecorationRole)
    return topic_icon(modified_recently(*n->topic) || with_changes().count(n->topic->concept_id));
  if (role == Qt::ToolTipRole && !n->code.empty())
    return QString::fromUtf8(relationship_label(n->code).c_str());
  return {};
}

const std::unordered_set<std::int32_t>& Topic_tree_model::with_changes() const {
  if (!with_changes_read_) {
    with_changes_read_ = true;
    if (Database::shared().is_open()) with_changes_ = Page_copy_store().topics_with_changes();
  }
  return with_changes_;
}

Qt::ItemFlags Topic_tree_model::flags(const QModelIndex& index) const {
  Node* n = node(index);
  if (!n) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDropEnabled;
  return n->topic ? f | Qt::ItemIsDragEnabled : f;
}

Topic_handle Topic_tree_model::topic_at(const QModelIndex& index) const {
  Node* n = node(index);
  return n ? n->topic : Topic_handle();
}

bool Topic_tree_model::is_related(const QModelIndex& index) const {
  Node* n = node(index);
  return n && n->topic && n->parent && n->parent->topic;
}

Ref_string Topic_tree_model::relation_code(const QModelIndex& index) const {
  Node* n = node(index);
  return n && is_related(index) ? n->code : Ref_string();
}

QModelIndex Topic_tree_model::find_topic(std::int32_t concept_id, const QModelIndex& parent) const {
  for (int r = 0, n = rowCount(parent); r < n; ++r) {
    QModelIndex i = index(r, 0, parent);
    Topic_handle t = topic_at(i);
    if (t && t->concept_id == concept_id) return i;
  }
  return {};
}

}  // namespace orvalis::ui
