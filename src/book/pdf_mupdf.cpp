// Every MuPDF call of the program. MuPDF reports errors with setjmp/longjmp, which skips C++
// destructors: each call is wrapped in a small function whose try block holds no C++ object and
// which turns an error into a null or a failure. The C++ source class above them only combines
// their results.
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "base/utf8.h"
#include "book/page_source.h"

namespace {

// MuPDF's cache of decoded fonts and images; an e-reader keeps it modest.
constexpr size_t kStoreBytes = 64u << 20;
constexpr size_t kReadChunk = 16384;
constexpr int kMaxOutlineLevel = 8;
constexpr size_t kMetaMax = 1200;

void quiet(void*, const char*) {}

// One context for the process, made on the first PDF; only the core thread uses it.
fz_context* context() {
  static fz_context* ctx = [] {
    fz_context* c = fz_new_context(nullptr, nullptr, kStoreBytes);
    if (c) {
      // Damaged files are common; their repairs are not the user's business.
      fz_set_warning_callback(c, quiet, nullptr);
      fz_set_error_callback(c, quiet, nullptr);
    }
    return c;
  }();
  return ctx;
}

// The file seen from the "%PDF" marker on, read with pread so nothing else moves its position.
struct FileView {
  int fd;
  int64_t base;
  int64_t size;
  unsigned char buf[kReadChunk];
};

int view_next(fz_context*, fz_stream* stm, size_t) {
  auto* v = static_cast<FileView*>(stm->state);
  int64_t left = v->size - stm->pos;
  size_t want = left > 0 ? static_cast<size_t>(std::min<int64_t>(left, kReadChunk)) : 0;
  ssize_t got = want ? pread(v->fd, v->buf, want, static_cast<off_t>(v->base + stm->pos)) : 0;
  if (got <= 0) return EOF;  // the end, or a file that shrank
  stm->rp = v->buf;
  stm->wp = v->buf + got;
  stm->pos += got;
  return *stm->rp++;
}

void view_seek(fz_context*, fz_stream* stm, int64_t offset, int whence) {
  auto* v = static_cast<FileView*>(stm->state);
  int64_t from = whence == SEEK_END ? v->size : whence == SEEK_CUR ? stm->pos - (stm->wp - stm->rp) : 0;
  stm->pos = std::clamp<int64_t>(from + offset, 0, v->size);
  stm->rp = stm->wp = v->buf;
}

void view_drop(fz_context* ctx, void* state) {
  auto* v = static_cast<FileView*>(state);
  close(v->fd);
  fz_free(ctx, v);
}

fz_stream* open_view(fz_context* ctx, int fd, int64_t base, int64_t size) {
  FileView* v = nullptr;
  fz_stream* stm = nullptr;
  fz_var(v);
  fz_var(stm);
  fz_try(ctx) {
    v = static_cast<FileView*>(fz_malloc(ctx, sizeof(FileView)));
    v->fd = fd;
    v->base = base;
    v->size = size;
    stm = fz_new_stream(ctx, v, view_next, view_drop);
    stm->seek = view_seek;
  }
  fz_catch(ctx) {
    if (v) fz_free(ctx, v);
    close(fd);
    return nullptr;
  }
  return stm;
}

// 1 open, 0 failed, -1 needs a password.
int open_pdf(fz_context* ctx, fz_stream* stm, fz_document** out) {
  pdf_document* doc = nullptr;
  int result = 1;
  fz_var(doc);
  fz_var(result);
  fz_try(ctx) {
    doc = pdf_open_document_with_stream(ctx, stm);
    if (pdf_needs_password(ctx, doc)) result = -1;
  }
  fz_always(ctx) fz_drop_stream(ctx, stm);
  fz_catch(ctx) result = 0;
  if (result != 1 && doc) fz_drop_document(ctx, &doc->super);
  *out = result == 1 ? &doc->super : nullptr;
  return result;
}

int count_pages(fz_context* ctx, fz_document* doc) {
  int n = 0;
  fz_var(n);
  fz_try(ctx) n = fz_count_pages(ctx, doc);
  fz_catch(ctx) n = 0;
  return n;
}

fz_page* load_page(fz_context* ctx, fz_document* doc, int number) {
  fz_page* page = nullptr;
  fz_var(page);
  fz_try(ctx) page = fz_load_page(ctx, doc, number);
  fz_catch(ctx) page = nullptr;
  return page;
}

int bound_page(fz_context* ctx, fz_page* page, fz_rect* out) {
  int ok = 1;
  fz_var(ok);
  fz_try(ctx) *out = fz_bound_page(ctx, page);
  fz_catch(ctx) ok = 0;
  return ok;
}

// Draws straight into the caller's grey rows: no intermediate bitmap, no conversion.
int draw_page(fz_context* ctx, fz_page* page, fz_matrix ctm, unsigned char* out, int w, int h,
              int stride) {
  fz_pixmap* pix = nullptr;
  fz_device* dev = nullptr;
  int ok = 1;
  fz_var(ok);
  fz_var(pix);
  fz_var(dev);
  fz_try(ctx) {
    pix = fz_new_pixmap_with_data(ctx, fz_device_gray(ctx), w, h, nullptr, 0, stride, out);
    fz_clear_pixmap_with_value(ctx, pix, 255);
    dev = fz_new_draw_device(ctx, fz_identity, pix);
    fz_run_page(ctx, page, dev, ctm, nullptr);
    fz_close_device(ctx, dev);
  }
  fz_always(ctx) {
    fz_drop_device(ctx, dev);
    fz_drop_pixmap(ctx, pix);
  }
  fz_catch(ctx) ok = 0;
  return ok;
}

fz_stext_page* load_text(fz_context* ctx, fz_page* page) {
  fz_stext_page* text = nullptr;
  fz_stext_options options{};
  fz_var(text);
  fz_try(ctx) text = fz_new_stext_page_from_page(ctx, page, &options);
  fz_catch(ctx) text = nullptr;
  return text;
}

int lookup_meta(fz_context* ctx, fz_document* doc, const char* key, char* out, int size) {
  int n = -1;
  fz_var(n);
  fz_try(ctx) n = fz_lookup_metadata(ctx, doc, key, out, size);
  fz_catch(ctx) n = -1;
  return n;
}

fz_outline* load_outline(fz_context* ctx, fz_document* doc) {
  fz_outline* outline = nullptr;
  fz_var(outline);
  fz_try(ctx) outline = fz_load_outline(ctx, doc);
  fz_catch(ctx) outline = nullptr;
  return outline;
}

// The 0-based page an outline item leads to; -1 when it leads nowhere.
int outline_page(fz_context* ctx, fz_document* doc, const fz_outline* item) {
  int page = -1;
  fz_var(page);
  fz_try(ctx) {
    fz_location loc = item->page;
    if (loc.page < 0 && item->uri) {
      float x = 0, y = 0;
      loc = fz_resolve_link(ctx, doc, item->uri, &x, &y);
    }
    if (loc.page >= 0) page = fz_page_number_from_location(ctx, doc, loc);
  }
  fz_catch(ctx) page = -1;
  return page;
}

// Owners for MuPDF objects (dropping never throws).
struct PageDropper {
  void operator()(fz_page* p) const { fz_drop_page(context(), p); }
};
using PagePtr = std::unique_ptr<fz_page, PageDropper>;
struct TextDropper {
  void operator()(fz_stext_page* t) const { fz_drop_stext_page(context(), t); }
};
using TextPtr = std::unique_ptr<fz_stext_page, TextDropper>;
struct OutlineDropper {
  void operator()(fz_outline* o) const { fz_drop_outline(context(), o); }
};
using OutlinePtr = std::unique_ptr<fz_outline, OutlineDropper>;

void trim_ascii_space(std::string& s) {
  const char* space = " \t\n\r\f\v";
  const size_t first = s.find_first_not_of(space);
  if (first == std::string::npos) {
    s.clear();
    return;
  }
  s.erase(s.find_last_not_of(space) + 1);
  s.erase(0, first);
}

class MupdfSource final : public PageSource {
 public:
  MupdfSource(fz_document* doc, int pages) : doc_(doc), pages_(pages) {}
  ~MupdfSource() override {
    page_.reset();
    fz_drop_document(context(), doc_);
  }
  MupdfSource(const MupdfSource&) = delete;
  MupdfSource& operator=(const MupdfSource&) = delete;

  int page_count() const override { return pages_; }
  bool is_picture_book() const override { return false; }

  bool page_size(int page, float& w, float& h) override {
    fz_rect box;
    if (!select(page, box)) return false;
    w = box.x1 - box.x0;
    h = box.y1 - box.y0;
    return true;
  }

  bool render(int page, float scale, uint8_t* out, int w, int h, int stride) override {
    fz_rect box;
    if (!select(page, box)) return false;
    const fz_matrix ctm = fz_pre_translate(fz_scale(scale, scale), -box.x0, -box.y0);
    return draw_page(context(), page_.get(), ctm, out, w, h, stride) == 1;
  }

  bool page_text(int page, std::vector<PageChar>& out) override {
    out.clear();
    fz_rect box;
    if (!select(page, box)) return false;
    TextPtr text(load_text(context(), page_.get()));
    if (!text) return false;
    for (fz_stext_block* b = text->first_block; b; b = b->next) {
      if (b->type != FZ_STEXT_BLOCK_TEXT) continue;
      for (fz_stext_line* line = b->u.t.first_line; line; line = line->next) {
        for (fz_stext_char* ch = line->first_char; ch; ch = ch->next) {
          const fz_rect r = fz_rect_from_quad(ch->quad);
          out.push_back({static_cast<uint32_t>(ch->c), r.x0 - box.x0, r.y0 - box.y0, r.x1 - box.x0,
                         r.y1 - box.y0});
        }
        out.push_back({'\n', 0, 0, 0, 0});
      }
    }
    return true;
  }

  std::string meta(const char* key) override {
    char buf[kMetaMax] = {};
    const std::string info = std::string("info:") + key;
    if (lookup_meta(context(), doc_, info.c_str(), buf, sizeof buf) <= 0) return {};
    std::string value(buf, strnlen(buf, sizeof buf));
    trim_ascii_space(value);
    return value;
  }

  std::vector<PdfOutlineEntry> outline(size_t max) override {
    std::vector<PdfOutlineEntry> out;
    OutlinePtr root(load_outline(context(), doc_));
    walk(root.get(), 0, max, out);
    return out;
  }

 private:
  // Makes `page` the loaded page (sizing and drawing one page load it once) and gives its box.
  bool select(int page, fz_rect& box) {
    if (!page_ || page_number_ != page) {
      page_.reset(load_page(context(), doc_, page));
      page_number_ = page;
    }
    return page_ && bound_page(context(), page_.get(), &box) == 1;
  }

  void walk(const fz_outline* item, int level, size_t max, std::vector<PdfOutlineEntry>& out) {
    for (; item && level <= kMaxOutlineLevel && out.size() < max; item = item->next) {
      PdfOutlineEntry e{};
      const char* title = item->title ? item->title : "";
      const size_t n = utf8_prefix_length(title, sizeof e.title - 1);
      memcpy(e.title, title, n);
      e.page = std::max(outline_page(context(), doc_, item), 0);
      e.level = level;
      out.push_back(e);
      walk(item->down, level + 1, max, out);
    }
  }

  fz_document* doc_;
  int pages_;
  PagePtr page_;
  int page_number_ = -1;
};

}  // namespace

std::unique_ptr<PageSource> mupdf_source_open(int fd, int64_t offset, int64_t size, SourceError& error) {
  error = SourceError::open_failed;
  fz_context* ctx = context();
  const int own = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
  if (!ctx || own < 0 || offset < 0 || offset > size) {
    if (own >= 0) close(own);
    return nullptr;
  }
  fz_stream* stm = open_view(ctx, own, offset, size - offset);
  if (!stm) return nullptr;
  fz_document* doc = nullptr;
  const int opened = open_pdf(ctx, stm, &doc);
  if (opened != 1) {
    if (opened < 0) error = SourceError::password;
    return nullptr;
  }
  const int pages = count_pages(ctx, doc);
  if (pages <= 0) {
    fz_drop_document(ctx, doc);
    error = SourceError::no_pages;
    return nullptr;
  }
  error = SourceError::none;
  return std::make_unique<MupdfSource>(doc, pages);
}
