#include "video/avi_chunks.h"

#include <cstring>

namespace fw::video_detail {

namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The chunk ids that belong in a movie list: lists, padding, indexes and the streams' data
// ("00dc", "01wb", "ix00", ...). Anything else is a broken header.
bool KnownChunkId(const uint8_t* id) {
  const auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  for (const char* word : {"LIST", "RIFF", "JUNK", "idx1"}) {
    if (std::memcmp(id, word, 4) == 0) return true;
  }
  if (id[0] == 'i' && id[1] == 'x' && digit(id[2]) && digit(id[3])) return true;
  if (!digit(id[0]) || !digit(id[1])) return false;
  for (const char* kind : {"dc", "db", "wb", "pc", "tx"}) {
    if (std::memcmp(id + 2, kind, 2) == 0) return true;
  }
  return false;
}

}  // namespace

void VideoBytes::UseFile(const std::string& path) {
  inMemory_ = false;
  file_.open(path, std::ios::binary);
  file_.seekg(0, std::ios::end);
  size_ = file_ ? static_cast<int64_t>(file_.tellg()) : 0;
}

void VideoBytes::UseMemory(std::span<const uint8_t> bytes) {
  inMemory_ = true;
  memory_ = bytes;
  size_ = static_cast<int64_t>(bytes.size());
}

bool VideoBytes::ReadAt(int64_t pos, uint8_t* out, int count) {
  if (pos < 0 || count < 0 || pos + count > size_) return false;
  if (inMemory_) {
    std::memcpy(out, memory_.data() + pos, static_cast<size_t>(count));
    return true;
  }
  file_.clear();
  file_.seekg(pos);
  file_.read(reinterpret_cast<char*>(out), count);
  return file_.gcount() == count;
}

int64_t LostChunksBetween(VideoBytes& bytes, int64_t from, int64_t to) {
  int64_t lost = 0;
  int64_t p = from;
  while (p + kChunkHeader <= to) {
    uint8_t header[kChunkHeader];
    if (!bytes.ReadAt(p, header, kChunkHeader)) return lost + 1;
    const int64_t size = Le32(header + 4);
    if (p + kChunkHeader + size > to) return lost + 1;
    const bool known = KnownChunkId(header);
    if (known && (std::memcmp(header, "LIST", 4) == 0 || std::memcmp(header, "RIFF", 4) == 0)) {
      p += 12;  // walk into lists: their chunks follow their form type
      continue;
    }
    // A video chunk with data, or one whose id is broken but whose size still leads on.
    const bool video = header[2] == 'd' && (header[3] == 'c' || header[3] == 'b');
    if (!known || (video && size > 0)) ++lost;
    p += kChunkHeader + size + (size & 1);
  }
  return lost;
}

}  // namespace fw::video_detail
