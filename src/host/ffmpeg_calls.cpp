#include "host/ffmpeg_calls.h"

#include <cstdio>

FfmpegCalls ffmpeg;

namespace {
// The major versions the headers describe: a library of another major version has another ABI.
#define QL_SONAME(lib, major) "lib" lib ".so." AV_STRINGIFY(major)

bool load_and_bind() {
  const LazyLibraries libs{QL_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR),
                           QL_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR),
                           QL_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
                           QL_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR)};
  bool bound = libs.loaded();
#define QL_FFMPEG_BIND(name) bound = bound && libs.bind(#name, ffmpeg.name);
  QL_FFMPEG_CALLS(QL_FFMPEG_BIND)
#undef QL_FFMPEG_BIND
  if (!bound) {
    fprintf(stderr, "quillo: cannot decode AAC, Vorbis or Opus: %s\n",
            libs.failure("FFmpeg").c_str());
  }
  return bound;
}
#undef QL_SONAME
}  // namespace

bool ffmpeg_load() {
  static const bool loaded = load_and_bind();
  return loaded;
}
