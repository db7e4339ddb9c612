#include "text/sentence_diff.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace orvalis {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// Compares a[a0, a1) with b[b0, b1) by keys, marking what is removed from a and added in b.
class Differ {
 public:
  Differ(const std::vector<std::uint64_t>& a, const std::vector<std::uint64_t>& b, int max_cost)
      : a_(a), b_(b), removed_(a.size(), false), added_(b.size(), false), max_cost_(max_cost) {}

  void compare(int a0, int a1, int b0, int b1) {
    // An explicit stack: a long run of alternating changes would otherwise recurse deeply.
    struct Part {
      int a0, a1, b0, b1;
    };
    std::vector<Part> parts{{a0, a1, b0, b1}};
    while (!parts.empty()) {
      Part p = parts.back();
      parts.pop_back();
      while (p.a0 < p.a1 && p.b0 < p.b1 && a_[p.a0] == b_[p.b0]) ++p.a0, ++p.b0;
      while (p.a0 < p.a1 && p.b0 < p.b1 && a_[p.a1 - 1] == b_[p.b1 - 1]) --p.a1, --p.b1;
      if (p.a0 == p.a1 || p.b0 == p.b1) {
        mark(p.a0, p.a1, p.b0, p.b1);
        continue;
      }
      int x = 0, y = 0;
      if (!middle(p.a0, p.a1, p.b0, p.b1, x, y)) {
        mark(p.a0, p.a1, p.b0, p.b1);
        continue;
      }
      parts.push_back({p.a0 + x, p.a1, p.b0 + y, p.b1});
      parts.push_back({p.a0, p.a0 + x, p.b0, p.b0 + y});
    }
  }

  const std::vector<bool>& removed() const { return removed_; }
  const std::vector<bool>& added() const { return added_; }

 private:
  void mark(int a0, int a1, int b0, int b1) {
    for (int i = a0; i < a1; ++i) removed_[i] = true;
    for (int j = b0; j < b1; ++j) added_[j] = true;
  }

  // Finds a point (x, y), relative to the part, that an optimal edit path goes through, by
  // growing the furthest-reaching paths from both corners until they meet. False when the
  // part needs more than max_cost edits.
  bool middle(int a0, int a1, int b0, int b1, int& split_x, int& split_y) {
    const int n = a1 - a0, m = b1 - b0;
    const int max_d = std::min((n + m + 1) / 2, max_cost_);
    const int offset = max_d + 1, length = 2 * max_d + 3;
    std::vector<int> v1(length, -1), v2(length, -1);
    v1[offset + 1] = 0;
    v2[offset + 1] = 0;
    const int delta = n - m;
    const bool front = delta % 2 != 0;
    int k1start = 0, k1end = 0, k2start = 0, k2end = 0;
    for (int d = 0; d < max_d; ++d) {
      for (int k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
        const int k1o = offset + k1;
        int x1 = (k1 == -d || (k1 != d && v1[k1o - 1] < v1[k1o + 1])) ? v1[k1o + 1] : v1[k1o - 1] + 1;
        int y1 = x1 - k1;
        while (x1 < n && y1 < m && a_[a0 + x1] == b_[b0 + y1]) ++x1, ++y1;
        v1[k1o] = x1;
        if (x1 > n) {
          k1end += 2;
        } else if (y1 > m) {
          k1start += 2;
        } else if (front) {
          const int k2o = offset + delta - k1;
          if (k2o >= 0 && k2o < length && v2[k2o] != -1 && x1 >= n - v2[k2o]) {
            split_x = x1, split_y = y1;
            return true;
          }
        }
      }
      for (int k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
        const int k2o = offset + k2;
        int x2 = (k2 == -d || (k2 != d && v2[k2o - 1] < v2[k2o + 1])) ? v2[k2o + 1] : v2[k2o - 1] + 1;
        int y2 = x2 - k2;
        while (x2 < n && y2 < m && a_[a1 - x2 - 1] == b_[b1 - y2 - 1]) ++x2, ++y2;
        v2[k2o] = x2;
        if (x2 > n) {
          k2end += 2;
        } else if (y2 > m) {
          k2start += 2;
        } else if (!front) {
          const int k1o = offset + delta - k2;
          if (k1o >= 0 && k1o < length && v1[k1o] != -1) {
            const int x1 = v1[k1o], y1 = x1 - (delta - k2);
            if (x1 >= n - x2) {
              split_x = x1, split_y = y1;
              return true;
            }
          }
        }
      }
    }
    return false;
  }

  const std::vector<std::uint64_t>& a_;
  const std::vector<std::uint64_t>& b_;
  std::vector<bool> removed_, added_;
  int max_cost_;
};

// Equal sentences get equal keys; unequal ones almost never do, and the comparison below checks.
std::vector<std::uint64_t> keys_of(const std::vector<std::string>& sentences) {
  std::vector<std::uint64_t> keys;
  keys.reserve(sentences.size());
  for (const std::string& s : sentences) keys.push_back(std::hash<std::string>{}(s));
  return keys;
}

}  // namespace

std::vector<std::string> text_sentences(std::string_view text) {
  std::vector<std::string> out;
  std::string current;
  auto end_sentence = [&] {
    while (!current.empty() && current.back() == ' ') current.pop_back();
    if (!current.empty()) out.push_back(std::move(current));
    current.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n') {
      end_sentence();
    } else if (is_blank(c)) {
      if (!current.empty() && current.back() != ' ') current += ' ';
    } else {
      current += c;
      if ((c == '.' || c == '!' || c == '?') &&
          (i + 1 == text.size() || is_blank(text[i + 1]) || text[i + 1] == '\n'))
        end_sentence();
    }
  }
  end_sentence();
  return out;
}

std::vector<Sentence_edit> diff_sentences(const std::vector<std::string>& older,
                                          const std::vector<std::string>& newer, int max_cost) {
  const std::vector<std::uint64_t> a = keys_of(older), b = keys_of(newer);
  Differ differ(a, b, std::max(max_cost, 1));
  differ.compare(0, static_cast<int>(a.size()), 0, static_cast<int>(b.size()));
  std::vector<Sentence_edit> out;
  size_t i = 0, j = 0;
  while (i < older.size() || j < newer.size()) {
    if (i < older.size() && differ.removed()[i]) {
      out.push_back({Sentence_edit::removed, older[i], static_cast<int>(i + 1), 0});
      ++i;
    } else if (j < newer.size() && differ.added()[j]) {
      out.push_back({Sentence_edit::added, newer[j], 0, static_cast<int>(j + 1)});
      ++j;
    } else if (i < older.size() && j < newer.size() && older[i] == newer[j]) {
      out.push_back({Sentence_edit::same, older[i], static_cast<int>(i + 1), static_cast<int>(j + 1)});
      ++i, ++j;
    } else {
      // Two sentences whose keys collided: a change after all.
      if (i < older.size()) out.push_back({Sentence_edit::removed, older[i], static_cast<int>(i + 1), 0}), ++i;
      if (j < newer.size()) out.push_back({Sentence_edit::added, newer[j], 0, static_cast<int>(j + 1)}), ++j;
    }
  }
  return out;
}

std::vector<Sentence_edit> changed_sentences(std::string_view older, std::string_view newer) {
  std::vector<Sentence_edit> out;
  for (Sentence_edit& e : diff_sentences(text_sentences(older), text_sentences(newer)))
    if (e.kind != Sentence_edit::same) out.push_back(std::move(e));
  return out;
}

std::string unified_sentence_diff(std::string_view older, std::string_view newer,
                                  std::string_view older_label, std::string_view newer_label,
                                  int context) {
  const std::vector<Sentence_edit> edits = diff_sentences(text_sentences(older), text_sentences(newer));
  const int count = static_cast<int>(edits.size());
  context = std::max(context, 0);
  std::string out;
  int i = 0;
  // Sentences of each side before edits[counted] (kept as the hunks go, so many hunks stay linear).
  int counted = 0, older_before = 0, newer_before = 0;
  while (i < count) {
    while (i < count && edits[i].kind == Sentence_edit::same) ++i;
    if (i == count) break;
    // A hunk: from `context` sentences before this change to `context` after the last change
    // that lies within 2 x context unchanged sentences of the one before.
    const int start = std::max(0, i - context);
    int last = i;  // the hunk's last change
    for (int k = i + 1; k < count && k - last <= 2 * context + 1; ++k)
      if (edits[k].kind != Sentence_edit::same) last = k;
    const int end = std::min(count, last + 1 + context);
    int older_first = 0, older_count = 0, newer_first = 0, newer_count = 0;
    for (; counted < start; ++counted) {
      if (edits[counted].kind != Sentence_edit::added) ++older_before;
      if (edits[counted].kind != Sentence_edit::removed) ++newer_before;
    }
    for (int k = start; k < end; ++k) {
      if (edits[k].kind != Sentence_edit::added) ++older_count;
      if (edits[k].kind != Sentence_edit::removed) ++newer_count;
    }
    older_first = older_count ? older_before + 1 : older_before;
    newer_first = newer_count ? newer_before + 1 : newer_before;
    if (out.empty())
      out += "--- " + std::string(older_label) + "\n+++ " + std::string(newer_label) + "\n";
    out += "@@ -" + std::to_string(older_first) + "," + std::to_string(older_count) + " +" +
           std::to_string(newer_first) + "," + std::to_string(newer_count) + " @@\n";
    for (int k = start; k < end; ++k) {
      out += static_cast<char>(edits[k].kind);
      out += edits[k].text;
      out += '\n';
    }
    i = end;
  }
  return out;
}

}  // namespace orvalis
