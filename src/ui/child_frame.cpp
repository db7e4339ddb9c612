#include "ui/child_frame.h"

#include <QEvent>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "database/page_copy_store.h"
#include "database/topic_store.h"
#include "foundation/settings.h"
#include "platform/registry_store.h"
#include "reports/detail_pages.h"
#include "ui/detail_text.h"
#include "ui/item_list_model.h"
#include "ui/item_views.h"
#include "ui/topic_tree_model.h"

namespace orvalis::ui {

CChildFrame::CChildFrame(Menu_builder menus, QWidget* parent)
    : QWidget(parent), menus_(std::move(menus)) {
  tree_model_ = new Topic_tree_model(this);
  list_model_ = new Item_list_model(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(list_model_);
  sorted_->setSortRole(Qt::UserRole);
  sorted_->setSortCaseSensitivity(Qt::CaseInsensitive);

  tree_ = new COrvalisTree;
  tree_->setObjectName("topic_tree");
  tree_->setModel(tree_model_);
  tree_->setHeaderHidden(true);
  tree_->setContextMenuPolicy(Qt::CustomContextMenu);

  list_ = new COrvalisList;
  list_->setObjectName("item_list");
  list_->setModel(sorted_);
  list_->setRootIsDecorated(false);
  list_->setSortingEnabled(true);
  list_->sortByColumn(-1, Qt::AscendingOrder);  // store order until a header is clicked
  list_->setAlternatingRowColors(true);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  list_->header()->setStretchLastSection(false);
  list_->header()->resizeSection(Item_list_model::name, 220);
  list_->header()->resizeSection(Item_list_model::summary, 260);

  detail_ = new QTextBrowser;
  detail_->setObjectName("detail_pane");
  install_detail_viewer();

  auto* right = new QSplitter(Qt::Vertical);
  right->addWidget(list_);
  right->addWidget(detail_);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(tree_);
  split->addWidget(right);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 3);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(split);

  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& i) { tree_selected(i); });
  connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& i) { list_selected(i); });
  // A click on the node already current makes it the selection again (after a list item).
  connect(tree_, &QAbstractItemView::pressed, this, [this](const QModelIndex& i) { tree_selected(i); });
  connect(list_, &QAbstractItemView::pressed, this, [this](const QModelIndex& i) { list_selected(i); });
  connect(list_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& i) {
    list_selected(i);
    emit item_activated();
  });
  connect(tree_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { context_menu(tree_, p); });
  connect(list_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { context_menu(list_, p); });
  tree_->expand(tree_model_->root_index(Topic_tree_model::my_topics));
  install_transfer_hooks();
}

void CChildFrame::tree_selected(const QModelIndex& index) {
  current_ = Current{};
  Topic_handle topic = tree_model_->topic_at(index);
  if (topic) {
    current_.kind = tree_model_->is_related(index) ? Selection::related_topic : Selection::topic;
    current_.topic = topic;
    if (current_.kind == Selection::related_topic)
      current_.parent_topic = tree_model_->topic_at(index.parent());
    list_model_->show_topic(topic);
    emit status_text(list_model_->document_count_text());
  } else if (index.isValid()) {
    current_.kind = Selection::root_folder;
    Ref_list<Topic_handle> topics;
    for (int r = 0, n = tree_model_->rowCount(index); r < n; ++r)
      topics.append(tree_model_->topic_at(tree_model_->index(r, 0, index)));
    list_model_->show_topics(topics);
    emit status_text(index.data(Qt::ToolTipRole).toString());
  } else {
    list_model_->clear();
  }
  show_detail();
  emit selection_changed();
}

void CChildFrame::list_selected(const QModelIndex& index) {
  const Item_list_model::Item* item = list_model_->item(sorted_->mapToSource(index).row());
  if (!item) return;
  Topic_handle shown = list_model_->shown_topic();
  current_ = Current{};
  if (item->topic) {
    current_.kind = shown ? Selection::related_topic : Selection::topic;
    current_.topic = item->topic;
    current_.parent_topic = shown;
  } else {
    current_.kind = Selection::document;
    current_.topic = shown;
    current_.document = item->document;
  }
  show_detail();
  if (current_.kind == Selection::document) document_opened(current_.document.document->url_id);
  emit selection_changed();
}

void CChildFrame::show_detail() {
  // "ViewerType" chooses the rich-text form or the generated detail page.
  const bool pages = platform::Registry_store::instance().is_open() &&
                     profile_get_string("ViewerType", "ViewerRichEdit") == "ViewerIExplore";
  auto html = [](const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); };
  if (current_.kind == Selection::document && current_.document.document) {
    const Document& d = *current_.document.document;
    const Page_changes changes = latest_page_changes(d.url_id);
    detail_->setHtml(pages ? html(document_detail(d, current_.document.link,
                                                  Detail_options::from_settings(), &changes))
                           : document_detail_html(d, &changes));
  } else if (current_.topic) {
    detail_->setHtml(pages ? html(topic_detail(*current_.topic))
                           : topic_detail_html(*current_.topic));
  } else {
    detail_->clear();
  }
}

void CChildFrame::document_opened(std::int32_t url_id) {
  // A changed document shown once is no longer new: its mark goes, and with its topic's last
  // one the topic leaves "Topics with new info".
  Page_copy_store copies;
  if (!copies.is_changed(url_id) || !copies.mark_seen(url_id)) return;
  list_model_->forget_change(url_id);
  reload_tree_keeping_state();
}

void CChildFrame::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && detail_->source().isEmpty()) show_detail();
}

void CChildFrame::context_menu(QWidget* view, const QPoint& at) {
  if (current_.kind == Selection::none || current_.kind == Selection::root_folder) return;
  QMenu menu(this);
  menus_(menu, current_.kind);
  if (!menu.isEmpty()) menu.exec(view->mapToGlobal(at));
}

void CChildFrame::reload() {
  std::int32_t keep = current_.topic ? current_.topic->concept_id : 0;
  current_ = Current{};
  tree_model_->reload();
  list_model_->clear();
  detail_->clear();
  tree_->expand(tree_model_->root_index(Topic_tree_model::my_topics));
  if (keep) select_topic(keep);
  emit selection_changed();
}

bool CChildFrame::select_topic(std::int32_t concept_id) {
  for (int r = 0; r < Topic_tree_model::root_count; ++r) {
    QModelIndex root = tree_model_->root_index(static_cast<Topic_tree_model::Root>(r));
    QModelIndex found = tree_model_->find_topic(concept_id, root);
    if (found.isValid()) {
      tree_->expand(root);
      tree_->setCurrentIndex(found);
      return true;
    }
  }
  return false;
}

namespace {

// A node of the tree named by its root folder's row and the topics on the way down to it.
using Tree_path = std::vector<std::int32_t>;

Tree_path path_of(const Topic_tree_model& model, QModelIndex index) {
  Tree_path path;
  for (; index.isValid() && index.parent().isValid(); index = index.parent())
    path.insert(path.begin(), model.topic_at(index)->concept_id);
  if (!index.isValid()) return {};
  path.insert(path.begin(), index.row());
  return path;
}

QModelIndex index_of(const Topic_tree_model& model, const Tree_path& path) {
  if (path.empty()) return {};
  QModelIndex index = model.root_index(static_cast<Topic_tree_model::Root>(path[0]));
  for (size_t i = 1; i < path.size() && index.isValid(); ++i)
    index = model.find_topic(path[i], index);
  return index;
}

void expanded_paths(const QTreeView& view, const Topic_tree_model& model, const QModelIndex& parent,
                    std::vector<Tree_path>& out) {
  for (int r = 0, n = model.rowCount(parent); r < n; ++r) {
    QModelIndex child = model.index(r, 0, parent);
    if (!view.isExpanded(child)) continue;
    out.push_back(path_of(model, child));
    expanded_paths(view, model, child, out);
  }
}

}  // namespace

void CChildFrame::agent_changed(const std::set<std::int32_t>& topics,
                                const std::set<std::int32_t>& documents, bool tree) {
  if (tree) reload_tree_keeping_state();
  const Topic_handle& shown = list_model_->shown_topic();
  bool affected = shown && topics.count(shown->concept_id) > 0;
  for (int r = 0, n = list_model_->rowCount(); !affected && r < n; ++r) {
    const Item_list_model::Item* item = list_model_->item(r);
    affected = item->document.document && documents.count(item->document.document->url_id) > 0;
  }
  if (affected) refresh_list_keeping_selection(documents);
}

void CChildFrame::reload_tree_keeping_state() {
  std::vector<Tree_path> expanded;
  expanded_paths(*tree_, *tree_model_, QModelIndex(), expanded);
  Tree_path current = path_of(*tree_model_, tree_->currentIndex());
  int scrolled = tree_->verticalScrollBar()->value();
  {
    // The selection stays what it was: nothing of it is chosen again.
    QSignalBlocker quiet(tree_->selectionModel());
    tree_model_->reload();
    for (const Tree_path& p : expanded) {
      QModelIndex i = index_of(*tree_model_, p);
      if (i.isValid()) tree_->expand(i);
    }
    QModelIndex i = index_of(*tree_model_, current);
    if (i.isValid()) tree_->selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
  }
  tree_->verticalScrollBar()->setValue(scrolled);
  tree_->viewport()->update();
  // A root folder's list is its topics: read them again.
  if (current_.kind == Selection::root_folder) {
    QModelIndex root = index_of(*tree_model_, current);
    Ref_list<Topic_handle> shown;
    for (int r = 0, n = tree_model_->rowCount(root); r < n; ++r)
      shown.append(tree_model_->topic_at(tree_model_->index(r, 0, root)));
    std::int32_t keep = 0;
    if (const Item_list_model::Item* item = list_model_->item(sorted_->mapToSource(list_->currentIndex()).row()))
      keep = item->topic ? item->topic->concept_id : 0;
    QSignalBlocker quiet(list_->selectionModel());
    list_model_->show_topics(shown);
    for (int r = 0; keep && r < list_model_->rowCount(); ++r)
      if (list_model_->item(r)->topic->concept_id == keep)
        list_->selectionModel()->setCurrentIndex(sorted_->mapFromSource(list_model_->index(r, 0)),
                                                 QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
  }
}

void CChildFrame::refresh_list_keeping_selection(const std::set<std::int32_t>& rewritten) {
  // The selected row is known by what it shows: a document's or a topic's id.
  std::int32_t document = 0, topic = 0;
  if (const Item_list_model::Item* item = list_model_->item(sorted_->mapToSource(list_->currentIndex()).row())) {
    if (item->document.document) document = item->document.document->url_id;
    else if (item->topic) topic = item->topic->concept_id;
  }
  Document_handle before = current_.kind == Selection::document ? current_.document.document : Document_handle();
  int scrolled = list_->verticalScrollBar()->value();
  {
    QSignalBlocker quiet(list_->selectionModel());
    list_model_->refresh();
    for (int r = 0, n = list_model_->rowCount(); r < n && (document || topic); ++r) {
      const Item_list_model::Item* item = list_model_->item(r);
      bool same = document ? item->document.document && item->document.document->url_id == document
                           : item->topic && item->topic->concept_id == topic;
      if (!same) continue;
      list_->selectionModel()->setCurrentIndex(sorted_->mapFromSource(list_model_->index(r, 0)),
                                               QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
      // A rewritten document, when selected, shows what the agent now knows of it.
      if (document && before && before->url_id == document && rewritten.count(document)) {
        current_.document = item->document;
        show_detail();
      }
      break;
    }
  }
  list_->verticalScrollBar()->setValue(scrolled);
  list_->viewport()->update();
  emit status_text(list_model_->document_count_text());
}

}  // namespace orvalis::ui

namespace orvalis::ui {

namespace {
// The "Display" group's entries.
constexpr const char* kColumn_widths = "ListColumnWidths";
constexpr const char* kHorizontal_scroll = "HorizontalScrollPosition";
constexpr const char* kVertical_scroll = "VerticalScrollPosition";
}  // namespace

void CChildFrame::save_display() {
  if (!platform::Registry_store::instance().is_open()) return;
  QStringList widths;
  for (int c = 0; c < list_->header()->count(); ++c) widths << QString::number(list_->header()->sectionSize(c));
  profile_put_string(kColumn_widths, Ref_string(std::string_view(widths.join(',').toStdString())));
  profile_put_int(kHorizontal_scroll, tree_->horizontalScrollBar()->value());
  profile_put_int(kVertical_scroll, tree_->verticalScrollBar()->value());
}

void CChildFrame::restore_display() {
  if (!platform::Registry_store::instance().is_open()) return;
  Ref_string stored = profile_get_string(kColumn_widths, "");
  const QStringList widths = QString::fromUtf8(stored.c_str(), stored.length()).split(',', Qt::SkipEmptyParts);
  for (int c = 0; c < widths.size() && c < list_->header()->count(); ++c) {
    bool ok = false;
    int w = widths[c].toInt(&ok);
    if (ok && w > 0 && w < 10000) list_->header()->resizeSection(c, w);  // a wrong value is skipped
  }
  // The tree's scroll range is known once it is laid out.
  int h = profile_get_int(kHorizontal_scroll, 0), v = profile_get_int(kVertical_scroll, 0);
  auto apply = [this, h, v] {
    tree_->horizontalScrollBar()->setValue(h);
    tree_->verticalScrollBar()->setValue(v);
  };
  apply();
  QTimer::singleShot(0, this, apply);
}

}  // namespace orvalis::ui
