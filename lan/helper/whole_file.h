// Files the helper writes for other processes to read: the key file, the
// pass its workers share and the names the program looks up. Each is
// written whole under a name of its own and then put in place, so that a
// reader sees the old file or the new one, never half of one.
#pragma once
#include <cstddef>
#include <string>

// Writes `text` to a new file of mode 0600 beside `path` (mkstemp), then
// renames it to `path`. False, with nothing left behind, when it cannot.
bool WriteWhole(const std::string& path, const std::string& text);
// Reads the regular file at `path` (no link followed, nothing waited for)
// into `text`, stopping once it holds `most` bytes or a little more.
bool ReadWhole(const std::string& path, std::string* text, size_t most);
