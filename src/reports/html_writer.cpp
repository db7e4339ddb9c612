#include "reports/html_writer.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <new>

#include "foundation/error_handler.h"
#include "reports/html_text.h"

namespace orvalis {

namespace {

constexpr std::size_t margin = Html_writer::buffer_size - Html_writer::fill_limit;

constexpr std::string_view page_start = "<HTML>\n<HEAD><TITLE>";
constexpr std::string_view head_end = "</TITLE></HEAD>\n";
constexpr std::string_view body_end = "</BODY>\n";
constexpr std::string_view html_end = "</HTML>\n";

// Writes every piece, going on after short writes; false with errno set on failure.
bool write_all(int fd, iovec* pieces, int count) {
  while (count > 0) {
    ssize_t n = ::writev(fd, pieces, count > IOV_MAX ? IOV_MAX : count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    auto left = static_cast<std::size_t>(n);
    while (count > 0 && left >= pieces->iov_len) {
      left -= pieces->iov_len;
      ++pieces;
      --count;
    }
    if (count > 0) {
      pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
      pieces->iov_len -= left;
    }
  }
  return true;
}

}  // namespace

Html_writer::Html_writer() = default;
Html_writer::~Html_writer() { free(); }

Html_writer& Html_writer::shared() {
  static Html_writer writer;
  return writer;
}

bool Html_writer::start() {
  free();
  overflowed_ = false;
  failed_ = false;
  head_written_ = false;
  errors_ = std::make_unique<Passing_error_handler>();
  own_errors_ = 0;
  table_.reset(new (std::nothrow) std::unique_ptr<char[]>[max_buffers]);
  if (!table_) {
    errors_.reset();
    report_error("Out of memory allocating display output buffer array.");
    return false;
  }
  used_.reset(new (std::nothrow) std::size_t[max_buffers]());
  table_[0].reset(new (std::nothrow) char[buffer_size]);
  if (!used_ || !table_[0]) {
    table_.reset();
    used_.reset();
    errors_.reset();
    report_error("Out of memory allocating first display buffer.");
    return false;
  }
  in_use_ = 1;
  begin_ = table_[0].get();
  begin_[0] = 0;
  position_ = begin_;
  limit_ = begin_ + fill_limit;
  return true;
}

void Html_writer::free() {
  // A page left unfinished leaves no partial file behind.
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_path().c_str());
  }
  table_.reset();
  used_.reset();
  in_use_ = 0;
  begin_ = position_ = limit_ = nullptr;
  errors_.reset();
}

void Html_writer::report_own(const char* message) {
  ++own_errors_;
  report_error(message);
}

std::vector<std::string> Html_writer::page_errors() const {
  std::vector<std::string> out;
  if (!errors_) return out;
  int own = own_errors_;
  for (const Ref_string& m : errors_->messages()) {
    std::string text = m.str();
    // The writer's own buffer messages are no fault of the page, which is written cut.
    if (own > 0 && (text.starts_with("Output text buffer") || text.starts_with("Out of memory"))) {
      --own;
      continue;
    }
    out.push_back(std::move(text));
  }
  return out;
}

std::string Html_writer::error_page() const {
  std::string page;
  page.append(page_start).append(title_.view()).append(head_end);
  page += "<BODY>\n<P><STRONG>This page could not be built:</STRONG></P>\n<UL>\n";
  for (const std::string& e : page_errors()) {
    page += "<LI>";
    append_escaped_html(page, e);
    page += "</LI>\n";
  }
  page += "</UL>\n";
  page.append(body_end).append(html_end);
  return page;
}

std::string Html_writer::temporary_path() const { return output_path_.str() + ".part"; }

void Html_writer::fail_writing(int error) {
  if (!failed_)
    report_error(concat("Unable to write the page ", output_path_.view(), ": ", std::strerror(error)));
  failed_ = overflowed_ = true;
}

bool Html_writer::open_output() {
  if (fd_ >= 0) return true;
  if (!output_path_.empty())
    fd_ = ::open(temporary_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    report_error("Unable to open output file for writing to web server.");
    failed_ = overflowed_ = true;
    return false;
  }
  return true;
}

bool Html_writer::write_buffers(const std::string_view* tail, int tail_count) {
  std::unique_ptr<iovec[]> pieces(new iovec[static_cast<std::size_t>(in_use_ + tail_count) + 3]);
  int count = 0;
  auto put = [&](const void* data, std::size_t n) {
    pieces[count].iov_base = const_cast<void*>(data);
    pieces[count].iov_len = n;
    ++count;
  };
  if (!head_written_) {
    put(page_start.data(), page_start.size());
    put(title_.c_str(), static_cast<std::size_t>(title_.length()));
    put(head_end.data(), head_end.size());
  }
  for (int i = 0; i < in_use_; ++i)
    put(table_[i].get(), i + 1 < in_use_ ? used_[i] : static_cast<std::size_t>(position_ - begin_));
  for (int i = 0; i < tail_count; ++i) put(tail[i].data(), tail[i].size());
  if (!write_all(fd_, pieces.get(), count)) {
    fail_writing(errno);
    return false;
  }
  head_written_ = true;
  return true;
}

void Html_writer::new_buffer() {
  if (in_use_ == max_buffers) {
    // Every buffer is full: they go to the file and the page goes on in the first, so a page
    // has no size limit.
    if (!open_output() || !write_buffers(nullptr, 0)) return;
    in_use_ = 1;
    begin_ = table_[0].get();
    begin_[0] = 0;
    position_ = begin_;
    limit_ = begin_ + fill_limit;
    return;
  }
  char* buffer = table_[in_use_] ? table_[in_use_].get() : new (std::nothrow) char[buffer_size];
  if (!buffer) {
    report_own("Out of memory while attempting to allocate another display output buffer.");
    overflowed_ = true;  // nowhere left to put the rest of the page
    return;
  }
  used_[in_use_ - 1] = static_cast<std::size_t>(position_ - begin_);
  if (!table_[in_use_]) table_[in_use_].reset(buffer);
  ++in_use_;
  begin_ = buffer;
  begin_[0] = 0;
  position_ = begin_;
  limit_ = begin_ + fill_limit;
}

void Html_writer::copy(const char* text, std::size_t n) {
  std::memcpy(position_, text, n);
  position_ += n;
  *position_ = 0;
}

void Html_writer::append(std::string_view text) {
  if (in_use_ == 0 || overflowed_) return;
  const char* p = text.data();
  std::size_t n = text.size();
  for (;;) {
    // Fits when the text and its zero end before the buffer's end
    // (write position + length + 1 - fill limit < 1024).
    if (position_ + n + 1 < limit_ + margin) {
      copy(p, n);
      if (position_ > limit_) new_buffer();
      return;
    }
    if (n + 1 < buffer_size) {
      // A fresh buffer takes the text whole.
      new_buffer();
      if (overflowed_) return;
      continue;
    }
    // Longer than a whole buffer: fill this one to its fill limit and go on in the next.
    std::size_t take = position_ < limit_ ? static_cast<std::size_t>(limit_ - position_) : 0;
    copy(p, take);
    p += take;
    n -= take;
    new_buffer();
    if (overflowed_) return;
  }
}

std::size_t Html_writer::text_length() const {
  std::size_t total = 0;
  for (int i = 0; i + 1 < in_use_; ++i) total += used_[i];
  if (in_use_ > 0) total += static_cast<std::size_t>(position_ - begin_);
  return total;
}

std::string Html_writer::page_text(bool frames_page) const {
  std::string page;
  page.reserve(text_length() + title_.length() + 64);
  page.append(page_start).append(title_.view()).append(head_end);
  for (int i = 0; i < in_use_; ++i)
    page.append(table_[i].get(), i + 1 < in_use_ ? used_[i] : static_cast<std::size_t>(position_ - begin_));
  if (!frames_page) page.append(body_end);
  page.append(html_end);
  return page;
}

bool Html_writer::write_page(bool frames_page) {
  if (failed_ || !open_output()) {
    free();
    return false;
  }
  // A page built with errors is replaced by the list of them, whatever went to the file.
  const std::string errors = page_errors().empty() ? std::string() : error_page();
  bool ok;
  if (!errors.empty()) {
    iovec page{const_cast<char*>(errors.data()), errors.size()};
    ok = ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0 && write_all(fd_, &page, 1);
    if (!ok) fail_writing(errno);
  } else {
    const std::string_view tail[] = {frames_page ? std::string_view() : body_end, html_end};
    ok = write_buffers(tail, 2);
  }
  if (ok) {
    // Replaced whole: a failed write leaves the old page.
    const int closed = ::close(fd_);
    fd_ = -1;
    const std::string temporary = temporary_path();
    if (closed != 0 || ::rename(temporary.c_str(), output_path_.c_str()) != 0) {
      fail_writing(errno);
      ::unlink(temporary.c_str());
      ok = false;
    }
  }
  free();  // after a failed write, closes and removes the partial file
  return ok;
}

void Html_writer::indent(int level) {
  static constexpr char blanks[] = "                                                                ";
  std::size_t n = static_cast<std::size_t>(level > 0 ? level : 0) * 2;
  if (n > sizeof blanks - 1) n = sizeof blanks - 1;
  append(std::string_view(blanks, n));
}

void Html_writer::put_number(long long value) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec;
  scratch_.append(digits, static_cast<std::size_t>(end - digits));
}

void Html_writer::bold(std::string_view text) {
  scratch_.assign("<STRONG>").append(text).append("</STRONG>");
  append(scratch_);
}

void Html_writer::link(std::string_view address, std::string_view text, std::string_view target) {
  scratch_.assign("<A HREF=\"").append(address).push_back('"');
  if (!target.empty()) scratch_.append(" TARGET=\"").append(target).push_back('"');
  scratch_.append(">").append(text).append("</A>");
  append(scratch_);
}

void Html_writer::body_background(std::string_view image_address) {
  scratch_.assign("<BODY BACKGROUND=\"").append(image_address).append("\">\n");
  append(scratch_);
}

void Html_writer::image(std::string_view source, std::string_view align, int border,
                        std::string_view alternative_text, int width, int height) {
  scratch_.assign("<IMG SRC=\"").append(source).append("\" ALIGN=");
  scratch_.append(align.empty() ? std::string_view("BOTTOM") : align).append(" BORDER=");
  put_number(border);
  scratch_.append(" ALT = \"").append(alternative_text).push_back('"');
  if (width > 0) {
    scratch_.append(" WIDTH=");
    put_number(width);
  }
  if (height > 0) {
    scratch_.append(" HEIGHT=");
    put_number(height);
  }
  scratch_.push_back('>');
  append(scratch_);
}

void Html_writer::table(std::string_view colour, std::string_view caption) {
  if (colour.empty())
    scratch_.assign("<TABLE>\n");
  else
    scratch_.assign("<TABLE BGCOLOR=\"").append(colour).append("\">\n");
  if (!caption.empty()) scratch_.append("<CAPTION>").append(caption).append("</CAPTION>\n");
  append(scratch_);
}

void Html_writer::end_table() { append("</TABLE>\n"); }

void Html_writer::row(std::string_view colour) {
  scratch_.assign("<TR");
  if (!colour.empty()) scratch_.append(" BGCOLOR=\"").append(colour).push_back('"');
  scratch_.push_back('>');
  append(scratch_);
}

void Html_writer::end_row() { append("</TR>\n"); }

void Html_writer::cell_start(std::string_view opening, const Cell& cell) {
  scratch_.assign(opening);
  if (cell.column_span > 1) {
    scratch_.append(" COLSPAN=");
    put_number(cell.column_span);
  }
  if (cell.row_span > 1) {
    scratch_.append(" ROWSPAN=");
    put_number(cell.row_span);
  }
  if (!cell.colour.empty()) scratch_.append(" BGCOLOR=\"").append(cell.colour).push_back('"');
  if (cell.height > 0) {
    scratch_.append(" HEIGHT=");
    put_number(cell.height);
  }
  if (cell.width > 0) {
    scratch_.append(" WIDTH=");
    put_number(cell.width);
  }
  scratch_.push_back('>');
  append(scratch_);
}

void Html_writer::header_cell(const Cell& cell) { cell_start("<TH", cell); }
void Html_writer::left_header_cell(const Cell& cell) { cell_start("<TH ALIGN=LEFT", cell); }
void Html_writer::end_header_cell() { append("</TH>"); }
void Html_writer::cell(const Cell& cell) { cell_start("<TD", cell); }
void Html_writer::centred_cell(const Cell& cell) { cell_start("<TD ALIGN=CENTER", cell); }
void Html_writer::right_cell(const Cell& cell) { cell_start("<TD ALIGN=RIGHT", cell); }
void Html_writer::end_cell() { append("</TD>"); }

void Html_writer::frameset(Frameset_kind kind, std::string_view sizes) {
  scratch_.assign(kind == rows ? "<FRAMESET ROWS=\"" : "<FRAMESET COLS=\"").append(sizes).append("\">\n");
  append(scratch_);
}

void Html_writer::frame(std::string_view name, std::string_view source) {
  scratch_.assign("<FRAME NAME=\"").append(name).append("\" SRC=\"").append(source).append("\">\n");
  append(scratch_);
}

void Html_writer::noframes_start() { append("<NOFRAMES>\n"); }
void Html_writer::noframes_end() { append("</NOFRAMES>\n"); }
void Html_writer::end_frameset() { append("</FRAMESET>\n"); }

}  // namespace orvalis
