#include "rt/audio.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <string>

#include "rt/wide.h"

namespace rt {
namespace {

constexpr const wchar_t* kAlias = L"lumivox_music";

struct Player {
  PlayerObserver observer;
  bool open = false;
};

Player& ThePlayer() {
  static Player player;
  return player;
}

bool Command(const std::wstring& command) {
  return ::mciSendStringW(command.c_str(), nullptr, 0, nullptr) == 0;
}

// A WAV file named .mp3 is still played: the type follows the content, not the name.
const wchar_t* DeviceTypeOf(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  char head[4] = {};
  DWORD got = 0;
  if (file != INVALID_HANDLE_VALUE) {
    ::ReadFile(file, head, sizeof head, &got, nullptr);
    ::CloseHandle(file);
  }
  const bool riff =
      got == 4 && head[0] == 'R' && head[1] == 'I' && head[2] == 'F' && head[3] == 'F';
  return riff ? L"waveaudio" : L"mpegvideo";
}

void CloseDevice(Player& p) {
  if (!p.open) return;
  Command(std::wstring(L"stop ") + kAlias);
  Command(std::wstring(L"close ") + kAlias);
  p.open = false;
}

}  // namespace

void StopMusic() {
  Player& p = ThePlayer();
  CloseDevice(p);
  // Reported once the device has let go of its file.
  if (p.observer) p.observer(PlayerEvent::kStop, Text());
}

void PlayMusic(const Text& path, std::optional<int> times) {
  (void)times;
  StopMusic();
  Player& p = ThePlayer();
  if (p.observer) p.observer(PlayerEvent::kPlay, path);
  const std::wstring wide = WidenGbk(path);
  const std::wstring open =
      std::wstring(L"open \"") + wide + L"\" type " + DeviceTypeOf(wide) + L" alias " + kAlias;
  if (!Command(open)) return;
  p.open = true;
  if (!Command(std::wstring(L"play ") + kAlias)) CloseDevice(p);
}

void SetPlayerObserver(PlayerObserver observer) {
  ThePlayer().observer = std::move(observer);
}

}  // namespace rt
