// Files written or taken apart by hand for tests: a minimal PNG writer (stored deflate blocks,
// every chunk with its CRC), enough to build each case of the readers, broken ones included, and
// a map of the chunks of an AVI file, for damaging them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fw::test {

using Bytes = std::vector<uint8_t>;

uint32_t Crc32(const uint8_t* data, size_t n, uint32_t crc = 0);
void PutBe32(Bytes& out, uint32_t v);
// Appends a PNG chunk: length, type, body, CRC of type and body.
void Chunk(Bytes& out, const char* type, const Bytes& body);
// rows: the filtered scanlines (filter byte 0 added here), top row first.
Bytes Png(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
          const std::vector<Bytes>& rows, const Bytes& plte = {}, const Bytes& trns = {});

// Where the chunks of an AVI file lie (byte positions of their headers): each video chunk of
// the movie list in order, the index chunk, the main header and the video stream's format
// (0 when absent).
struct AviChunks {
  std::vector<size_t> video;
  size_t index = 0;
  size_t mainHeader = 0;
  size_t streamFormat = 0;
};
AviChunks MapAviChunks(const Bytes& file);
uint32_t Le32At(const Bytes& b, size_t at);
void PutLe32(Bytes& b, size_t at, uint32_t v);

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

}  // namespace fw::test
