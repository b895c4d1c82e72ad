// Small generated clips for tests: every frame carries its index, so a test can tell which frame
// a pane holds.
#pragma once

#include <string>

#include "core/dib.h"
#include "video/video_writer.h"

namespace fw::test {

// The picture of frame `index`: a grey level 10 * index (mod 256) with a bright square whose
// position moves with the index.
void PaintFrame(Dib& frame, int width, int height, int index);

// Writes a clip of `frames` frames; returns its path (in a fresh temporary folder).
std::string MakeClip(const std::string& name, int width, int height, int frames,
                     VideoCodec codec = VideoCodec::RawBgr24, int framesPerSecond = 25);

// A fresh empty temporary folder for one test (ends without "/").
std::string TempDir(const std::string& name);

}  // namespace fw::test
