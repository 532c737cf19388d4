#pragma once

#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and writes for the small data files the program keeps
// (ini files, saved images).

// The file's bytes; nullopt when it cannot be opened or read.
std::optional<std::string> ReadFileBytes(const std::string& path);

// Replaces the file's contents so that a crash or a full disk leaves either
// the old file or the new one, never a mix: the bytes go to a temporary file
// in the same folder, are flushed to disk, and the temporary file is renamed
// over the target. An existing file keeps its permissions; a symbolic link
// keeps pointing where it did and its target is replaced. false (and no
// temporary file left behind) when any step fails.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);
