// The font slots: embedded faces, and the reading family loaded from the user's storage.
#include <array>
#include <cstdio>
#include <vector>

#include "base/paths.h"
#include "display/font_cache.h"
#include "display/font_validate.h"
#include "display/fonts.h"

extern "C" const unsigned char ql_ttf_SourceSerif4_Regular[], ql_ttf_SourceSerif4_Regular_end[];
extern "C" const unsigned char ql_ttf_SourceSerif4_It[], ql_ttf_SourceSerif4_It_end[];
extern "C" const unsigned char ql_ttf_SourceSerif4_Bold[], ql_ttf_SourceSerif4_Bold_end[];
extern "C" const unsigned char ql_ttf_HankenGrotesk_Regular[], ql_ttf_HankenGrotesk_Regular_end[];
extern "C" const unsigned char ql_ttf_HankenGrotesk_SemiBold[], ql_ttf_HankenGrotesk_SemiBold_end[];
extern "C" const unsigned char ql_ttf_CharisSIL_Regular[], ql_ttf_CharisSIL_Regular_end[];

namespace {

constexpr size_t kMaxFontFileBytes = 67108863;
constexpr size_t kMaxFontPathBytes = 511;

const std::array<ByteReader, kFontSlots> kEmbedded = {{
    {ql_ttf_SourceSerif4_Regular, size_t(ql_ttf_SourceSerif4_Regular_end - ql_ttf_SourceSerif4_Regular)},
    {ql_ttf_SourceSerif4_It, size_t(ql_ttf_SourceSerif4_It_end - ql_ttf_SourceSerif4_It)},
    {ql_ttf_SourceSerif4_Bold, size_t(ql_ttf_SourceSerif4_Bold_end - ql_ttf_SourceSerif4_Bold)},
    {ql_ttf_HankenGrotesk_Regular, size_t(ql_ttf_HankenGrotesk_Regular_end - ql_ttf_HankenGrotesk_Regular)},
    {ql_ttf_HankenGrotesk_SemiBold, size_t(ql_ttf_HankenGrotesk_SemiBold_end - ql_ttf_HankenGrotesk_SemiBold)},
    {ql_ttf_CharisSIL_Regular, size_t(ql_ttf_CharisSIL_Regular_end - ql_ttf_CharisSIL_Regular)},
}};

std::array<FontFace, kFontSlots> g_slots;
// The loaded family's files (regular, italic, bold); a missing italic or bold uses the regular.
std::array<std::vector<uint8_t>, 3> g_family;

// Sets a slot up from whole-file data; false when stb_truetype refuses it.
bool setup_slot(FontFace& f, ByteReader file, uint32_t face) {
  f = FontFace{};
  if (!stbtt_InitFont(&f.info, file.data(), int(face))) return false;
  f.hmtx = sfnt_table(file, face, sfnt_tag("hmtx"));
  const ByteReader hhea = sfnt_table(file, face, sfnt_tag("hhea"));
  f.num_hmetrics = hhea.u16be_at(34);
  f.num_glyphs = f.info.numGlyphs;
  f.units_per_em = sfnt_table(file, face, sfnt_tag("head")).u16be_at(18);
  f.line_units = sfnt_s16(hhea, 4) - sfnt_s16(hhea, 6);
  f.kerning.init(file, face);
  return f.num_hmetrics >= 1 && f.line_units > 0 && f.units_per_em > 0;
}

void setup_embedded(int slot) {
  uint32_t face = 0;
  sfnt_face_offset(kEmbedded[slot], &face);
  setup_slot(g_slots[slot], kEmbedded[slot], face);
}

// The file at prefix + suffix read whole, or empty when missing, unreadable or out of size range.
std::vector<uint8_t> read_font_file(const char* prefix, const char* suffix) {
  char path[kMaxFontPathBytes + 1];
  const int n = snprintf(path, sizeof path, "%s%s", prefix, suffix);
  if (n < 0 || size_t(n) > kMaxFontPathBytes) return {};
  FilePtr f(qlp_fopen(path, "rb"));
  if (!f || fseek(f.get(), 0, SEEK_END) != 0) return {};
  const long size = ftell(f.get());
  if (size < 1 || size_t(size) > kMaxFontFileBytes || fseek(f.get(), 0, SEEK_SET) != 0) return {};
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (fread(data.data(), 1, data.size(), f.get()) != data.size()) return {};
  return data;
}

}  // namespace

ByteReader embedded_face_file(int slot) { return kEmbedded.at(size_t(slot)); }

// A slot not set up takes its embedded face when first used: a run that draws in one face reads
// only that face's tables from the program.
const FontFace& font_face(int slot) {
  FontFace& face = g_slots.at(size_t(slot));
  if (face.line_units == 0) setup_embedded(slot);
  return face;
}

void ql_fonts_init() {
  font_caches_clear();  // cached metrics may belong to a family loaded before
  g_slots.fill(FontFace{});
  for (auto& file : g_family) std::vector<uint8_t>().swap(file);
}

int ql_font_load(const char* prefix) {
  font_caches_clear();
  for (int slot = 0; slot < 3; ++slot) g_slots[size_t(slot)] = FontFace{};
  for (auto& file : g_family) std::vector<uint8_t>().swap(file);
  if (!prefix || !*prefix) return 0;

  static const char* const kSuffixes[3][2] = {
      {"-Regular.ttf", "-Roman.ttf"}, {"-Italic.ttf", "-It.ttf"}, {"-Bold.ttf", "-Semibold.ttf"}};
  bool usable[3] = {};
  for (int slot = 0; slot < 3; ++slot) {
    std::vector<uint8_t> data = read_font_file(prefix, kSuffixes[slot][0]);
    if (data.empty()) data = read_font_file(prefix, kSuffixes[slot][1]);
    if (data.empty()) continue;
    const ByteReader view{data.data(), data.size()};
    uint32_t face = 0;
    // A damaged file is refused before stb_truetype reads it: it is loaded again at every start.
    if (font_file_usable(view, &face) && setup_slot(g_slots[slot], view, face)) {
      g_family[slot] = std::move(data);
      usable[slot] = true;
    } else {
      g_slots[slot] = FontFace{};
    }
  }
  for (int slot = 1; slot < 3; ++slot) {
    if (!usable[slot] && usable[0]) g_slots[slot] = g_slots[0];
  }
  return usable[0] ? 1 : 0;
}
