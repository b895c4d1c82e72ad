#include "video/video_writer.h"

#include <cstring>

#include "core/size_limits.h"
#include "video/ffmpeg_util.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace fw {

namespace {

using video_detail::AvErrorText;

constexpr int kGopSize = 12;
constexpr int kQuantiser = 2;  // near-lossless for the lossy codecs

}  // namespace

struct VideoWriter::State {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* sws = nullptr;
  int64_t nextPts = 0;
  bool headerWritten = false;

  ~State() {
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    if (format != nullptr) {
      if (!(format->oformat->flags & AVFMT_NOFILE)) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }
};

VideoWriter::VideoWriter() {
  video_detail::SilenceVideoLibraryLog();
}

VideoWriter::~VideoWriter() {
  (void)Close();
}

Result VideoWriter::Problem(const std::string& problem) const {
  return Result::Error(path_ + ": " + problem);
}

Result VideoWriter::Fail(const std::string& problem) {
  state_.reset();
  return Problem(problem);
}

Result VideoWriter::Open(const std::string& path, int width, int height, int framesPerSecond,
                         VideoCodec codec) {
  (void)Close();
  path_ = path;
  if (!WithinSizeLimits(width, height)) return Fail(SizeLimitProblem("frame size", width, height));
  if (framesPerSecond <= 0) return Fail("frame rate must be positive");
  state_ = std::make_unique<State>();
  State& s = *state_;
  if (avformat_alloc_output_context2(&s.format, nullptr, nullptr, path.c_str()) < 0 ||
      s.format == nullptr) {
    if (avformat_alloc_output_context2(&s.format, nullptr, "avi", path.c_str()) < 0) {
      return Fail("no container for this file name");
    }
  }
  AVCodecID id = AV_CODEC_ID_RAWVIDEO;
  AVPixelFormat pixelFormat = AV_PIX_FMT_BGR24;
  if (codec == VideoCodec::Mjpeg) {
    id = AV_CODEC_ID_MJPEG;
    pixelFormat = AV_PIX_FMT_YUVJ420P;
  } else if (codec == VideoCodec::Mpeg4 || codec == VideoCodec::Mpeg4BFrames) {
    id = AV_CODEC_ID_MPEG4;
    pixelFormat = AV_PIX_FMT_YUV420P;
  }
  const AVCodec* encoder = avcodec_find_encoder(id);
  if (encoder == nullptr) return Fail(std::string("no encoder for ") + avcodec_get_name(id));
  s.stream = avformat_new_stream(s.format, nullptr);
  s.codec = avcodec_alloc_context3(encoder);
  s.frame = av_frame_alloc();
  s.packet = av_packet_alloc();
  if (s.stream == nullptr || s.codec == nullptr || s.frame == nullptr || s.packet == nullptr) {
    return Fail("out of memory");
  }
  s.codec->width = width;
  s.codec->height = height;
  s.codec->pix_fmt = pixelFormat;
  s.codec->time_base = AVRational{1, framesPerSecond};
  s.codec->framerate = AVRational{framesPerSecond, 1};
  s.codec->gop_size = kGopSize;
  s.codec->max_b_frames = codec == VideoCodec::Mpeg4BFrames ? 2 : 0;
  s.codec->thread_count = 1;
  if (id != AV_CODEC_ID_RAWVIDEO) {
    s.codec->flags |= AV_CODEC_FLAG_QSCALE;
    s.codec->global_quality = FF_QP2LAMBDA * kQuantiser;
  }
  if (id == AV_CODEC_ID_MJPEG) s.codec->color_range = AVCOL_RANGE_JPEG;
  if (s.format->oformat->flags & AVFMT_GLOBALHEADER) {
    s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  int ret = avcodec_open2(s.codec, encoder, nullptr);
  if (ret < 0)
    return Fail("cannot open the " + std::string(encoder->name) + " encoder (" + AvErrorText(ret) +
                ")");
  if (avcodec_parameters_from_context(s.stream->codecpar, s.codec) < 0) {
    return Fail("unusable encoder parameters");
  }
  s.stream->time_base = s.codec->time_base;
  s.stream->avg_frame_rate = s.codec->framerate;
  s.frame->format = pixelFormat;
  s.frame->width = width;
  s.frame->height = height;
  if (av_frame_get_buffer(s.frame, 0) < 0) return Fail("out of memory");
  if (pixelFormat != AV_PIX_FMT_BGR24) {
    s.sws = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, pixelFormat,
                           SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (s.sws == nullptr) return Fail("cannot convert frames for the encoder");
  }
  if (!(s.format->oformat->flags & AVFMT_NOFILE)) {
    ret = avio_open(&s.format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (ret < 0) return Fail(AvErrorText(ret));
  }
  ret = avformat_write_header(s.format, nullptr);
  if (ret < 0) return Fail("cannot write the header (" + AvErrorText(ret) + ")");
  s.headerWritten = true;
  return Result::Ok();
}

// Sends the frame in state_->frame (or the end of the stream) and writes what comes out.
Result VideoWriter::Encode(bool flush) {
  State& s = *state_;
  int ret = avcodec_send_frame(s.codec, flush ? nullptr : s.frame);
  if (ret < 0) return Problem("cannot encode a frame (" + AvErrorText(ret) + ")");
  for (;;) {
    ret = avcodec_receive_packet(s.codec, s.packet);
    if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return Result::Ok();
    if (ret < 0) return Problem("cannot encode a frame (" + AvErrorText(ret) + ")");
    av_packet_rescale_ts(s.packet, s.codec->time_base, s.stream->time_base);
    s.packet->stream_index = s.stream->index;
    ret = av_interleaved_write_frame(s.format, s.packet);
    if (ret < 0) return Problem("cannot write a frame (" + AvErrorText(ret) + ")");
  }
}

Result VideoWriter::Write(const Dib& image) {
  if (state_ == nullptr) return Result::Error("no video file is open for writing");
  State& s = *state_;
  const int width = s.codec->width;
  const int height = s.codec->height;
  if (image.GetBitCount() != 24 || image.Width() != width || image.Height() != height) {
    return Problem("a frame must be a 24-bit " + std::to_string(width) + " x " +
                   std::to_string(height) + " image");
  }
  if (av_frame_make_writable(s.frame) < 0) return Problem("out of memory");
  // Picture row 0 (the top) is the last memory row of a bottom-up image.
  const uint8_t* top = image.IsBottomUp() ? image.Row(height - 1) : image.Row(0);
  const int step = image.IsBottomUp() ? -image.Stride() : image.Stride();
  if (s.sws == nullptr) {
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
      std::memcpy(s.frame->data[0] + static_cast<ptrdiff_t>(y) * s.frame->linesize[0],
                  top + static_cast<ptrdiff_t>(y) * step, rowBytes);
    }
  } else {
    const uint8_t* planes[4] = {top, nullptr, nullptr, nullptr};
    const int strides[4] = {step, 0, 0, 0};
    sws_scale(s.sws, planes, strides, 0, height, s.frame->data, s.frame->linesize);
  }
  s.frame->pts = s.nextPts++;
  s.frame->quality = s.codec->global_quality;
  return Encode(false);
}

Result VideoWriter::Skip(int count) {
  if (state_ == nullptr) return Result::Error("no video file is open for writing");
  if (count > 0) state_->nextPts += count;
  return Result::Ok();
}

Result VideoWriter::Close() {
  if (state_ == nullptr) return Result::Ok();
  Result result;
  if (state_->headerWritten) {
    result = Encode(true);
    const int ret = av_write_trailer(state_->format);
    if (ret < 0 && result) result = Problem("cannot finish the file (" + AvErrorText(ret) + ")");
  }
  state_.reset();
  return result;
}

}  // namespace fw
