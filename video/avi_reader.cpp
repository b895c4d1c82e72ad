#include "video/avi_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "core/ui_sink.h"
#include "video/ffmpeg_util.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace fw {

namespace {

using video_detail::AvErrorText;
using video_detail::PlainFormat;
using video_detail::SwsColourSpace;

constexpr int kMaxDimension = 16384;
// Bounds the one counting pass over a file whose header cannot be trusted.
constexpr int64_t kMaxScannedPackets = int64_t{1} << 24;
// A forward decode may read this many packets beyond the frame table before giving up.
constexpr int64_t kDecodeSlack = 64;

// One picture-carrying packet of the video stream, in decode order. `key` identifies the picture
// the packet carries in presentation order; it travels through the decoder as the frame's pts.
struct PacketEntry {
  int64_t dts = 0;
  int64_t key = 0;
  bool keyframe = false;
};

}  // namespace

struct AviReader::Decoder {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* sws = nullptr;
  int stream = -1;
  int width = 0;
  int height = 0;
  int frameCount = 0;
  double framesPerSecond = 0.0;

  // Frame table: pictures in decode order (sorted by dts), their keys sorted, and the keyframes
  // sorted by key. On a slot timeline (AVI) frame i is the picture shown at chunk time i, so a
  // dropped (empty) chunk repeats the picture before it; otherwise frame i is the i-th picture.
  std::vector<PacketEntry> packets;
  std::vector<int64_t> keys;
  std::vector<size_t> keyframes;
  bool slotTimeline = false;
  int64_t keyOffset = 0;
  // AVI keeps no presentation times. With B-frames its pictures are named by the chunk whose
  // arrival released them from the decoder, as players of such files count them; otherwise a
  // picture's key is its chunk number (AVI) or its presentation time (other containers).
  bool keyBySentPacket = false;

  // Where decoding stands: the demuxer continues from a seek (positioned), the decoder was sent
  // the end of the stream (draining), `frame` holds the decoded picture `heldKey` (holding).
  bool positioned = false;
  bool draining = false;
  bool holding = false;
  int64_t heldKey = 0;
  int64_t lastSentDts = AV_NOPTS_VALUE;
  int64_t drainedCount = 0;

  // The swscale source the context was made for, and the top-down BGR picture it writes.
  int swsWidth = -1;
  int swsHeight = -1;
  int swsFormat = -1;
  int swsRange = -1;
  int swsSpace = -1;
  std::vector<uint8_t> bgr;
  int bgrStride = 0;

  ~Decoder() {
    sws_freeContext(sws);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }

  bool Start(const std::string& path, std::string* reason);
  bool BuildFrameTable(std::string* reason);
  void ReadIndex(AVStream* st);
  void ScanPackets(bool decode);
  void AssignKeys(int delay);
  void SendPacket();
  bool ReceiveFrame(int* error);
  int64_t KeyForFrame(int index) const;
  int64_t KeyForPacket(const AVPacket* pkt) const;
  size_t KeyframeRankFor(int64_t key) const;
  bool SeekTo(size_t keyframeRank);
  bool DecodeUntil(int64_t key);
  bool Convert(Dib& image);
  bool Deliver(int index, Dib& image);
};

bool AviReader::Decoder::Start(const std::string& path, std::string* reason) {
  format = avformat_alloc_context();
  if (format == nullptr) {
    *reason = "out of memory";
    return false;
  }
  // Packets the demuxer knows to be damaged never reach the decoder.
  format->flags |= AVFMT_FLAG_DISCARD_CORRUPT;
  int ret = avformat_open_input(&format, path.c_str(), nullptr, nullptr);
  if (ret < 0) {  // the context is freed and nulled by the failed open
    *reason = AvErrorText(ret);
    return false;
  }
  ret = avformat_find_stream_info(format, nullptr);
  if (ret < 0) {
    *reason = "cannot read the stream information (" + AvErrorText(ret) + ")";
    return false;
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* st = format->streams[i];
    if (stream < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      stream = static_cast<int>(i);
    } else {
      format->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  if (stream < 0) {
    *reason = "no video stream";
    return false;
  }
  AVStream* st = format->streams[stream];
  const AVCodecParameters* par = st->codecpar;
  if (par->width <= 0 || par->height <= 0 || par->width > kMaxDimension ||
      par->height > kMaxDimension) {
    *reason = "unsupported frame size " + std::to_string(par->width) + " x " +
              std::to_string(par->height);
    return false;
  }
  width = par->width;
  height = par->height;
  const AVCodec* decoderCodec = avcodec_find_decoder(par->codec_id);
  if (decoderCodec == nullptr) {
    *reason = std::string("no decoder for the ") + avcodec_get_name(par->codec_id) + " codec";
    return false;
  }
  codec = avcodec_alloc_context3(decoderCodec);
  packet = av_packet_alloc();
  frame = av_frame_alloc();
  if (codec == nullptr || packet == nullptr || frame == nullptr) {
    *reason = "out of memory";
    return false;
  }
  if (avcodec_parameters_to_context(codec, par) < 0) {
    *reason = "unusable codec parameters";
    return false;
  }
  codec->thread_count = 1;  // one decoder thread is the fastest on a two-core machine
  ret = avcodec_open2(codec, decoderCodec, nullptr);
  if (ret < 0) {
    *reason = std::string("cannot open the ") + decoderCodec->name + " decoder (" +
              AvErrorText(ret) + ")";
    return false;
  }
  const AVRational rate = av_guess_frame_rate(format, st, nullptr);
  if (rate.num > 0 && rate.den > 0) {
    framesPerSecond = av_q2d(rate);
  } else if (st->time_base.num > 0 && st->time_base.den > 0) {
    framesPerSecond = 1.0 / av_q2d(st->time_base);
  }
  if (!BuildFrameTable(reason)) return false;
  bgrStride = (width * 3 + 63) & ~63;
  // One spare row: a vectorised conversion may write a little past the end of the last row.
  bgr.assign(static_cast<size_t>(bgrStride) * (height + 1), 0);
  return true;
}

void AviReader::Decoder::ReadIndex(AVStream* st) {
  const int entries = avformat_index_get_entries_count(st);
  packets.reserve(entries);
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* e = avformat_index_get_entry(st, i);
    if (e == nullptr || e->size <= 0) continue;
    packets.push_back({e->timestamp, e->timestamp, (e->flags & AVINDEX_KEYFRAME) != 0});
  }
}

// Sends the picture packet in `packet` to the decoder, carrying its key as the pts.
void AviReader::Decoder::SendPacket() {
  if (!keyBySentPacket) packet->pts = KeyForPacket(packet);
  // A packet the decoder refuses is skipped.
  if (avcodec_send_packet(codec, packet) >= 0) {
    lastSentDts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
  }
}

// Takes the next decoded picture into `frame` and names it in heldKey.
bool AviReader::Decoder::ReceiveFrame(int* error) {
  *error = avcodec_receive_frame(codec, frame);
  holding = *error == 0;
  if (!holding) return false;
  if (keyBySentPacket) {
    heldKey = draining ? lastSentDts + ++drainedCount : lastSentDts;
  } else {
    heldKey = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
  }
  return true;
}

// Reads every packet once. Besides counting the pictures this lets the demuxer index a file
// that came without one, so that seeking works afterwards. With `decode` the pictures are
// decoded too and their keys collected, for files whose pictures are named by the decoder.
void AviReader::Decoder::ScanPackets(bool decode) {
  int error = 0;
  for (int64_t n = 0; n < kMaxScannedPackets; ++n) {
    const int ret = av_read_frame(format, packet);
    if (ret < 0) break;
    if (packet->stream_index == stream && packet->size > 0 &&
        !(packet->flags & AV_PKT_FLAG_CORRUPT)) {
      const int64_t dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
      if (dts != AV_NOPTS_VALUE) {
        // The pts is kept in `key` for now; AssignKeys fills in the missing ones.
        packets.push_back({dts, packet->pts, (packet->flags & AV_PKT_FLAG_KEY) != 0});
        if (decode) {
          SendPacket();
          while (ReceiveFrame(&error)) keys.push_back(heldKey);
        }
      }
    }
    av_packet_unref(packet);
  }
  if (decode) {
    avcodec_send_packet(codec, nullptr);
    draining = true;
    while (ReceiveFrame(&error)) keys.push_back(heldKey);
    avcodec_flush_buffers(codec);
    draining = false;
    holding = false;
  }
  positioned = false;
}

// Gives every picture its presentation key. Without reordering that is its dts. With B-frames
// a reference picture without a pts is shown when the next reference picture arrives, which is
// how the decoder releases it.
void AviReader::Decoder::AssignKeys(int delay) {
  int64_t nextReference = packets.empty() ? 0 : packets.back().dts + 1;
  for (size_t i = packets.size(); i-- > 0;) {
    PacketEntry& p = packets[i];
    if (p.key == AV_NOPTS_VALUE) {
      p.key = delay > 0 ? nextReference : p.dts;
      nextReference = p.dts;
    }
  }
}

bool AviReader::Decoder::BuildFrameTable(std::string* reason) {
  AVStream* st = format->streams[stream];
  const bool isAvi = std::strcmp(format->iformat->name, "avi") == 0;
  const int delay = st->codecpar->video_delay;
  bool fromIndex = false;
  // An AVI index whose last entry agrees with the header's frame count is trusted; a header
  // that disagrees (a truncated recording, a file written to a pipe) is checked by a scan.
  if (isAvi && delay == 0 && st->nb_frames > 0 && st->nb_frames <= INT_MAX) {
    const int entries = avformat_index_get_entries_count(st);
    const AVIndexEntry* last = entries > 0 ? avformat_index_get_entry(st, entries - 1) : nullptr;
    if (last != nullptr && last->timestamp + 1 == st->nb_frames) {
      ReadIndex(st);
      fromIndex = !packets.empty();
    }
  }
  keyBySentPacket = isAvi && delay > 0;
  if (!fromIndex) {
    packets.clear();
    ScanPackets(keyBySentPacket);
    if (keyBySentPacket) {
      for (PacketEntry& p : packets) p.key = p.dts;
    } else {
      AssignKeys(delay);
    }
  }
  std::stable_sort(packets.begin(), packets.end(),
                   [](const PacketEntry& a, const PacketEntry& b) { return a.dts < b.dts; });
  packets.erase(
      std::unique(packets.begin(), packets.end(),
                  [](const PacketEntry& a, const PacketEntry& b) { return a.dts == b.dts; }),
      packets.end());
  if (!keyBySentPacket) {
    keys.reserve(packets.size());
    for (const PacketEntry& p : packets) keys.push_back(p.key);
  }
  if (packets.empty() || keys.empty()) {
    *reason = "no video frames";
    return false;
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  for (size_t i = 0; i < packets.size(); ++i) {
    if (packets[i].keyframe) keyframes.push_back(i);
  }
  if (keyframes.empty() || keyframes.front() != 0) keyframes.insert(keyframes.begin(), 0);
  std::stable_sort(keyframes.begin(), keyframes.end(),
                   [this](size_t a, size_t b) { return packets[a].key < packets[b].key; });

  int64_t count = static_cast<int64_t>(keys.size());
  if (isAvi) {
    slotTimeline = true;
    keyOffset = keys.front() - packets.front().dts;
    count = fromIndex ? st->nb_frames : keys.back() - keyOffset + 1;
  }
  if (count <= 0 || count > INT_MAX) {
    *reason = "unusable frame count " + std::to_string(count);
    return false;
  }
  frameCount = static_cast<int>(count);
  return true;
}

int64_t AviReader::Decoder::KeyForFrame(int index) const {
  if (!slotTimeline) return keys[static_cast<size_t>(index)];
  // The last picture at or before the slot; slots before the first picture show the first.
  const auto it = std::upper_bound(keys.begin(), keys.end(), keyOffset + index);
  return it == keys.begin() ? keys.front() : *(it - 1);
}

// A packet's own presentation time names its picture; only a packet without one is looked up
// by its decode time (demuxers of containers that store presentation times only may work out
// different decode times after a seek).
int64_t AviReader::Decoder::KeyForPacket(const AVPacket* pkt) const {
  if (pkt->pts != AV_NOPTS_VALUE) return pkt->pts;
  const auto it = std::lower_bound(packets.begin(), packets.end(), pkt->dts,
                                   [](const PacketEntry& p, int64_t d) { return p.dts < d; });
  if (it != packets.end() && it->dts == pkt->dts) return it->key;
  return pkt->dts;
}

// Rank (in `keyframes`) of the last keyframe whose picture is at or before the key.
size_t AviReader::Decoder::KeyframeRankFor(int64_t key) const {
  const auto it = std::upper_bound(
      keyframes.begin(), keyframes.end(), key,
      [this](int64_t k, size_t packetIndex) { return k < packets[packetIndex].key; });
  return it == keyframes.begin() ? 0 : static_cast<size_t>(it - keyframes.begin()) - 1;
}

bool AviReader::Decoder::SeekTo(size_t keyframeRank) {
  avcodec_flush_buffers(codec);
  draining = false;
  holding = false;
  lastSentDts = AV_NOPTS_VALUE;
  drainedCount = 0;
  // Demuxers index by decode time (AVI, MP4) or presentation time (Matroska); the later of the
  // two finds this keyframe either way, as the next keyframe is decoded after it is shown.
  const PacketEntry& target = packets[keyframes[keyframeRank]];
  const int64_t time = std::max(target.dts, keyBySentPacket ? target.dts : target.key);
  int ret = av_seek_frame(format, stream, time, AVSEEK_FLAG_BACKWARD);
  if (ret < 0) ret = avformat_seek_file(format, stream, INT64_MIN, time, time, 0);
  positioned = ret >= 0;
  return positioned;
}

// Decodes forward until the picture with the key comes out. Bounded by the packet count; stops
// early when a later picture appears (the wanted one cannot come from this start point).
bool AviReader::Decoder::DecodeUntil(int64_t key) {
  const int64_t readLimit = static_cast<int64_t>(packets.size()) + kDecodeSlack;
  int64_t reads = 0;
  int ret = 0;
  for (;;) {
    if (ReceiveFrame(&ret)) {
      if (heldKey == key) return true;
      if (heldKey > key && heldKey != AV_NOPTS_VALUE) return false;
      continue;
    }
    if (ret != AVERROR(EAGAIN) || draining) {  // drained, or the decoder failed for good
      positioned = false;
      return false;
    }
    if (reads++ >= readLimit) return false;
    ret = av_read_frame(format, packet);
    if (ret < 0) {
      avcodec_send_packet(codec, nullptr);  // end of file: release the delayed pictures
      draining = true;
      continue;
    }
    // Empty packets are dropped frames; sending one would end the stream.
    if (packet->stream_index == stream && packet->size > 0 &&
        !(packet->flags & AV_PKT_FLAG_CORRUPT)) {
      SendPacket();
    }
    av_packet_unref(packet);
  }
}

bool AviReader::Decoder::Convert(Dib& image) {
  bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
  const AVPixelFormat source = PlainFormat(static_cast<AVPixelFormat>(frame->format), &fullRange);
  const int space = SwsColourSpace(frame->colorspace);
  if (frame->width <= 0 || frame->height <= 0 || frame->data[0] == nullptr) return false;
  if (sws == nullptr || frame->width != swsWidth || frame->height != swsHeight ||
      source != swsFormat || static_cast<int>(fullRange) != swsRange || space != swsSpace) {
    sws = sws_getCachedContext(sws, frame->width, frame->height, source, width, height,
                               AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    swsFormat = -1;
    if (sws == nullptr) return false;
    const int* coefficients = sws_getCoefficients(space);
    sws_setColorspaceDetails(sws, coefficients, fullRange ? 1 : 0, coefficients, 1, 0, 1 << 16,
                             1 << 16);
    swsWidth = frame->width;
    swsHeight = frame->height;
    swsFormat = source;
    swsRange = fullRange ? 1 : 0;
    swsSpace = space;
  }
  uint8_t* planes[4] = {bgr.data(), nullptr, nullptr, nullptr};
  int strides[4] = {bgrStride, 0, 0, 0};
  if (sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides) != height) {
    return false;
  }
  // Picture row y goes to memory row height-1-y: the image is bottom-up.
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t padding = static_cast<size_t>(image.Stride()) - rowBytes;
  const uint8_t* src = bgr.data();
  for (int y = height - 1; y >= 0; --y, src += bgrStride) {
    uint8_t* dst = image.Row(y);
    std::memcpy(dst, src, rowBytes);
    if (padding > 0) std::memset(dst + rowBytes, 0, padding);
  }
  return true;
}

bool AviReader::Decoder::Deliver(int index, Dib& image) {
  const int64_t key = KeyForFrame(index);
  if (holding && heldKey == key) return Convert(image);
  const size_t rank = KeyframeRankFor(key);
  // Decoding on is cheaper than seeking while no keyframe lies between the held picture and
  // the wanted one.
  if (positioned && !draining && holding && heldKey < key &&
      packets[keyframes[rank]].key <= heldKey && DecodeUntil(key)) {
    return Convert(image);
  }
  if (SeekTo(rank) && DecodeUntil(key)) return Convert(image);
  // A picture shown before its keyframe but decoded after it (an open group of pictures) needs
  // the keyframe before.
  return rank > 0 && SeekTo(rank - 1) && DecodeUntil(key) && Convert(image);
}

AviReader::AviReader() {
  video_detail::SilenceVideoLibraryLog();
}
AviReader::~AviReader() = default;
AviReader::AviReader(AviReader&&) noexcept = default;
AviReader& AviReader::operator=(AviReader&&) noexcept = default;

bool AviReader::IsOpen() const {
  return decoder_ != nullptr;
}

void AviReader::Close() {
  decoder_.reset();
}

bool AviReader::Open(const std::string& path, OpenReport report) {
  currentFrame_ = 0;
  Close();
  lastError_.clear();
  auto decoder = std::make_unique<Decoder>();
  std::string reason;
  if (!decoder->Start(path, &reason)) {
    lastError_ = path + ": " + reason;
    if (report == OpenReport::MessageBox) {
      CurrentUiSink().Message("Avi Error!", "Kestrin", MessageButtons::OkCancel);
    }
    return false;
  }
  width_ = decoder->width;
  height_ = decoder->height;
  pixelCount_ = width_ * height_;
  frameCount_ = decoder->frameCount;
  framesPerSecond_ = decoder->framesPerSecond;
  path_ = path;
  decoder_ = std::move(decoder);
  return true;
}

bool AviReader::OpenInto(const std::string& path, Dib& image, OpenReport report) {
  const bool opened = Open(path, report);
  if (width_ > 0 && height_ > 0) {
    image.Create(width_, height_, 24, false);
    image.SetHeaderHeight(height_);
  }
  return opened;
}

bool AviReader::GetFrame(int index, Dib& image) {
  if (decoder_ == nullptr || index < 0 || index >= frameCount_) return false;
  if (image.GetBitCount() != 24 || image.Width() != width_ || image.Height() != height_) {
    return false;
  }
  return decoder_->Deliver(index, image);
}

}  // namespace fw
