#pragma once

// The user's private runtime folder: the local engine's socket, its published
// address and log, and the one-window channel live there. Free of Qt, so the
// launcher finds the channel before it loads any library.

#include <cstddef>
#include <string>

// The longest path a Unix socket can be bound at (sun_path less its end).
inline constexpr std::size_t kMaxSocketPathLength = 107;
// The longest name of a socket in the folder ("engine.sock").
inline constexpr std::size_t kLongestSocketName = 11;

// True when path is a folder of this user's, not a link, that nobody else may
// enter, list or write.
bool IsPrivateFolder(const std::string& path);
// Makes the folder (0700) when missing; true when it is then private.
bool MakePrivateFolder(const std::string& path);

// $XDG_RUNTIME_DIR/quillmate when it is private and short enough for the
// sockets in it. Otherwise (no XDG_RUNTIME_DIR, or a folder there that is not
// ours) a folder made by mkdtemp in /tmp whose name is kept in the data
// folder, one per host: every start finds the same one, and no other user can
// take its name first. Empty when neither can be had.
std::string PrivateRuntimeFolder();
