// Picture files beyond the image buffer's own BMP code: JPEG, PNG and BMP pictures decoded into
// 24-bit bottom-up images, JPEG writing, the save/open dispatch on the file extension that the
// desktop's file dialogs call, and the folder helpers of the sample tools.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/dib.h"
#include "core/result.h"

namespace fw {

// Reading and writing a picture answer with a Result: on failure the message names the file and
// the problem, and the image is left as it was.

// The loaders refuse a picture beyond the size limits (core/size_limits.h) before they allocate
// anything for it.

// Reads a JPEG, PNG or BMP picture (recognised by its first bytes, not by the extension) into a
// 24-bit bottom-up image (header height positive, bytes blue, green, red). Alpha is dropped, grey
// and palette pictures are expanded to three bytes. Refreshes the float copy when the image keeps
// one. "Memory allocation Error!\nExit now!" goes to the UI sink when memory runs out (the
// result is then marked reported).
Result LoadImageFile(Dib& image, const std::string& path);
// The same from bytes in memory; `name` stands for the file in messages.
Result LoadImageFromMemory(Dib& image, std::span<const uint8_t> bytes, const std::string& name);

// Writes an 8-bit or 24-bit image as a JPEG of quality 0..100 as it is shown (bottom-up images
// are turned upright). An 8-bit image with the grey palette gives a grey JPEG; other palettes are
// applied. Nothing is written for a quality outside 0..100, an empty path or an empty image.
Result SaveJpeg(const Dib& image, const std::string& path, int quality);

// Creates a folder and its missing parents; succeeds when the folder exists afterwards.
Result CreateFolder(const std::string& path);
// Removes a folder with everything in it; true when the folder itself was removed. Files removed
// before a failure stay removed. An empty path or a file-system root is refused.
bool DeleteFolderTree(const std::string& path);

// The dispatch behind the save and open dialogs, on the lower-cased extension of `path`:
// "jpg" -> SaveJpeg (quality 100) / LoadImageFile, "bmp" -> SaveBmp / LoadBmp; any other
// extension writes or reads nothing and says so. The caller rebuilds a pane's HSV plane after
// opening.
Result SaveImageAs(const Dib& image, const std::string& path);
Result OpenImageFile(Dib& image, const std::string& path);

}  // namespace fw
