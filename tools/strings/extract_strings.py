#!/usr/bin/env python3
"""Collect the program's numbered texts from the design document and write the string table.

Usage: extract_strings.py DESIGN_DOCUMENT [OUTPUT_CPP]

DESIGN_DOCUMENT is the Markdown design document that states every user-facing text together with
its number. OUTPUT_CPP defaults to src/platform/string_table.cpp beside this script's repository.

The document states numbered texts in several shapes, all recognised here:
  - inline:            "Text" (10001)   "Day" (18042, every day)   "Yes" (string 10102)
  - number first:      string 10216 "Text"   text 10140 "Text"   text 22000 ("40")
  - table rows:        | 10188 | "Text" |   | 10113, 10114 | "A", "B" |
                       | 400 | 10199 | "Text" |   | "@" | 12024 | "A kind of" | "~" |
                       | 12011 | advice: "First" + CR LF + "second" + CR LF |
  - command tables:    | 8003 | Search the Web | "Prompt\nTool tip" | ... |
  - prose lists whose texts stand apart from their numbers (PROSE_TEXTS below; each is checked
    to appear word for word in the document).
Texts the document numbers without writing them out are ours (OWN_TEXTS below).

Escapes written in the document's texts (\\r, \\n, \\t, \\") become the real characters; any other
backslash is kept as written (rich-text control words and registry paths hold backslashes).

The generated table is the source of truth afterwards: the file says so in its header and is
edited by hand from then on; run this script again only to compare against the document.
"""

import argparse
import html.entities
import pathlib
import re
import sys

# ---------------------------------------------------------------------------------------------
# Texts the document states in prose, apart from their numbers. Copied word for word; the
# script fails when one of them no longer appears in the document.
PROSE_TEXTS = {
    # New subtopic named after its parent and the proposal.
    10027: "%0 and %1",
    # Steps shown above a captured search form, in this order.
    10080: "Follow these steps to capture the search engine:<br><ul>",
    10081: "<li> Type or cut and paste the word 'searchfield' (without quotes) to the text input "
           "field.<br>",
    10082: "<li> Select any search options.  Please specify the query as phrase based (adjacent "
           "words), or as an AND query to get better results with multi-word queries.<br>",
    10083: "<li> Press the 'submit' or 'search' button which is normally used to start a search."
           "</ul><hr><br>",
    # Answer page after a successful capture.
    10085: "<HTML><HEAD><TITLE>Successful Search Resource Capture</TITLE></HEAD><BODY>Search "
           "resource '%0' added successfully.</BODY></HTML>",
}

# ---------------------------------------------------------------------------------------------
# Our own texts: numbers the document uses whose wording it leaves to us.
OWN_TEXTS = {
    # Weekdays between "Sunday" (18035) and "Saturday" (18041) of the schedule editor.
    18036: "Monday",
    18037: "Tuesday",
    18038: "Wednesday",
    18039: "Thursday",
    18040: "Friday",
    # The 24 hours of the day offered by the schedule editor, split at ",".
    18043: ",".join(["Midnight"] + ["%d am" % h for h in range(1, 12)] + ["Noon"]
                    + ["%d pm" % h for h in range(1, 12)]),
    # Default query transformation: "hostfragment mode" entries split at ","; mode 2 puts "+"
    # before every word, mode 1 joins the words with " AND ". The last matching entry wins.
    18047: ",".join([
        "google 2", "bing 2", "duckduckgo 2", "yandex 2",
        "search.yahoo 1", "ecosia 1", "startpage 1", "qwant 1", "mojeek 1", "search.brave 1",
        "baidu 1",
    ]),
}

# Tips of the day, 22001 onwards; 22000 holds their count as text.
OWN_TIPS = [
    "Type a subject into the Quick Topics bar and press Search: Orvalis makes a topic of it and "
    "starts searching the web at once.",
    "The New Topic Wizard (File menu) lets you add keyword terms and choose which category of "
    "search resources the agent uses for a topic.",
    "Every topic can have several query terms. The agent searches each term on every enabled "
    "search resource of the topic's category.",
    "Put \"=\" in front of a query term to send it exactly as typed, as one phrase.",
    "Select a topic and choose Agent/Search the Web to look for new documents on it right away.",
    "Choose Agent/Schedule Tasks to let the agent search for a topic every few hours, days or "
    "weeks, or on a given weekday at a given hour.",
    "Topics with new information are gathered under \"Topics with new info\" in the topic tree, "
    "so you can see at a glance what the agent found.",
    "The \"Scheduled topics\" folder holds every topic that has agent tasks scheduled to run.",
    "A topic's icon is yellow for a day after the topic changed, then it turns green.",
    "A newly retrieved document has a yellow icon; it turns white once you have seen it.",
    "Summarize a document to have Orvalis read it and pick its key terms and its most telling "
    "sentences.",
    "Summarize Documents on Topic summarizes every document of a topic in one go.",
    "Follow Links adds the documents a page points to, so a good page becomes a starting point "
    "for more.",
    "Drag a document onto a topic to add it to that topic; drag a topic onto another to relate "
    "the two.",
    "Drop with the right mouse button to choose whether to move, copy or merge the dragged items.",
    "Related topics appear below a topic in the tree. Use Select Relation to say how they are "
    "related: a kind of, a part of, a member of, and more.",
    "Create Related Topic starts a new topic that is tied to the selected one from the start.",
    "Click a column heading in the item list to sort the documents by that column, for example "
    "by relevance.",
    "The Relevant column shows how closely a document matches its topic.",
    "The detail pane shows a document's summary and keywords; right-click it to copy the text.",
    "Organize by Content proposes subtopics from the key terms of a topic's summarized "
    "documents and moves the documents into the subtopics you pick.",
    "To refine a query, organize a topic by content with \"New topics inherit search terms of "
    "parent topic\" checked: each new subtopic searches the parent's terms together with its own "
    "label.",
    "Find in Database (Edit menu) finds documents by address, title or summary, and topics by "
    "name or query term.",
    "Documents found with Find in Database can be dragged straight onto a topic.",
    "View in Browser opens the selected document, or a page listing the selected topic's "
    "documents, in your web browser.",
    "View Scheduled Topics in Browser shows all your scheduled topics as one page of links.",
    "Orvalis writes an index of all your topics as web pages that you can open in any browser "
    "and share with others.",
    "Add a search engine of your own with Agent/Edit Search Resources: Orvalis captures its "
    "search form while you fill it out in your browser.",
    "When capturing a search engine, type the word searchfield into its search box and submit "
    "the form.",
    "List address fragments under \"Filter out these URL links\" of a search resource to skip "
    "the links that lead to the service's own pages.",
    "Search resources are grouped in categories; choose a category for a topic to decide which "
    "services search for it.",
    "Behind a firewall? Set your proxy host and port on the Network page of Tools/Options.",
    "If searches often time out, raise the network time-out on the Network page of "
    "Tools/Options.",
    "The number of connections on the Network page limits how many documents Orvalis fetches "
    "at the same time.",
    "The status bar shows how many tasks the agent is working on and what it is doing now.",
    "Stop All Tasks (Agent menu) stops every search and summary the agent is working on.",
    "Write your own notes about a document on the Annotation page of its properties; they "
    "appear on its report page.",
    "Use Compact (File menu, with no database open) now and then to keep your topic database "
    "small and fast.",
    "Import (File menu, with no database open) converts a topic database of the earlier format "
    "to the current one.",
    "You can turn this welcome dialog off and on again from the View menu.",
]

# Numbers in the 10000-29999 range that the document uses for something other than a text.
NOT_TEXT_IDS = {
    10035,  # the socket layer's would-block error code
    29999,  # a result code of the browser's remote control
}

QUOTED = r'"((?:[^"\\]|\\.)*)"'
ID = r'(\d{4,5})'


def unescape(text):
    """Turn the document's escapes into the characters they stand for."""
    return re.sub(r'\\([rnt"])',
                  lambda m: {'r': '\r', 'n': '\n', 't': '\t', '"': '"'}[m.group(1)], text)


def eval_concatenation(cell):
    """A cell like `advice: "a" + CR LF + "b" + CR LF`, or None when it is not one."""
    m = re.search(r'"(?:[^"\\]|\\.)*"(?:\s*\+\s*(?:CR LF|LF|CR|"(?:[^"\\]|\\.)*"))+', cell)
    if not m:
        return None
    out = []
    for part in re.findall(r'CR LF|LF|CR|"(?:[^"\\]|\\.)*"', m.group(0)):
        out.append({'CR LF': '\r\n', 'LF': '\n', 'CR': '\r'}.get(part)
                   or unescape(part[1:-1]))
    return ''.join(out)


class Collector:
    def __init__(self):
        self.found = {}       # id -> text
        self.where = {}       # id -> first line number
        self.conflicts = []   # (id, line, text, earlier line, earlier text)

    def add(self, ident, text, line):
        if ident in self.found and self.found[ident] != text:
            self.conflicts.append((ident, line, text, self.where[ident], self.found[ident]))
            return
        self.found.setdefault(ident, text)
        self.where.setdefault(ident, line)


def scan_table_row(line, lineno, col):
    cells = [c.strip() for c in line.strip().strip('|').split('|')]
    for i, cell in enumerate(cells):
        if not re.fullmatch(r'\d{4,5}(?:, \d{4,5})*', cell):
            continue
        ids = [int(x) for x in cell.split(', ')]
        if ids[0] < 8000:  # a status code or a count, not a text number
            continue
        for rest in cells[i + 1:]:
            if '"' not in rest:
                continue
            joined = eval_concatenation(rest) if len(ids) == 1 else None
            if joined is not None:
                col.add(ids[0], joined, lineno)
                return
            texts = [unescape(t) for t in re.findall(QUOTED, rest)]
            if len(texts) < len(ids):
                raise SystemExit('line %d: %d ids but %d texts' % (lineno, len(ids), len(texts)))
            for ident, text in zip(ids, texts):
                col.add(ident, text, lineno)
            return
        return


def scan_line(line, lineno, col):
    if line.lstrip().startswith('|'):
        scan_table_row(line, lineno, col)
    # "Text" (12345...)  and  "Text" (string 12345)
    for m in re.finditer(QUOTED + r' \((?:string |text )?' + ID + r'\b[,;)]', line):
        col.add(int(m.group(2)), unescape(m.group(1)), lineno)
    # string 12345 "Text"  /  text 12345 ("Text")
    for m in re.finditer(r'\b(?:string|text) ' + ID + r' (?:' + QUOTED + r'|\(' + QUOTED + r'\))',
                         line):
        col.add(int(m.group(1)), unescape(m.group(2) if m.group(2) is not None else m.group(3)),
                lineno)
    # (12345) "Text"
    for m in re.finditer(r'\(' + ID + r'\) ' + QUOTED, line):
        col.add(int(m.group(1)), unescape(m.group(2)), lineno)


def entity_names(lines):
    for i, line in enumerate(lines):
        if 'The names are, in this order:' in line and '17001' in line:
            names = lines[i + 1].strip().rstrip('.').split()
            in_byte_order = [n.encode() for n in names] == sorted(n.encode() for n in names)
            if len(names) != 101 or not in_byte_order:
                raise SystemExit('entity list: expected 101 names in byte order')
            return names
    raise SystemExit('entity list not found')


def entity_text(name):
    special = {'hibar': 0xAF, 'trade': 0x2122}
    code = special.get(name, html.entities.name2codepoint.get(name))
    if code is None or (name not in special and code > 0xFF):
        raise SystemExit('entity %s: no ISO-8859-1 character' % name)
    return chr(code)


def cpp_literal_pieces(text, width=88):
    """C++ string literal pieces (plain ASCII) that concatenate to the UTF-8 of text."""
    tokens = []
    for byte in text.encode('utf-8'):
        ch = chr(byte)
        if ch in '"\\':
            tokens.append('\\' + ch)
        elif ch == '\n':
            tokens.append('\\n')
        elif ch == '\r':
            tokens.append('\\r')
        elif ch == '\t':
            tokens.append('\\t')
        elif 0x20 <= byte < 0x7F:
            tokens.append(ch)
        else:
            tokens.append('\\%03o' % byte)  # octal: never swallows a following digit
    pieces, cur = [], []
    for tok in tokens:
        if sum(map(len, cur)) + len(tok) > width:
            # Break after the last blank when there is one, else where the width ends.
            blanks = [i for i, t in enumerate(cur) if t == ' ']
            cut = blanks[-1] + 1 if blanks else len(cur)
            pieces.append(''.join(cur[:cut]))
            cur = cur[cut:]
        cur.append(tok)
    pieces.append(''.join(cur))
    return ['"%s"' % p for p in pieces]


HEADER = '''\
// The program's string table: every numbered text (messages, labels, status texts, task
// descriptions, dialog texts, tips of the day) and the characters of the HTML entity table
// (17001 onwards, UTF-8), looked up by number.
//
// First generated by tools/strings/extract_strings.py; edit here. This table is the source of
// truth: keep the ids in ascending order (checked at compile time).
#include "platform/string_table.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace orvalis::platform {
namespace {

struct String_entry {
    int id;
    const char* text;
};

'''

FOOTER = '''\
constexpr bool ids_strictly_ascending() {
    for (std::size_t i = 1; i < k_strings.size(); ++i) {
        if (k_strings[i - 1].id >= k_strings[i].id) return false;
    }
    return true;
}
static_assert(ids_strictly_ascending(), "string table ids must be ascending and unique");

}  // namespace

const char* load_string(int id) noexcept {
    const auto* it = std::lower_bound(
        k_strings.begin(), k_strings.end(), id,
        [](const String_entry& entry, int wanted) { return entry.id < wanted; });
    if (it == k_strings.end() || it->id != id) return nullptr;
    return it->text;
}

}  // namespace orvalis::platform
'''


def render(table):
    out = [HEADER, 'constexpr std::array<String_entry, %d> k_strings{{\n' % len(table)]
    for ident in sorted(table):
        pieces = cpp_literal_pieces(table[ident])
        one_line = '    {%d, %s},\n' % (ident, pieces[0])
        if len(pieces) == 1 and len(one_line) <= 101:
            out.append(one_line)
        else:
            out.append('    {%d,\n' % ident)
            for p in pieces[:-1]:
                out.append('     %s\n' % p)
            out.append('     %s},\n' % pieces[-1])
    out.append('}};\n\n')
    out.append(FOOTER)
    return ''.join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('document', help='the design document (Markdown) stating the texts')
    default_out = pathlib.Path(__file__).resolve().parents[2] / 'src/platform/string_table.cpp'
    parser.add_argument('output', nargs='?', default=str(default_out))
    args = parser.parse_args()

    source = pathlib.Path(args.document).read_text(encoding='utf-8')
    lines = source.splitlines()
    col = Collector()
    for lineno, line in enumerate(lines, 1):
        scan_line(line, lineno, col)

    flat = source.replace('\\"', '"')
    for ident, text in PROSE_TEXTS.items():
        if text not in flat:
            raise SystemExit('prose text %d no longer in the document: %r' % (ident, text))
        col.add(ident, text, 0)

    table = dict(col.found)
    own = dict(OWN_TEXTS)
    own[22000] = str(len(OWN_TIPS))
    for n, tip in enumerate(OWN_TIPS):
        own[22001 + n] = tip
    for ident, text in own.items():
        if ident in table and table[ident] != text:
            raise SystemExit('own text %d differs from the document: %r' % (ident, table[ident]))
        table.setdefault(ident, text)

    for n, name in enumerate(entity_names(lines)):
        table[17001 + n] = entity_text(name)

    for ident, line, text, first_line, first_text in col.conflicts:
        print('conflict %d: line %d %r vs line %d %r' % (ident, first_line, first_text, line,
                                                          text), file=sys.stderr)

    # Numbers mentioned in the text range that got no text: review these by hand.
    mentioned = {int(x) for x in re.findall(r'(?<![\d.-])(1\d{4}|2\d{4})(?![\d.])', source)}
    missing = sorted(mentioned - set(table) - NOT_TEXT_IDS)
    if missing:
        print('numbers without a text: %s' % ', '.join(map(str, missing)), file=sys.stderr)

    pathlib.Path(args.output).write_text(render(table), encoding='ascii')
    print('%d texts written to %s' % (len(table), args.output))


if __name__ == '__main__':
    main()
