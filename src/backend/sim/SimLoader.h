// The tree-file loader. A tree file is untrusted input: anything malformed is refused with one
// message that names the file, the place (a JSON pointer, or the line and column of a syntax
// error) and what is wrong. The format is described in docs/tree-file.md.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "backend/sim/SimModel.h"

namespace trovalen::sim {

// Bounds that keep a hostile file from exhausting the program.
constexpr size_t kMaxTreeFileBytes = 512u * 1024 * 1024;
constexpr size_t kMaxJsonDepth = 64;
constexpr size_t kMaxNameChars = 256;    // a full object name
constexpr size_t kMaxPathBytes = 255;    // a directory path below its volume, in the OEM code page
constexpr size_t kMaxOctetBytes = 65536; // one octet value
constexpr size_t kMaxStreamBytes = 1024 * 1024;
constexpr size_t kMaxDirsPerVolume = 65534;

// Loads a tree file. On failure world is left unspecified and error holds the one message.
std::shared_ptr<TSimWorld> LoadTreeFile(const std::string& fileName, std::string& error);
// Loads tree-file text; fileName only names it in messages.
std::shared_ptr<TSimWorld> LoadTreeText(const std::string& text, const std::string& fileName,
                                        std::string& error);

} // namespace trovalen::sim
