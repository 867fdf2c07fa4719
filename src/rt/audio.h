// The audio player: one file at a time, played asynchronously by the system's media
// control interface on its own threads.
#pragma once

#include <functional>
#include <optional>

#include "rt/text.h"

namespace rt {

// Stops and discards whatever plays, then starts path (MP3 or WAV) and returns at once.
// times not given counts as 1; the file is played once whatever times says.
void PlayMusic(const Text& path, std::optional<int> times = std::nullopt);

// Stops and closes whatever plays; nothing happens when nothing plays.
void StopMusic();

// What the system's player says of the file it was given last: its mode ("playing",
// "stopped", ...; empty when no file is open) and its length in milliseconds.
struct PlayerState {
  Text mode;
  long lengthMs = 0;
};
PlayerState QueryPlayer();

// What the player was asked to do, for tests; every stop and play is reported, also when
// the system has no sound device and the file cannot be opened.
enum class PlayerEvent { kStop, kPlay };
using PlayerObserver = std::function<void(PlayerEvent event, const Text& path)>;
// An empty observer removes the one set before.
void SetPlayerObserver(PlayerObserver observer);

}  // namespace rt
