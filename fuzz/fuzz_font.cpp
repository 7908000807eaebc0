// A reading family from the user's storage: the bytes become the family's files, the family is
// loaded, and every style measures and draws a short text. Loading anything must never break the
// embedded faces, so they are measured again after every input.
//
// Input: byte 0 picks the files (bit 0 "-Roman.ttf" in place of "-Regular.ttf", bit 1 also the
// italic, bit 2 also the bold, bit 3 no regular at all; bits 4-7 the text size), the rest is the
// file.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "display/font_face.h"
#include "display/fonts.h"
#include "display/framebuffer.h"
#include "fuzz_support.h"


namespace {

constexpr char kFamily[] = "/mnt/us/fonts/Fuzz";
// Kerned pairs, a ligature candidate, accents, a dash, a character most faces lack, and an
// invalid UTF-8 byte.
constexpr char kSample[] = "AVA Wo fi \xC3\xA4\xC3\xB6 \xE2\x80\x94 \xE4\xB8\xAD \xFF 12";
constexpr TextStyle kStyles[] = {TS_REGULAR, TS_ITALIC, TS_BOLD, TS_HEADING, TS_UI, TS_UI_BOLD, 7};
const char* const kFiles[] = {"-Regular.ttf", "-Roman.ttf", "-Italic.ttf", "-Bold.ttf"};

float g_embedded_width[std::size(kStyles)];

std::string family_file(const char* suffix) { return std::string(kFamily) + suffix; }

void remove_family() {
  for (const char* suffix : kFiles) qlp_unlink(family_file(suffix).c_str());
}

void measure_embedded(float* widths) {
  for (size_t i = 0; i < std::size(kStyles); ++i) widths[i] = ql_measure(kSample, kStyles[i], 40);
}

void write_seeds() {
  constexpr const char* kNames[kFontSlots] = {"serif", "serif-it", "serif-bold", "sans", "sans-bold", "fallback"};
  for (int slot = 0; slot < kFontSlots; ++slot) {
    const ByteReader face = embedded_face_file(slot);
    const std::string file(reinterpret_cast<const char*>(face.data()), face.size());
    const std::string name = kNames[slot];
    fuzz::write_seed(name + ".ttf", std::string("\x36", 1) + file);
    // Cut inside the table directory, inside the tables and near the end.
    for (size_t cut : {size_t{40}, size_t{300}, file.size() / 8, file.size() / 2, file.size() - 7}) {
      fuzz::write_seed(name + "-cut" + std::to_string(cut) + ".ttf",
                       std::string("\x57", 1) + file.substr(0, cut));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::begin(write_seeds);
  if (!ql_init(1)) __builtin_trap();
  qlp_mkdir("/mnt/us/fonts", 0755);
  measure_embedded(g_embedded_width);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  remove_family();
  if (!(flags & 8)) {
    fuzz::write_device_file(family_file(flags & 1 ? "-Roman.ttf" : "-Regular.ttf").c_str(), data + 1, size - 1);
  }
  if (flags & 2) fuzz::write_device_file(family_file("-Italic.ttf").c_str(), data + 1, size - 1);
  if (flags & 4) fuzz::write_device_file(family_file("-Bold.ttf").c_str(), data + 1, size - 1);

  const int from_family = ql_font_load(kFamily);
  // Without a regular file the embedded regular face must stay in use.
  if ((flags & 8) && from_family != 0) __builtin_trap();

  const float px = 6.0f + float(flags >> 4) * 13.0f;
  for (TextStyle style : kStyles) {
    const float w = ql_measure(kSample, style, px);
    if (!std::isfinite(w)) __builtin_trap();
    ql_text(kSample, style, px, 20, 200);
    ql_text(kSample, style, px, -30, 4);  // clipped at the frame's top left
    ql_text(kSample, style, px, float(ql_fb().width) - 40, float(ql_fb().height) - 2);
  }

  // Back to the embedded faces: the same widths as before any family was loaded.
  ql_font_load(nullptr);
  float widths[std::size(kStyles)];
  measure_embedded(widths);
  for (size_t i = 0; i < std::size(kStyles); ++i) {
    if (widths[i] != g_embedded_width[i]) __builtin_trap();
  }
  return 0;
}
