// Item_list_model is the item list of a topic window: the items of the node selected in the
// tree (a topic's related topics, then its documents; a root folder's topics) in ten columns:
// Name, Description, Enabled, Links, Summary, Images, Added By, Keywords, Address, Relevant.
// Numbers sort as numbers (Qt::UserRole holds the sort key). A document added by hand shows
// "Manual Edit" as the engine that added it; a link or image count stored as -1 shows "?".
// A new document's icon is yellow until its page has been retrieved, white afterwards; a
// document whose page changed since the user last opened it shows an orange icon.
// Owner: the topic window. Thread: the user-interface thread.
#pragma once

#include <QAbstractTableModel>
#include <unordered_set>
#include <vector>

#include "database/document.h"
#include "database/topic.h"

namespace orvalis::ui {

class Item_list_model : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column {
    name, description, enabled, links, summary, images, added_by, keywords, address, relevant,
    column_count
  };
  struct Item {
    Topic_handle topic;        // a topic row, or
    Topic_document document;   // a document row
    Ref_string relation;       // the relation code that leads to a related topic
  };

  explicit Item_list_model(QObject* parent = nullptr);

  // Shows the items of `topic`: its related topics and its live documents.
  void show_topic(const Topic_handle& topic);
  // Shows a list of topics (a root folder's).
  void show_topics(const Ref_list<Topic_handle>& topics);
  void clear();
  // Reads the shown topic's items again.
  void refresh();

  const Item* item(int row) const;
  // The document was opened: its icon no longer shows a change.
  void forget_change(std::int32_t url_id);
  const Topic_handle& shown_topic() const { return topic_; }
  // "%0 documents on topic." for the shown topic; empty when no topic is shown.
  QString document_count_text() const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Every item can be dragged; topics take drops.
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QVariant topic_cell(const Topic& t, int column, int role) const;
  QVariant document_cell(const Topic_document& d, int column, int role) const;

  // Reads which documents and topics have changes not yet seen.
  void read_changes();

  Topic_handle topic_;
  std::vector<Item> items_;
  std::unordered_set<std::int32_t> changed_documents_, changed_topics_;
  int documents_ = 0;
};

}  // namespace orvalis::ui
