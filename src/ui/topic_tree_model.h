// Topic_tree_model is the topic tree of a topic window as a Qt item model: the four root
// folders, each a filter over the topics of the open database ("My Topics": the user's own;
// "Scheduled topics": with searching or summarizing scheduled; "Orvalis topics": predefined;
// "Topics with new info": modified in the last day, or holding a document whose page changed
// since the user last opened it), and below each topic its related topics, read when a node is
// first looked into. A topic's icon is yellow while it has new info and green afterwards.
// Owner: the topic window. Thread: the user-interface thread.
// REQUIRES: reload() after the open database or its topics change.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <memory>
#include <unordered_set>
#include <vector>

#include "database/topic.h"

namespace orvalis::ui {

class Topic_tree_model : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum Root { my_topics, scheduled_topics, orvalis_topics, topics_with_new_info, root_count };

  explicit Topic_tree_model(QObject* parent = nullptr);
  ~Topic_tree_model() override;

  // Reads the root folders' topics again (nothing when no database is open).
  void reload();

  // The topic at `index`; null for a root folder or an invalid index.
  Topic_handle topic_at(const QModelIndex& index) const;
  // True when `index` is a topic shown below another topic (a related topic).
  bool is_related(const QModelIndex& index) const;
  // The relation code leading to a related topic; empty otherwise.
  Ref_string relation_code(const QModelIndex& index) const;
  QModelIndex root_index(Root root) const { return index(root, 0); }
  // The first node showing the topic `concept_id` below `parent` (not searching related
  // topics); invalid when there is none.
  QModelIndex find_topic(std::int32_t concept_id, const QModelIndex& parent) const;

  // A topic's icon: yellow while modified in the last day, green afterwards.
  static QIcon topic_icon(bool is_new);
  static bool modified_recently(const Topic& topic);

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // Topics can be dragged; topics and root folders take drops.
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Node;
  Node* node(const QModelIndex& index) const;
  void load(Node& n) const;

  std::vector<std::unique_ptr<Node>> roots_;
  // The topics that have related topics, read once a reload: whether a topic node can be
  // opened is known without reading each topic's relations.
  mutable std::unordered_set<std::int32_t> with_related_;
  mutable bool with_related_read_ = false;
  // The topics with a changed document not yet opened, read once a reload.
  mutable std::unordered_set<std::int32_t> with_changes_;
  mutable bool with_changes_read_ = false;
  const std::unordered_set<std::int32_t>& with_changes() const;
};

}  // namespace orvalis::ui
