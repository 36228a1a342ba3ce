#pragma once
// Whole-file reads and crash-safe writes for the user's data (settings values,
// preset and bank files). Not for the audio thread: these block on the disk.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vh {

// Writes data to path so that a reader only ever sees the old content or the
// complete new one: temporary file in the same folder, fsync, rename over the
// target, fsync of the folder. On failure the old file is untouched and no
// temporary file is left behind. A new file gets `mode` less the umask; a
// replaced one keeps its permissions.
[[nodiscard]] bool writeFileAtomically(const std::string& path, const void* data, std::size_t size,
                                       unsigned mode = 0644);

// Reads at most maxSize bytes from the start of path into out. False (and out
// empty) when the file cannot be opened or read; a shorter file gives fewer
// bytes. Larger files are never read past maxSize, so a hostile file cannot
// make us allocate more than the caller expects.
[[nodiscard]] bool readFileUpTo(const std::string& path, std::size_t maxSize, std::vector<std::uint8_t>& out);

// Creates path and any missing parent folders (mode 0700 for new folders, as
// they hold per-user settings). True when the folder exists afterwards.
[[nodiscard]] bool makeFolders(const std::string& path);

}  // namespace vh
