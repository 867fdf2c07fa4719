// A window as data: its units in a table of records whose fields default to the form
// engine's defaults, read by one form engine (form_engine.h) at load time.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "rt/text.h"

namespace rt {

// Event handlers are free functions without arguments or result, run on the loop's thread.
using EventHandler = void (*)();

enum class UnitClass {
  kWindow,
  kEditBox,
  kGroupBox,
  kLabel,
  kButton,
  kComboBox,
  kSliderBar,
  kLinkButton
};

// Colours as 0xBBGGRR, the platform's COLORREF order.
using Colour = std::uint32_t;
inline constexpr Colour kWhite = 0xFFFFFF;

// Flags word: bit 0 shows the unit, bit 2 makes it a tab stop (units that take input).
inline constexpr std::uint32_t kUnitVisible = 1;
inline constexpr std::uint32_t kUnitInput = 5;

// A link button's style that draws it as a hyperlink (underlined, the hand cursor over it);
// any other style makes a push button.
inline constexpr int kLinkStyleHyperlink = 1;

// In pixels at 96 dots per inch; within the client area, or on the screen for the window.
struct UnitRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

struct ComboEntry {
  Text text;
  int data = 0;
};

// A font of a unit's own; units without one use the default GUI font.
struct UnitFont {
  int height = -12;  // at 96 dots per inch; negative: the character height
  int weight = 400;
  int charset = 1;  // DEFAULT_CHARSET
  int pitchAndFamily = 0;
  const wchar_t* face = L"";
};

struct EventBinding {
  int event = 0;
  EventHandler handler = nullptr;
};

struct UnitTemplate {
  UnitClass unitClass = UnitClass::kLabel;
  Text name;
  std::uint32_t unitId = 0;
  UnitRect rect;
  std::uint32_t flags = kUnitVisible;
  Text text;  // caption, or the content of an edit box or a combo box's edit field
  bool multiLine =
      false;  // edit box: Enter, wrap, vertical scroll bar; label: wrapped from the top
  std::vector<ComboEntry> entries;
  int selection = -1;  // clamped to the entries present; -1 selects none
  int minimum = 0;
  int maximum = 100;
  int position = 0;
  int style = 0;  // link button: kLinkStyleHyperlink, or a push button
  std::optional<UnitFont> font;
  std::optional<Colour> background;  // none: the class default
  int iconResource = 0;              // window: the icon's resource id, 0 for none
  std::vector<EventBinding> events;
};

struct WindowTemplate {
  std::uint32_t windowId = 0;
  std::vector<UnitTemplate> units;  // the window itself first
};

}  // namespace rt
