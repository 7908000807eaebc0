// FFmpeg's libraries, loaded at the first AAC, Vorbis or Opus part rather than linked: they pull in
// dozens of codec libraries (video ones included) whose loading alone would cost every start more
// than the program's own work. Callers use FFmpeg's headers for its types and call its functions
// through `ffmpeg` once ffmpeg_load() has answered true.
#pragma once
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "host/lazy_library.h"

// Every FFmpeg function the program calls.
#define QL_FFMPEG_CALLS(X)                                                                  \
  X(av_log_set_level) X(av_mallocz) X(av_rescale_q) X(av_channel_layout_default)            \
  X(av_channel_layout_copy) X(av_channel_layout_compare) X(av_channel_layout_uninit)        \
  X(av_frame_alloc) X(av_frame_free) X(av_frame_unref) X(av_packet_alloc) X(av_packet_free) \
  X(av_packet_unref) X(avcodec_find_decoder) X(avcodec_alloc_context3)                      \
  X(avcodec_free_context) X(avcodec_parameters_to_context) X(avcodec_open2)                 \
  X(avcodec_send_packet) X(avcodec_receive_frame) X(avcodec_flush_buffers)                  \
  X(avformat_open_input) X(avformat_close_input) X(avformat_find_stream_info)               \
  X(av_find_best_stream) X(av_read_frame) X(av_seek_frame) X(swr_alloc_set_opts2)           \
  X(swr_init) X(swr_free) X(swr_get_out_samples) X(swr_convert)

struct FfmpegCalls {
  QL_FFMPEG_CALLS(QL_CALL_SLOT)
};
// Filled by ffmpeg_load; read only after it answered true.
extern FfmpegCalls ffmpeg;

// Loads the libraries and binds every call the first time (safe from any thread); false, each
// time, when they or one of the calls are missing, so the part cannot be decoded.
bool ffmpeg_load();
