#include "ui/find_dialog.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

#include "database/database.h"
#include "database/document_store.h"
#include "database/page_search_index.h"
#include "database/topic_store.h"
#include "ui/dialog_fields.h"
#include "ui/item_transfer.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

QString qs(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }

constexpr int kIs_document = Qt::UserRole + 1;
// A found document's title and snippet as rich text, drawn in place of its text.
constexpr int kSnippet = Qt::UserRole + 2;

// Draws an item that has a snippet as its rich text, in the colours of its state.
class Snippet_delegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QString html = index.data(kSnippet).toString();
    if (html.isEmpty()) return QStyledItemDelegate::paint(painter, option, index);
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    item.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    QTextDocument text;
    layout(text, html, option);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = option.palette;
    if (option.state & QStyle::State_Selected)
      context.palette.setColor(QPalette::Text, option.palette.color(QPalette::HighlightedText));
    painter->save();
    painter->translate(option.rect.topLeft());
    text.documentLayout()->draw(painter, context);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QString html = index.data(kSnippet).toString();
    if (html.isEmpty()) return QStyledItemDelegate::sizeHint(option, index);
    QTextDocument text;
    layout(text, html, option);
    return QSize(option.rect.width(), static_cast<int>(text.size().height()) + 2);
  }

 private:
  static void layout(QTextDocument& text, const QString& html, const QStyleOptionViewItem& option) {
    text.setDefaultFont(option.font);
    text.setDocumentMargin(3);
    text.setHtml(html);
    // A size is asked before the item has a place: the list's width then.
    int width = option.rect.width();
    if (width <= 0 && option.widget) width = option.widget->width() - 8;
    text.setTextWidth(width > 0 ? width : 480);
  }
};

// The results list: what it found can be dragged onto topics.
class Find_results : public QListWidget {
 protected:
  QStringList mimeTypes() const override { return {transfer_mime_type}; }
  QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override {
    Transfer t;
    t.database = QString::fromStdString(Database::shared().path());
    QStringList text;
    for (const QListWidgetItem* i : items) {
      Transfer_item item;
      item.document = i->data(kIs_document).toBool();
      (item.document ? item.url_id : item.concept_id) = i->data(Qt::UserRole).toInt();
      t.items.push_back(item);
      text << (item.document ? i->toolTip() : i->text());
    }
    return t.items.empty() ? nullptr : transfer_mime(t, text.join('\n'));
  }
};

}  // namespace

CFindDialog::CFindDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Find in local database");
  setObjectName("find_dialog");
  text_ = new QLineEdit;
  limit_to_field(text_);
  auto* label = new QLabel("&Search for:");
  label->setBuddy(text_);
  documents_ = new QRadioButton("Find &documents");
  topics_ = new QRadioButton("Find &topics");
  documents_->setChecked(true);
  auto* go = new QPushButton("&Find");
  go->setDefault(true);
  results_ = new Find_results;
  results_->setDragEnabled(true);
  results_->setDragDropMode(QAbstractItemView::DragOnly);
  results_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  results_->setObjectName("find_results");
  results_->setItemDelegate(new Snippet_delegate(results_));
  results_->setWordWrap(true);
  auto* close = new QPushButton("Close");

  auto* top = new QHBoxLayout;
  top->addWidget(label);
  top->addWidget(text_, 1);
  top->addWidget(go);
  auto* kinds = new QHBoxLayout;
  kinds->addWidget(documents_);
  kinds->addWidget(topics_);
  kinds->addStretch(1);
  kinds->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(kinds);
  layout->addWidget(results_, 1);
  resize(520, 360);
  connect(go, &QPushButton::clicked, this,
          [this] { find(text_->text(), documents_->isChecked()); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
}

namespace {

// The snippet as rich text: the matched words bold, everything else escaped.
QString marked_snippet(const Search_hit& hit) {
  QString html;
  std::size_t at = 0;
  auto plain = [&](std::size_t from, std::size_t to) {
    return QString::fromUtf8(hit.snippet.data() + from, static_cast<qsizetype>(to - from)).toHtmlEscaped();
  };
  for (auto [begin, end] : hit.marks) {
    html += plain(at, begin) + "<b>" + plain(begin, end) + "</b>";
    at = end;
  }
  return html + plain(at, hit.snippet.size());
}

void add_note(QListWidget* list, const QString& text) {
  auto* note = new QListWidgetItem(text);
  note->setFlags(Qt::NoItemFlags);
  list->addItem(note);
}

}  // namespace

bool CFindDialog::find_indexed(const QString& text) {
  Page_search_index index;
  std::vector<Search_hit> hits;
  try {
    // Documents stored since the agent last caught up get their rows first.
    index_documents_for_search(this);
    if (!index.ready()) return false;
    hits = index.search(text.toStdString());
  } catch (const Search_query_error& e) {
    add_note(results_, QString::fromStdString(e.what));
    return true;
  } catch (const Db_error& e) {
    report_db_error(e);
    return true;
  }
  for (const Search_hit& h : hits) {
    auto* item = new QListWidgetItem(qs(h.title.empty() ? h.address : h.title));
    item->setToolTip(qs(h.address));
    item->setData(Qt::UserRole, h.url_id);
    item->setData(kIs_document, true);
    item->setData(kSnippet, "<b>" + item->text().toHtmlEscaped() + "</b><br>" + marked_snippet(h));
    results_->addItem(item);
  }
  if (hits.empty()) add_note(results_, ui_text(10024));
  return true;
}

void CFindDialog::find(const QString& text, bool documents) {
  results_->clear();
  Ref_string wanted(std::string_view(text.toStdString()));
  if (documents && find_indexed(text)) return;
  if (documents) {
    for (const Document_handle& d : Document_store().find_documents(wanted)) {
      auto* item = new QListWidgetItem(qs(d->title.empty() ? d->address : d->title));
      item->setToolTip(qs(d->address));
      item->setData(Qt::UserRole, d->url_id);
      item->setData(kIs_document, true);
      results_->addItem(item);
    }
  } else {
    for (const Topic_handle& t : Topic_store::shared().topics_matching(wanted)) {
      auto* item = new QListWidgetItem(qs(t->name));
      item->setData(Qt::UserRole, t->concept_id);
      results_->addItem(item);
    }
  }
  if (results_->count() == 0) add_note(results_, ui_text(10024));
}

void index_documents_for_search(QWidget* parent) {
  QProgressDialog progress("Indexing the documents for search...", "Stop", 0, 100, parent);
  progress.setWindowTitle("Orvalis");
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(500);
  try {
    Page_search_index().build([&](std::int64_t done, std::int64_t total) {
      progress.setMaximum(static_cast<int>(std::min<std::int64_t>(total, INT32_MAX)));
      progress.setValue(static_cast<int>(std::min<std::int64_t>(done, INT32_MAX)));
      return !progress.wasCanceled();
    });
  } catch (const Db_error& e) {
    // What was indexed stays; Find searches the old way until the index is complete.
    report_db_error(e);
  }
}

}  // namespace orvalis::ui
