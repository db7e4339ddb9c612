// Moving, copying and merging topics and documents onto topics: what cut, copy and paste and
// drag and drop in the topic windows do to the database.
//
// A Transfer is the items taken (by a cut, a copy or the start of a drag), each with the place
// it was taken from: a document with the topic it was listed under, a topic with the topic it
// stood under or the root folder that listed it. It travels as MIME data of our own type
// ("application/x-orvalis-items", naming the database file it belongs to) with the items'
// names and addresses as plain text for other programs.
//
// A Drop_target is a topic (with the topics above its node in the tree, nearest first) or a
// root folder. check_drop says which of Move, Copy and Merge mean something there:
//   a topic onto a topic: Move makes it a subtopic of the target and takes it from its old
//     place (the topic it stood under, or the "My Topics" or "Orvalis topics" folder); Copy
//     makes it a subtopic of the target as well; Merge joins it, with its documents, terms
//     and relations, into the target and deletes it;
//   a topic onto "My Topics": Copy makes it one of the user's own top-level topics, Move also
//     takes it from the topic it stood under;
//   a document onto a topic: Copy links it to the target with the finder and relevance it
//     had; Move also removes it from the topic it was listed under.
// Refused: an item onto itself or onto its own place (a topic onto the topic it stands under
// can only be merged there), a topic onto a node below its own, a document onto a root folder,
// a topic onto the folders that are filters ("Scheduled topics", "Topics with new info",
// "Orvalis topics"), and items of another database file. A document that the target holds
// already is refused when dropped, with "The document you are trying to add already exists."
//
// Thread: the user-interface thread. REQUIRES: the database the transfer names is open.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "ui/commands.h"

class QMimeData;

namespace orvalis::ui {

inline constexpr const char* transfer_mime_type = "application/x-orvalis-items";

struct Transfer_item {
  bool document = false;
  std::int32_t concept_id = 0;    // the topic; for a document the topic it was listed under (0: none)
  std::int32_t url_id = 0;        // the document
  std::int32_t source_topic = 0;  // a topic: the topic it stood under (0: none)
  int source_root = -1;           // a topic: the root folder that listed it (-1: none)
};

struct Transfer {
  QString database;  // the database file the items belong to
  bool cut = false;  // taken by Cut: pasting moves them
  std::vector<Transfer_item> items;
};

struct Drop_target {
  std::int32_t topic = 0;  // the target topic, or
  int root = -1;           // the target root folder (Topic_tree_model::Root)
  std::vector<std::int32_t> above;  // the topics of the nodes above the target, nearest first
};

enum class Refusal { none, other_database, onto_itself, onto_descendant, no_meaning };

struct Drop_check {
  Refusal refusal = Refusal::none;
  bool move = false, copy = false, merge = false;
  bool allows(int command) const;
};

// The MIME data of a transfer: our own type, and `text` for other programs.
QMimeData* transfer_mime(const Transfer& transfer, const QString& text);
// The transfer the data carries; nothing when it carries none (or a malformed one).
std::optional<Transfer> transfer_from_mime(const QMimeData* data);

// The items as plain text: a topic's name or a document's address, one a line.
QString transfer_text(const Transfer& transfer);

// Which actions mean something for `transfer` at `target`, or why none does.
Drop_check check_drop(const Transfer& transfer, const Drop_target& target);

// Does `command` (cmd_drop_move, cmd_drop_copy or cmd_drop_merge) when check_drop allows it,
// all or nothing. False when nothing was done; `message` then holds what to tell the user
// (empty when there is nothing to tell).
bool perform_drop(const Transfer& transfer, const Drop_target& target, int command,
                  QString& message);

}  // namespace orvalis::ui
