// The main window of each program, as data for the form engine.
#pragma once

#include <cstdint>

#include "rt/window_template.h"

namespace client {

inline constexpr std::uint32_t kMainWindowId = 0x52010001;
inline constexpr std::uint32_t kWindowUnit = 0x06010000;
inline constexpr std::uint32_t kTextEditUnit = 0x1601411b;          // 编辑框1
inline constexpr std::uint32_t kAppIdEditUnit = 0x16017f3f;         // 编辑框2
inline constexpr std::uint32_t kAppKeyEditUnit = 0x16017f41;        // 编辑框3
inline constexpr std::uint32_t kSpeakerComboUnit = 0x16017f3d;      // 组合框1
inline constexpr std::uint32_t kFormatComboUnit = 0x16017f53;       // 组合框2
inline constexpr std::uint32_t kSpeedSliderUnit = 0x16017f47;       // 滑块条1
inline constexpr std::uint32_t kTimbreSliderUnit = 0x16017f4c;      // 滑块条2
inline constexpr std::uint32_t kApplyIdLinkUnit = 0x16017f44;       // 超级按钮1
inline constexpr std::uint32_t kSynthesizeButtonUnit = 0x16010002;  // 按钮1

// The icon resource that both programs' windows show.
inline constexpr int kWindowIconResource = 1;

// The three handlers a template binds; the entry points pass the real ones.
struct WindowHandlers {
  rt::EventHandler windowCreated = nullptr;
  rt::EventHandler applyIdLinkClicked = nullptr;
  rt::EventHandler synthesizeClicked = nullptr;
};

// ttsclient: 24 units, the credential boxes included.
rt::WindowTemplate TtsClientWindow(const WindowHandlers& handlers);

// ttsclient-builtin: 19 units, without the credential boxes; the text area fills their place.
rt::WindowTemplate BuiltinClientWindow(const WindowHandlers& handlers);

}  // namespace client
