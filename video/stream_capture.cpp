#include "video/stream_capture.h"

#include <algorithm>

#include "video/ffmpeg_util.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace fw {

namespace {

using video_detail::AvErrorText;

constexpr int kMaxDimension = 16384;

int64_t SteadyNanoseconds(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

bool HasScheme(std::string_view url, std::string_view scheme) {
  return url.size() > scheme.size() + 3 && url.substr(0, scheme.size()) == scheme &&
         url.substr(scheme.size(), 3) == "://";
}

}  // namespace

std::string RedactUrl(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return std::string(url);
  const size_t hostStart = scheme + 3;
  const size_t hostEnd = std::min(url.find('/', hostStart), url.size());
  const size_t at = url.rfind('@', hostEnd - 1);
  if (at == std::string_view::npos || at < hostStart) return std::string(url);
  const size_t colon = url.find(':', hostStart);
  if (colon == std::string_view::npos || colon > at) return std::string(url);
  return std::string(url.substr(0, colon + 1)) + "***" + std::string(url.substr(at));
}

// Bounds every blocking call of the demuxer: a deadline for the call in progress, and the
// source's interrupt flag.
struct Watchdog {
  const std::atomic<bool>* interrupted = nullptr;
  std::atomic<int64_t> deadline{0};
  std::atomic<bool> expired{false};

  void Arm(std::chrono::steady_clock::time_point until) {
    expired = false;
    deadline = SteadyNanoseconds(until);
  }
  static int Check(void* opaque) {
    auto* w = static_cast<Watchdog*>(opaque);
    if (w->interrupted->load()) return 1;
    if (SteadyNanoseconds(std::chrono::steady_clock::now()) < w->deadline.load()) return 0;
    w->expired = true;
    return 1;
  }
};

struct StreamCapture::Input {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int stream = -1;
  bool draining = false;  // the end of the stream was read; the decoder gives its last pictures
  bool paused = false;
  Watchdog watchdog;  // the demuxer's interrupt callback points here

  ~Input() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
};

StreamCapture::StreamCapture(std::string url, CaptureOptions options)
    : CaptureSource(RedactUrl(url)), url_(std::move(url)), options_(options) {
  video_detail::SilenceVideoLibraryLog();
}

StreamCapture::~StreamCapture() {
  Close();
}

CaptureParameters StreamCapture::Parameters() const {
  std::lock_guard lock(parametersMutex_);
  return parameters_;
}

void StreamCapture::SetParameters(const Input& input) {
  const AVStream* st = input.format->streams[input.stream];
  CaptureParameters p;
  p.inputWidth = st->codecpar->width;
  p.inputHeight = st->codecpar->height;
  const AVRational rate = av_guess_frame_rate(input.format, const_cast<AVStream*>(st), nullptr);
  if (rate.num > 0 && rate.den > 0) p.inputRate = av_q2d(rate);
  p.format = avcodec_get_name(st->codecpar->codec_id);
  std::lock_guard lock(parametersMutex_);
  parameters_ = p;
}

StreamCapture::Attempt StreamCapture::Connect() {
  Attempt a;
  auto fail = [&a](CaptureFault fault, std::string problem) {
    a.input.reset();
    a.fault = fault;
    a.problem = std::move(problem);
    return std::move(a);
  };
  auto in = std::make_unique<Input>();
  in->watchdog.interrupted = &interrupted_;
  in->format = avformat_alloc_context();
  in->packet = av_packet_alloc();
  in->frame = av_frame_alloc();
  if (in->format == nullptr || in->packet == nullptr || in->frame == nullptr) {
    return fail(CaptureFault::Refused, "out of memory");
  }
  in->format->interrupt_callback = AVIOInterruptCB{&Watchdog::Check, &in->watchdog};
  in->watchdog.Arm(Clock::now() + options_.openTimeout);
  const std::string noAnswer = "no answer within " + DurationText(options_.openTimeout);

  AVDictionary* settings = nullptr;
  if (HasScheme(url_, "rtsp")) {
    av_dict_set(&settings, "rtsp_transport", options_.rtspOverUdp ? "udp" : "tcp", 0);
  } else if (HasScheme(url_, "udp")) {
    av_dict_set(&settings, "overrun_nonfatal", "1",
                0);  // a late reader loses packets, not the stream
  }
  int ret = avformat_open_input(&in->format, url_.c_str(), nullptr, &settings);
  av_dict_free(&settings);
  if (ret < 0) {  // the failed open has freed the context
    if (interrupted_) return fail(CaptureFault::Refused, "connection cancelled");
    if (in->watchdog.expired) return fail(CaptureFault::Refused, noAnswer);
    // The sender answered with something that is no stream FFmpeg knows.
    if (ret == AVERROR_INVALIDDATA || ret == AVERROR_DEMUXER_NOT_FOUND) {
      return fail(CaptureFault::WrongFormat, "not a video stream (" + AvErrorText(ret) + ")");
    }
    return fail(CaptureFault::Refused, "the stream was refused (" + AvErrorText(ret) + ")");
  }
  ret = avformat_find_stream_info(in->format, nullptr);
  if (ret < 0) {
    if (interrupted_) return fail(CaptureFault::Refused, "connection cancelled");
    if (in->watchdog.expired) return fail(CaptureFault::Refused, noAnswer);
    return fail(CaptureFault::WrongFormat,
                "cannot read the stream's format (" + AvErrorText(ret) + ")");
  }
  in->stream = av_find_best_stream(in->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (in->stream < 0) return fail(CaptureFault::WrongFormat, "no video in the stream");
  for (unsigned i = 0; i < in->format->nb_streams; ++i) {
    if (static_cast<int>(i) != in->stream) in->format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVCodecParameters* par = in->format->streams[in->stream]->codecpar;
  if (par->width <= 0 || par->height <= 0 || par->width > kMaxDimension ||
      par->height > kMaxDimension) {
    return fail(CaptureFault::WrongFormat, "unsupported picture size " +
                                               std::to_string(par->width) + " x " +
                                               std::to_string(par->height));
  }
  const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
  if (decoder == nullptr) {
    return fail(CaptureFault::WrongFormat,
                std::string("no decoder for the ") + avcodec_get_name(par->codec_id) + " codec");
  }
  in->codec = avcodec_alloc_context3(decoder);
  if (in->codec == nullptr || avcodec_parameters_to_context(in->codec, par) < 0) {
    return fail(CaptureFault::WrongFormat, "unusable codec parameters");
  }
  in->codec->thread_count = 1;  // one decoder thread is the fastest for these sizes
  ret = avcodec_open2(in->codec, decoder, nullptr);
  if (ret < 0) {
    return fail(CaptureFault::WrongFormat, std::string("cannot open the ") + decoder->name +
                                               " decoder (" + AvErrorText(ret) + ")");
  }
  a.input = std::move(in);
  return a;
}

Result StreamCapture::OpenSource() {
  interrupted_ = false;
  Attempt a = Connect();
  if (a.input == nullptr) return Fail(a.fault, a.problem);
  SetParameters(*a.input);
  input_ = std::move(a.input);
  return Result::Ok();
}

Result StreamCapture::StartStream(int) {
  interrupted_ = false;
  if (input_ == nullptr) {  // the stream had ended: open it again
    Attempt a = Connect();
    if (a.input == nullptr) return Fail(a.fault, a.problem);
    SetParameters(*a.input);
    input_ = std::move(a.input);
  } else if (input_->paused) {
    av_read_play(input_->format);
    input_->paused = false;
  }
  lastPicture_ = Clock::now();
  return Result::Ok();
}

void StreamCapture::StopStream() {
  // An RTSP server is told to pause; other senders simply wait until reading goes on.
  if (input_ != nullptr && av_read_pause(input_->format) >= 0) input_->paused = true;
}

void StreamCapture::CloseSource() {
  input_.reset();
}

void StreamCapture::Interrupt() {
  {
    std::lock_guard lock(pauseMutex_);
    interrupted_ = true;
  }
  pauseWake_.notify_all();
}

bool StreamCapture::Pause(std::chrono::milliseconds delay) {
  std::unique_lock lock(pauseMutex_);
  return !pauseWake_.wait_for(lock, delay, [this] { return interrupted_.load(); });
}

CaptureSource::Grab StreamCapture::GrabFrame(uint8_t* frame, Clock::time_point* time) {
  for (;;) {
    if (interrupted_) return {Grabbed::Stopped, {}};
    if (input_ == nullptr) {
      const Grab reconnected = Reconnect();
      if (reconnected.outcome != Grabbed::Frame) return reconnected;
      continue;
    }
    const Grab grab = NextPicture(frame);
    if (grab.outcome == Grabbed::Frame) {
      *time = lastPicture_;
      return grab;
    }
    if (grab.outcome == Grabbed::Stopped || !options_.reconnect ||
        grab.fault == CaptureFault::WrongFormat) {
      return grab;
    }
    Report(CaptureEvent::Lost, grab.fault, grab.problem);
    input_.reset();
  }
}

CaptureSource::Grab StreamCapture::NextPicture(uint8_t* frame) {
  Input& in = *input_;
  const std::string silence = "no picture for " + DurationText(options_.readTimeout);
  for (;;) {
    int ret = avcodec_receive_frame(in.codec, in.frame);
    if (ret == 0) {
      const AVFrame* f = in.frame;
      const uint8_t* planes[4] = {f->data[0], f->data[1], f->data[2], f->data[3]};
      const bool converted = converter_.FromPlanes(planes, f->linesize, f->width, f->height,
                                                   f->format, f->color_range, f->colorspace, frame);
      av_frame_unref(in.frame);
      if (!converted) {
        return {Grabbed::Ended, "pictures of this layout or size cannot be converted",
                CaptureFault::WrongFormat};
      }
      lastPicture_ = Clock::now();
      return {Grabbed::Frame, {}};
    }
    if (ret == AVERROR_EOF || in.draining) return {Grabbed::Ended, "the stream ended"};
    if (ret != AVERROR(EAGAIN)) {
      return {Grabbed::Ended, "the decoder failed (" + AvErrorText(ret) + ")"};
    }
    const Clock::time_point giveUp = lastPicture_ + options_.readTimeout;
    if (Clock::now() >= giveUp) return {Grabbed::Ended, silence};
    in.watchdog.Arm(giveUp);
    ret = av_read_frame(in.format, in.packet);
    if (ret < 0) {
      if (interrupted_) return {Grabbed::Stopped, {}};
      // Demuxers report a failed read as the end of the stream; the connection knows better.
      const int error = in.format->pb != nullptr ? in.format->pb->error : 0;
      if (in.watchdog.expired || error == AVERROR_EXIT || Clock::now() >= giveUp) {
        return {Grabbed::Ended, silence};
      }
      if (error < 0 && error != AVERROR_EOF) {
        return {Grabbed::Ended, "the stream dropped (" + AvErrorText(error) + ")"};
      }
      if (ret != AVERROR_EOF) {
        return {Grabbed::Ended, "the stream dropped (" + AvErrorText(ret) + ")"};
      }
      // The end of the stream: the decoder hands out the pictures it still holds.
      avcodec_send_packet(in.codec, nullptr);
      in.draining = true;
      continue;
    }
    // A damaged packet the decoder refuses is skipped.
    if (in.packet->stream_index == in.stream) avcodec_send_packet(in.codec, in.packet);
    av_packet_unref(in.packet);
  }
}

CaptureSource::Grab StreamCapture::Reconnect() {
  std::chrono::milliseconds delay = options_.firstRetryDelay;
  for (int attempt = 1;; ++attempt) {
    Report(CaptureEvent::Reconnecting, CaptureFault::None,
           "reconnecting in " + DurationText(delay) + " (attempt " + std::to_string(attempt) + ")");
    if (!Pause(delay)) return {Grabbed::Stopped, {}};
    Attempt a = Connect();
    if (a.input != nullptr) {
      SetParameters(*a.input);
      input_ = std::move(a.input);
      lastPicture_ = Clock::now();
      AnnounceNextFrame("reconnected");
      return {Grabbed::Frame, {}};
    }
    if (interrupted_) return {Grabbed::Stopped, {}};
    Report(CaptureEvent::Lost, a.fault, a.problem);
    delay = std::min(2 * delay, options_.maxRetryDelay);
  }
}

}  // namespace fw
