#include "rt/audio.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <cwchar>
#include <string>

#include "rt/handle_owners.h"
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
  const UniqueKernelHandle file =
      AdoptFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  char head[4] = {};
  DWORD got = 0;
  if (file) ::ReadFile(file.get(), head, sizeof head, &got, nullptr);
  const bool riff =
      got == 4 && head[0] == 'R' && head[1] == 'I' && head[2] == 'F' && head[3] == 'F';
  return riff ? L"waveaudio" : L"mpegvideo";
}

bool OpenDevice(const std::wstring& path) {
  const auto open = [type = DeviceTypeOf(path)](const std::wstring& name) {
    return Command(std::wstring(L"open \"") + name + L"\" type " + type + L" alias " + kAlias);
  };
  if (open(path)) return true;
  // Some players open the file through the ANSI code page (Wine's waveaudio does), where a
  // Chinese name may have no spelling; the file's short name is plain ASCII.
  const DWORD size = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return false;
  std::wstring shortPath(size, L'\0');
  shortPath.resize(::GetShortPathNameW(path.c_str(), shortPath.data(), size));
  return !shortPath.empty() && shortPath != path && open(shortPath);
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
  if (!OpenDevice(WidenGbk(path))) return;
  p.open = true;
  if (!Command(std::wstring(L"play ") + kAlias)) CloseDevice(p);
}

PlayerState QueryPlayer() {
  PlayerState state;
  if (!ThePlayer().open) return state;
  wchar_t answer[64] = {};
  const auto status = [&answer](const wchar_t* item) {
    answer[0] = L'\0';
    const std::wstring command = std::wstring(L"status ") + kAlias + L" " + item;
    return ::mciSendStringW(command.c_str(), answer, 64, nullptr) == 0;
  };
  if (status(L"mode")) state.mode = NarrowToGbk(answer);
  if (status(L"length")) state.lengthMs = std::wcstol(answer, nullptr, 10);
  return state;
}

void SetPlayerObserver(PlayerObserver observer) { ThePlayer().observer = std::move(observer); }

}  // namespace rt
