#include "ui/item_transfer.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <QStringList>
#include <algorithm>

#include "database/database.h"
#include "database/db_error.h"
#include "database/document_store.h"
#include "database/topic_store.h"
#include "platform/clock.h"
#include "ui/topic_tree_model.h"
#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

constexpr quint32 kFormat_version = 1;
constexpr std::size_t kMost_items = 10000;  // more than any selection makes; guards the reader
constexpr const char* kSubtopic = "~";      // from the parent: "A specific kind is"

bool holds(const std::vector<std::int32_t>& ids, std::int32_t id) {
  return std::find(ids.begin(), ids.end(), id) != ids.end();
}

bool same_text(const Ref_string& a, const Ref_string& b) {
  return QString::fromUtf8(a.c_str(), a.length())
             .compare(QString::fromUtf8(b.c_str(), b.length()), Qt::CaseInsensitive) == 0;
}

// What one item allows at the target.
Drop_check check_item(const Transfer_item& item, const Drop_target& target) {
  Drop_check c;
  if (item.document) {
    if (!target.topic) c.refusal = Refusal::no_meaning;
    else if (target.topic == item.concept_id) c.refusal = Refusal::onto_itself;
    else c.move = c.copy = true;
    return c;
  }
  if (!target.topic) {
    if (target.root != Topic_tree_model::my_topics) c.refusal = Refusal::no_meaning;
    else if (item.source_root == Topic_tree_model::my_topics) c.refusal = Refusal::onto_itself;
    else c.move = c.copy = true;
    return c;
  }
  if (target.topic == item.concept_id) c.refusal = Refusal::onto_itself;
  else if (holds(target.above, item.concept_id)) c.refusal = Refusal::onto_descendant;
  else if (target.topic == item.source_topic) c.merge = true;  // it stands there already
  else c.move = c.copy = c.merge = true;
  return c;
}

// The link a document had to the topic it was taken from, as the link it gets at the target.
Document_link link_to_carry(Document_store& docs, const Transfer_item& item) {
  Document_link link;
  link.relevant = 1;
  if (!item.concept_id) return link;
  for (const Topic_document& d : docs.documents_of_topic(item.concept_id, true))
    if (d.document->url_id == item.url_id) {
      link.query = d.link.query;
      link.search_resource = d.link.search_resource;
      link.relevant = d.link.relevant;
      break;
    }
  return link;
}

bool save_flags(Topic_store& topics, std::int32_t id, int root, std::uint8_t value) {
  Topic_handle t = topics.topic(id);
  if (!t) return false;
  if (root == Topic_tree_model::my_topics) {
    t->is_user_top_level = value;
    if (value) t->is_user_topic = 1;
  } else if (root == Topic_tree_model::orvalis_topics) {
    t->is_top_level = value;
  } else {
    return true;  // the other folders are filters: nothing to take it from
  }
  return topics.save_topic(*t);
}

// Thrown inside the transaction to roll everything back.
struct Undo {
  QString message;
};

void move_or_copy_document(const Transfer_item& item, const Drop_target& target, bool move) {
  Document_store docs;
  Document_link link = link_to_carry(docs, item);
  if (!docs.link_document(target.topic, item.url_id, link, true)) throw Undo{ui_text(12008)};
  if (move && item.concept_id) docs.remove_document_from_topic(item.concept_id, item.url_id);
}

void move_or_copy_topic(const Transfer_item& item, const Drop_target& target, bool move) {
  Topic_store& topics = Topic_store::shared();
  if (target.topic) {
    if (!topics.relate(target.topic, item.concept_id, Ref_string(kSubtopic))) throw Undo{};
  } else if (!save_flags(topics, item.concept_id, target.root, 1)) {
    throw Undo{};
  }
  if (!move) return;
  if (item.source_topic && !topics.unrelate(item.source_topic, item.concept_id)) throw Undo{};
  if (item.source_root >= 0 && item.source_root != target.root &&
      !save_flags(topics, item.concept_id, item.source_root, 0))
    throw Undo{};
}

// Joins the topic `from` into `into`: its live documents (with their finders), its name and
// terms as terms, its relations to other topics; then deletes it.
void merge_topic(std::int32_t from, std::int32_t into) {
  Topic_store& topics = Topic_store::shared();
  Document_store docs;
  Topic_handle source = topics.topic(from), target = topics.topic(into);
  if (!source || !target) throw Undo{};
  for (const Topic_document& d : docs.documents_of_topic(from, false)) {
    Document_link link;
    link.query = d.link.query;
    link.search_resource = d.link.search_resource;
    link.relevant = d.link.relevant;
    docs.link_document(into, d.document->url_id, link, true);  // false: the target has it
  }
  for (const Related_topic& r : topics.related_topics(from)) {
    if (r.topic->concept_id == into) continue;
    bool known = false;
    for (const Related_topic& mine : topics.related_topics(into))
      known = known || mine.topic->concept_id == r.topic->concept_id;
    if (!known && !topics.relate(into, r.topic->concept_id, r.code)) throw Undo{};
  }
  Ref_list<Ref_string> terms = target->terms;
  auto add_term = [&terms, &target](const Ref_string& term) {
    if (term.empty() || same_text(term, target->name)) return;
    for (const Ref_string& t : terms)
      if (same_text(t, term)) return;
    terms.append(term);
  };
  add_term(source->name);
  for (const Ref_string& t : source->terms) add_term(t);
  target->terms = terms;
  target->time_last_modified = Db_date::at(platform::now());
  if (!topics.save_topic(*target) || !topics.delete_topic(from)) throw Undo{};
  topics.drop_cached(from);
}

}  // namespace

bool Drop_check::allows(int command) const {
  if (refusal != Refusal::none) return false;
  switch (command) {
    case cmd_drop_move: return move;
    case cmd_drop_copy: return copy;
    case cmd_drop_merge: return merge;
    default: return false;
  }
}

QMimeData* transfer_mime(const Transfer& transfer, const QString& text) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << kFormat_version << transfer.database << transfer.cut
      << static_cast<quint32>(transfer.items.size());
  for (const Transfer_item& i : transfer.items)
    out << i.document << qint32(i.concept_id) << qint32(i.url_id) << qint32(i.source_topic)
        << qint32(i.source_root);
  auto* data = new QMimeData;
  data->setData(transfer_mime_type, bytes);
  data->setText(text);
  return data;
}

std::optional<Transfer> transfer_from_mime(const QMimeData* data) {
  if (!data || !data->hasFormat(transfer_mime_type)) return std::nullopt;
  QByteArray bytes = data->data(transfer_mime_type);
  QDataStream in(bytes);
  quint32 version = 0, count = 0;
  Transfer t;
  in >> version >> t.database >> t.cut >> count;
  if (in.status() != QDataStream::Ok || version != kFormat_version || count == 0 ||
      count > kMost_items)
    return std::nullopt;
  for (quint32 n = 0; n < count; ++n) {
    Transfer_item i;
    qint32 concept_id = 0, url_id = 0, source_topic = 0, source_root = -1;
    in >> i.document >> concept_id >> url_id >> source_topic >> source_root;
    i.concept_id = concept_id;
    i.url_id = url_id;
    i.source_topic = source_topic;
    i.source_root = source_root;
    if ((i.document && !i.url_id) || (!i.document && !i.concept_id)) return std::nullopt;
    t.items.push_back(i);
  }
  if (in.status() != QDataStream::Ok) return std::nullopt;
  return t;
}

QString transfer_text(const Transfer& transfer) {
  QStringList lines;
  for (const Transfer_item& item : transfer.items) {
    if (item.document) {
      Document d;
      if (Document_store().load_document(d, item.url_id))
        lines << QString::fromUtf8(d.address.c_str(), d.address.length());
    } else if (Topic_handle t = Topic_store::shared().topic(item.concept_id)) {
      lines << QString::fromUtf8(t->name.c_str(), t->name.length());
    }
  }
  return lines.join('\n');
}

Drop_check check_drop(const Transfer& transfer, const Drop_target& target) {
  Drop_check all;
  if (!Database::shared().is_open() ||
      transfer.database != QString::fromStdString(Database::shared().path())) {
    all.refusal = Refusal::other_database;
    return all;
  }
  all.move = all.copy = all.merge = true;
  bool topics = false, documents = false;
  for (const Transfer_item& item : transfer.items) {
    Drop_check c = check_item(item, target);
    if (c.refusal != Refusal::none) return c;
    all.move = all.move && c.move;
    all.copy = all.copy && c.copy;
    all.merge = all.merge && c.merge;
    (item.document ? documents : topics) = true;
  }
  if (!topics && !documents) all.refusal = Refusal::no_meaning;
  if (documents) all.merge = false;  // only a topic joins another
  if (!all.move && !all.copy && !all.merge) all.refusal = Refusal::onto_itself;
  return all;
}

bool perform_drop(const Transfer& transfer, const Drop_target& target, int command,
                  QString& message) {
  message.clear();
  if (!check_drop(transfer, target).allows(command)) return false;
  Database& db = Database::shared();
  try {
    Db_transaction transaction(db);
    try {
      for (const Transfer_item& item : transfer.items) {
        if (command == cmd_drop_merge)
          merge_topic(item.concept_id, target.topic);
        else if (item.document)
          move_or_copy_document(item, target, command == cmd_drop_move);
        else
          move_or_copy_topic(item, target, command == cmd_drop_move);
      }
      if (target.topic && command != cmd_drop_merge) {
        Topic_handle t = Topic_store::shared().topic(target.topic);
        if (!t) throw Undo{};
        t->time_last_modified = Db_date::at(platform::now());
        if (!Topic_store::shared().save_topic(*t)) throw Undo{};
      }
    } catch (const Undo& undo) {
      transaction.rollback();
      message = undo.message;
      Topic_store::shared().clear_cache();  // its topics may hold what was rolled back
      return false;
    }
    transaction.commit();
    return true;
  } catch (const Db_error& e) {
    Topic_store::shared().clear_cache();
    report_db_error(e);
    return false;
  }
}

}  // namespace orvalis::ui
