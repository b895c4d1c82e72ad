#include "tests/support/crafted.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace fw::test {

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutBe32(Bytes& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(Bytes& out, const char* type, const Bytes& body) {
  PutBe32(out, static_cast<uint32_t>(body.size()));
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), body.begin(), body.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBe32(out, Crc32(typed.data(), typed.size()));
}

Bytes Png(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
          const std::vector<Bytes>& rows, const Bytes& plte, const Bytes& trns) {
  Bytes raw;
  for (const Bytes& r : rows) {
    raw.push_back(0);
    raw.insert(raw.end(), r.begin(), r.end());
  }
  Bytes z = {0x78,
             0x01,
             0x01,
             static_cast<uint8_t>(raw.size()),
             static_cast<uint8_t>(raw.size() >> 8),
             static_cast<uint8_t>(~raw.size()),
             static_cast<uint8_t>(~raw.size() >> 8)};
  z.insert(z.end(), raw.begin(), raw.end());
  uint32_t a = 1;
  uint32_t b = 0;
  for (uint8_t v : raw) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(z, (b << 16) | a);
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes ihdr;
  PutBe32(ihdr, width);
  PutBe32(ihdr, height);
  ihdr.insert(ihdr.end(), {depth, colourType, 0, 0, 0});
  Chunk(png, "IHDR", ihdr);
  if (!plte.empty()) Chunk(png, "PLTE", plte);
  if (!trns.empty()) Chunk(png, "tRNS", trns);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});
  return png;
}

uint32_t Le32At(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

namespace {

void MapChunks(const Bytes& b, size_t from, size_t to, AviChunks& map) {
  while (from + 8 <= to) {
    const std::string id(b.begin() + static_cast<long>(from),
                         b.begin() + static_cast<long>(from) + 4);
    const size_t size = Le32At(b, from + 4);
    if (id == "RIFF" || id == "LIST") {
      MapChunks(b, from + 12, std::min(to, from + 8 + size), map);
    } else if (id == "00dc" || id == "00db") {
      map.video.push_back(from);
    } else if (id == "idx1") {
      map.index = from;
    } else if (id == "avih") {
      map.mainHeader = from;
    } else if (id == "strf" && map.streamFormat == 0) {
      map.streamFormat = from;
    }
    from += 8 + size + (size & 1);
  }
}

}  // namespace

AviChunks MapAviChunks(const Bytes& file) {
  AviChunks map;
  MapChunks(file, 0, file.size(), map);
  return map;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace fw::test
