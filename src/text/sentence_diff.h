// What changed between two copies of a page's readable text, sentence by sentence: the texts
// are cut into sentences (a block break, or ".", "!" or "?" followed by white space, ends one),
// and the two lists are compared with Myers' O((N+M)D) algorithm in its linear-space form (the
// middle snake found from both ends, then each half compared alone), after the common head and
// tail are set aside. Memory stays linear in the number of sentences whatever the page; time is
// bounded too: when a part of the texts differs by more than max_cost edits, that part is given
// as removed and added whole, which is still a correct, if longer, account of the change.
//
// The result reads like a unified diff of lines: "-" for a removed sentence, "+" for an added
// one, " " for an unchanged one kept as context, and "@@ -a,n +b,m @@" before each hunk
// (sentences numbered from 1).
// Plain functions on values: any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvalis {

struct Sentence_edit {
  enum Kind : char { same = ' ', removed = '-', added = '+' };
  Kind kind = same;
  std::string text;
  int older = 0;  // 1-based sentence number in the older text (0 for an added sentence)
  int newer = 0;  // 1-based sentence number in the newer text (0 for a removed sentence)
};

// The sentences of a readable text, white space folded, in order.
std::vector<std::string> text_sentences(std::string_view text);

// Every sentence of both lists, in order, as kept, removed or added. `max_cost` bounds the
// edits searched for in one part (see above).
std::vector<Sentence_edit> diff_sentences(const std::vector<std::string>& older,
                                          const std::vector<std::string>& newer,
                                          int max_cost = 4000);

// The removed and added sentences only, in order.
std::vector<Sentence_edit> changed_sentences(std::string_view older, std::string_view newer);

// The unified form, with `context` unchanged sentences around each change and the two labels on
// the "---" and "+++" lines; empty when nothing changed.
std::string unified_sentence_diff(std::string_view older, std::string_view newer,
                                  std::string_view older_label, std::string_view newer_label,
                                  int context = 1);

}  // namespace orvalis
