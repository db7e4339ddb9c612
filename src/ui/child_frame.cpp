#include "ui/child_frame.h"

#include <QHeaderView>
#include <QMenu>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrl>
#include <QTreeView>
#include <QVBoxLayout>

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
  emit selection_changed();
}

void CChildFrame::show_detail() {
  // "ViewerType" chooses the rich-text form or the generated detail page.
  const bool pages = platform::Registry_store::instance().is_open() &&
                     profile_get_string("ViewerType", "ViewerRichEdit") == "ViewerIExplore";
  auto html = [](const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); };
  if (current_.kind == Selection::document && current_.document.document) {
    const Document& d = *current_.document.document;
    detail_->setHtml(pages ? html(document_detail(d, current_.document.link,
                                                  Detail_options::from_settings()))
                           : document_detail_html(d));
  } else if (current_.topic) {
    detail_->setHtml(pages ? html(topic_detail(*current_.topic))
                           : topic_detail_html(*current_.topic));
  } else {
    detail_->clear();
  }
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

}  // namespace orvalis::ui
