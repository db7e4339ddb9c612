// Html_writer assembles one HTML page at a time and writes it to a file. The generated pages
// (the topic index, the topic pages, the framed document pages) call one operation per element
// and finish with write_page, which writes the rest of the page and frees the writer. There is
// one process-wide writer (shared()): one page is under construction at a time.
//
// The text goes into up to 300 buffers of 32768 bytes, each filled to 31744 bytes (the fill
// limit) so that an ordinary text is copied whole without a bounds check per byte; a text that
// would pass a buffer's end starts the next buffer first, and a text longer than a whole
// buffer is split across buffers. Nothing is ever moved or grown. When all 300 are full they
// are written to the file (the output path with ".part" added) and the page goes on in the
// first one again, so a page has no size limit and takes at most 300 buffers of memory.
// write_page renames the finished file over the output path; a page that fails or is dropped
// leaves the old page and no partial file.
//
// The page on disk is "<HTML>", the head with the title, the buffers in order, then
// "</BODY>" (not for a frames page) and "</HTML>". The opening body tag is the page's own.
// The writer adds no escaping: callers pass HTML-ready text (see html_text.h for escaping).
//
// An error reported while a page is built (between start and write_page: a database that
// fails while the page reads it, say) is still reported as usual, and the page written lists
// the errors instead of its body, so it never shows empty tables or zero counts as if they
// were true. Running out of buffers is not such an error: that page is written cut.
//
// Element texts are fixed byte for byte; Q below is one double quote:
//   bold            <STRONG>text</STRONG>
//   link            <A HREF=Q..Q[ TARGET=Q..Q]>text</A>
//   image           <IMG SRC=Q..Q ALIGN=a BORDER=b ALT = Q..Q[ WIDTH=w][ HEIGHT=h]>
//   cells           <TD|<TD ALIGN=CENTER|<TD ALIGN=RIGHT|<TH|<TH ALIGN=LEFT + attributes + >
// and the others as their functions say.
//
// Thread: the user-interface thread. REQUIRES: start() before any element; the output path
// and the title are set before the page outgrows its buffers; each page is finished by
// write_page() or free().
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/error_handler.h"
#include "foundation/ref_string.h"

namespace orvalis {

// Attributes of a table cell, each written only when it differs from its default.
struct Html_cell {
  int column_span = 1;
  int row_span = 1;
  std::string_view colour;
  int height = 0;
  int width = 0;
};

class Html_writer {
 public:
  static constexpr int max_buffers = 300;
  static constexpr std::size_t buffer_size = 32768;
  static constexpr std::size_t fill_limit = 31744;  // 1024 bytes below the buffer's end

  enum Frameset_kind { rows, columns };

  using Cell = Html_cell;

  Html_writer();
  ~Html_writer();
  Html_writer(const Html_writer&) = delete;
  Html_writer& operator=(const Html_writer&) = delete;

  static Html_writer& shared();

  // Allocates the buffer table and the first buffer; false after reporting that memory ran
  // out. A page under construction is dropped first.
  bool start();
  // Writes the rest of the page and puts it at the output path (replacing the file whole, so
  // a failed write leaves the old page), then frees the buffers in every case. False after
  // reporting a failure.
  bool write_page(bool frames_page);
  // Releases every buffer and drops a page begun on disk; buffers in use becomes 0.
  void free();
  // The page form of what the buffers hold, as write_page would write it (of a page that
  // outgrew its buffers, what was not written yet).
  std::string page_text(bool frames_page) const;

  void set_title(const Ref_string& title) { title_ = title; }
  void set_output_path(const Ref_string& path) { output_path_ = path; }
  const Ref_string& output_path() const { return output_path_; }

  int buffers_in_use() const { return in_use_; }
  bool building() const { return in_use_ > 0; }
  // True once texts are being dropped: memory ran out or the file could not be written.
  bool overflowed() const { return overflowed_; }
  // The errors reported since start() (the writer's own buffer messages left out).
  std::vector<std::string> page_errors() const;
  // Bytes of page text held in the buffers.
  std::size_t text_length() const;

  // Copies the text into the buffers.
  void append(std::string_view text);
  // Two blanks per nesting level.
  void indent(int level);

  void bold(std::string_view text);
  void link(std::string_view address, std::string_view text, std::string_view target = {});
  void body_background(std::string_view image_address);
  void image(std::string_view source, std::string_view align, int border,
             std::string_view alternative_text, int width = 0, int height = 0);
  void table(std::string_view colour = {}, std::string_view caption = {});
  void end_table();
  void row(std::string_view colour = {});
  void end_row();
  void header_cell(const Cell& cell = {});
  void left_header_cell(const Cell& cell = {});
  void end_header_cell();
  void cell(const Cell& cell = {});
  void centred_cell(const Cell& cell = {});
  void right_cell(const Cell& cell = {});
  void end_cell();
  void frameset(Frameset_kind kind, std::string_view sizes);
  void frame(std::string_view name, std::string_view source);
  void noframes_start();
  void noframes_end();
  void end_frameset();

 private:
  void new_buffer();
  std::string temporary_path() const;
  // Opens the file the page is written to; false after reporting that it cannot be.
  bool open_output();
  // Writes the head (once), the buffers' texts and `tail`; false after reporting a failure.
  bool write_buffers(const std::string_view* tail, int tail_count);
  void fail_writing(int error);
  void copy(const char* text, std::size_t n);
  void cell_start(std::string_view opening, const Cell& cell);
  void put_number(long long value);
  void report_own(const char* message);
  // The page that lists the errors, in place of the page's own text.
  std::string error_page() const;

  std::unique_ptr<std::unique_ptr<char[]>[]> table_;  // max_buffers entries
  std::unique_ptr<std::size_t[]> used_;  // text bytes of each full buffer
  int in_use_ = 0;
  char* begin_ = nullptr;     // the newest buffer
  char* position_ = nullptr;  // where the next text goes in the newest buffer
  char* limit_ = nullptr;     // the newest buffer's fill limit
  bool overflowed_ = false;
  bool failed_ = false;        // the file could not be opened or written
  bool head_written_ = false;  // the page's head is in the file
  int fd_ = -1;                // the file being written, once the buffers filled
  std::unique_ptr<Passing_error_handler> errors_;  // while a page is built
  int own_errors_ = 0;
  Ref_string title_;
  Ref_string output_path_;
  std::string scratch_;  // one element's text while it is built
};

}  // namespace orvalis
