#include "ui/item_list_model.h"

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTextDocument>

#include "database/document_store.h"
#include "database/page_copy_store.h"
#include "database/topic_store.h"
#include "ui/topic_tree_model.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr int kColumn_label[] = {10038, 10039, 10040, 10041, 10042,
                                 10043, 10044, 10045, 10046, 10047};

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }

QString joined(const Ref_list<Ref_string>& parts, const char* between) {
  QString out;
  for (const Ref_string& p : parts) {
    if (!out.isEmpty()) out += QString::fromUtf8(between);
    out += qs(p);
  }
  return out;
}

QIcon page_icon(QColor fill) {
  QPixmap p(16, 16);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setPen(QColor(90, 90, 90));
  g.setBrush(fill);
  g.drawRect(3, 1, 10, 13);
  g.drawLine(5, 5, 11, 5);
  g.drawLine(5, 8, 11, 8);
  return QIcon(p);
}

QString yes_no(bool v) { return v ? QStringLiteral("Yes") : QStringLiteral("No"); }

QVariant count_cell(std::int32_t n, int role) {
  if (role == Qt::UserRole) return n;
  return n == -1 ? QStringLiteral("?") : QString::number(n);
}

}  // namespace

Item_list_model::Item_list_model(QObject* parent) : QAbstractTableModel(parent) {}

void Item_list_model::show_topic(const Topic_handle& topic) {
  beginResetModel();
  topic_ = topic;
  items_.clear();
  documents_ = 0;
  read_changes();
  if (topic) {
    for (const Related_topic& r : Topic_store::shared().related_topics(topic->concept_id))
      items_.push_back(Item{r.topic, {}, r.code});
    for (const Topic_document& d :
         Document_store().documents_of_topic(topic->concept_id, false)) {
      items_.push_back(Item{{}, d, {}});
      ++documents_;
    }
  }
  endResetModel();
}

void Item_list_model::show_topics(const Ref_list<Topic_handle>& topics) {
  beginResetModel();
  topic_ = Topic_handle();
  items_.clear();
  documents_ = 0;
  read_changes();
  for (const Topic_handle& t : topics) items_.push_back(Item{t, {}, {}});
  endResetModel();
}

void Item_list_model::clear() { show_topics({}); }

void Item_list_model::refresh() {
  if (topic_) show_topic(topic_);
}

void Item_list_model::read_changes() {
  changed_documents_.clear();
  changed_topics_.clear();
  if (!Database::shared().is_open()) return;
  Page_copy_store copies;
  changed_documents_ = copies.changed_documents();
  if (!changed_documents_.empty()) changed_topics_ = copies.topics_with_changes();
}

void Item_list_model::forget_change(std::int32_t url_id) {
  if (!changed_documents_.erase(url_id)) return;
  // A topic listed here whose last changed document this was loses its mark too.
  std::unordered_set<std::int32_t> topics;
  if (!changed_documents_.empty() && Database::shared().is_open())
    topics = Page_copy_store().topics_with_changes();
  topics.swap(changed_topics_);
  for (int r = 0; r < static_cast<int>(items_.size()); ++r) {
    const Item& it = items_[r];
    const bool mark_changed = it.topic ? topics.count(it.topic->concept_id) != changed_topics_.count(it.topic->concept_id)
                                     : it.document.document && it.document.document->url_id == url_id;
    if (mark_changed) emit dataChanged(index(r, name), index(r, name), {Qt::DecorationRole});
  }
}

const Item_list_model::Item* Item_list_model::item(int row) const {
  return row >= 0 && row < static_cast<int>(items_.size()) ? &items_[row] : nullptr;
}

QString Item_list_model::document_count_text() const {
  if (!topic_) return {};
  return fill(ui_text(10032), {QString::number(documents_)});
}

int Item_list_model::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int Item_list_model::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : column_count;
}

Qt::ItemFlags Item_list_model::flags(const QModelIndex& index) const {
  const Item* it = index.isValid() ? item(index.row()) : nullptr;
  if (!it) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
  return it->topic ? f | Qt::ItemIsDropEnabled : f;
}

QVariant Item_list_model::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= column_count) return {};
  return ui_text(kColumn_label[section]);
}

QVariant Item_list_model::data(const QModelIndex& index, int role) const {
  const Item* it = index.isValid() ? item(index.row()) : nullptr;
  if (!it) return {};
  if (role != Qt::DisplayRole && role != Qt::UserRole && role != Qt::DecorationRole &&
      role != Qt::ToolTipRole)
    return {};
  if (role == Qt::ToolTipRole) {
    // A tooltip that looks like markup is shown as markup: the cell's text goes as text.
    QVariant shown = data(index, Qt::DisplayRole);
    return shown.typeId() == QMetaType::QString ? QVariant(Qt::convertFromPlainText(shown.toString()))
                                                : shown;
  }
  if (it->topic) return topic_cell(*it->topic, index.column(), role);
  return document_cell(it->document, index.column(), role);
}

QVariant Item_list_model::topic_cell(const Topic& t, int column, int role) const {
  if (role == Qt::DecorationRole)
    return column == name ? QVariant(Topic_tree_model::topic_icon(
                                Topic_tree_model::modified_recently(t) || changed_topics_.count(t.concept_id)))
                          : QVariant();
  switch (column) {
    case name: return qs(t.name);
    case description: return qs(t.definition);
    case enabled: return yes_no(t.query_enabled || t.summary_enabled);
    case keywords: return joined(t.terms, ", ");
    default: return role == Qt::UserRole ? QVariant(QString()) : QVariant();
  }
}

QVariant Item_list_model::document_cell(const Topic_document& d, int column, int role) const {
  const Document& doc = *d.document;
  if (role == Qt::DecorationRole) {
    if (column != name) return {};
    static const QIcon fresh = page_icon(QColor(250, 225, 90));
    static const QIcon seen = page_icon(Qt::white);
    static const QIcon changed = page_icon(QColor(245, 150, 50));
    if (changed_documents_.count(doc.url_id)) return changed;
    return doc.time_last_retrieved.is_valid() ? seen : fresh;
  }
  switch (column) {
    case name: return qs(doc.title.empty() ? doc.address : doc.title);
    case description: return qs(d.link.query);
    case enabled: return yes_no(!d.link.is_removed());
    case links: return count_cell(doc.num_anchors, role);
    case summary: return joined(doc.abstract, " ");
    case images: return count_cell(doc.num_images, role);
    case added_by:
      return d.link.search_resource.empty() ? ui_text(10031) : qs(d.link.search_resource);
    case keywords: return joined(doc.summary, ", ");
    case address: return qs(doc.address);
    case relevant: return yes_no(d.relevant);
    default: return {};
  }
}

}  // namespace orvalis::ui
