#include "client/window_templates.h"

#include <windows.h>

#include <utility>

namespace client {
namespace {

using rt::UnitClass;
using rt::UnitRect;
using rt::UnitTemplate;

UnitTemplate Unit(UnitClass cls, const char* name, std::uint32_t id, UnitRect rect,
                  const char* text = "") {
  UnitTemplate unit;
  unit.unitClass = cls;
  unit.name = name;
  unit.unitId = id;
  unit.rect = rect;
  unit.text = text;
  return unit;
}

UnitTemplate Label(const char* name, std::uint32_t id, UnitRect rect, const char* text) {
  UnitTemplate unit = Unit(UnitClass::kLabel, name, id, rect, text);
  unit.background = rt::kWhite;
  return unit;
}

// The two notes wrap from the top in a 9-point Chinese font of their own.
UnitTemplate NoteLabel(const char* name, std::uint32_t id, UnitRect rect, const char* text) {
  UnitTemplate unit = Label(name, id, rect, text);
  unit.multiLine = true;
  unit.font = rt::UnitFont{-12, 400, GB2312_CHARSET, VARIABLE_PITCH | FF_SWISS, L"Microsoft YaHei"};
  return unit;
}

UnitTemplate GroupBox(const char* name, std::uint32_t id, UnitRect rect, const char* caption) {
  UnitTemplate unit = Unit(UnitClass::kGroupBox, name, id, rect, caption);
  unit.background = rt::kWhite;
  return unit;
}

UnitTemplate EditBox(const char* name, std::uint32_t id, UnitRect rect, const char* text = "",
                     bool multiLine = false) {
  UnitTemplate unit = Unit(UnitClass::kEditBox, name, id, rect, text);
  unit.flags = rt::kUnitInput;
  unit.multiLine = multiLine;
  return unit;
}

UnitTemplate Clickable(UnitClass cls, const char* name, std::uint32_t id, UnitRect rect,
                       const char* caption, rt::EventHandler onClick) {
  UnitTemplate unit = Unit(cls, name, id, rect, caption);
  unit.flags = rt::kUnitInput;
  unit.events = {{0, onClick}};
  return unit;
}

// The edit field shows the selected entry's text: what the user sees is what the request sends.
UnitTemplate ComboBox(const char* name, std::uint32_t id, UnitRect rect,
                      std::vector<rt::ComboEntry> entries, std::size_t selection) {
  UnitTemplate unit =
      Unit(UnitClass::kComboBox, name, id, rect, entries.at(selection).text.str().c_str());
  unit.flags = rt::kUnitInput;
  unit.entries = std::move(entries);
  unit.selection = static_cast<int>(selection);
  return unit;
}

UnitTemplate Slider(const char* name, std::uint32_t id, UnitRect rect, int minimum, int maximum,
                    int position) {
  UnitTemplate unit = Unit(UnitClass::kSliderBar, name, id, rect);
  unit.flags = rt::kUnitInput;
  unit.minimum = minimum;
  unit.maximum = maximum;
  unit.position = position;
  return unit;
}

constexpr char kSampleText[] = "西蓝花，9块5每斤。\r\n金龙鱼调和油特价48块8一桶。";

UnitTemplate MainWindowUnit(const WindowHandlers& handlers) {
  UnitTemplate unit =
      Unit(UnitClass::kWindow, "MainWindow", kWindowUnit, {50, 50, 570, 347}, "Lumivox");
  unit.background = rt::kWhite;
  unit.iconResource = kWindowIconResource;
  unit.events = {{0, handlers.windowCreated}};
  return unit;
}

// The units right of and below the text area, the same in both programs.
std::vector<UnitTemplate> CommonUnits(const WindowHandlers& handlers) {
  UnitTemplate link = Clickable(UnitClass::kLinkButton, "超级按钮1", kApplyIdLinkUnit,
                                {424, 8, 136, 24}, "点此申请id", handlers.applyIdLinkClicked);
  link.style = rt::kLinkStyleHyperlink;
  return {
      std::move(link),
      NoteLabel(
          "标签3", 0x16017f43, {432, 35, 120, 85},
          "登陆后去创建应用选择语音合成，添加应用语音合成\r\n填写你的Id & Key在左边的框内\r\n"),
      Label("标签4", 0x16017f46, {427, 129, 33, 32}, "声音："),
      ComboBox("组合框1", kSpeakerComboUnit, {472, 136, 88, 20},
               {{"普通话男声", 1}, {"静琪女声", 5}, {"欢馨女声", 6}, {"碧萱女声", 7}}, 3),
      Label("标签11", 0x16017f54, {426, 170, 80, 16}, "输出文件格式："),
      ComboBox("组合框2", kFormatComboUnit, {512, 169, 48, 20},
               {{"PCM", 1}, {"WAV", 2}, {"MP3", 3}}, 2),
      NoteLabel("标签12", 0x16017f56, {432, 203, 120, 32}, "默认输出到软件所在目录"),
      Clickable(UnitClass::kButton, "按钮1", kSynthesizeButtonUnit, {432, 264, 120, 32}, "语音合成",
                handlers.synthesizeClicked),
      Label("标签5", 0x16017f49, {8, 268, 32, 24}, "语速："),
      Slider("滑块条1", kSpeedSliderUnit, {43, 265, 120, 31}, 50, 100, 100),
      Label("标签6", 0x16017f4a, {50, 297, 32, 16}, "50"),
      Label("标签7", 0x16017f4b, {141, 297, 32, 16}, "100"),
      Label("标签8", 0x16017f4d, {192, 269, 32, 24}, "音色："),
      Slider("滑块条2", kTimbreSliderUnit, {232, 265, 168, 32}, 0, 100, 58),
      Label("标签9", 0x16017f4e, {240, 299, 16, 16}, "0"),
      Label("标签10", 0x16017f4f, {377, 298, 32, 16}, "100"),
  };
}

rt::WindowTemplate MakeWindow(std::vector<UnitTemplate> leading, const WindowHandlers& handlers) {
  rt::WindowTemplate window;
  window.windowId = kMainWindowId;
  window.units.push_back(MainWindowUnit(handlers));
  for (UnitTemplate& unit : leading) window.units.push_back(std::move(unit));
  for (UnitTemplate& unit : CommonUnits(handlers)) window.units.push_back(std::move(unit));
  return window;
}

}  // namespace

rt::WindowTemplate TtsClientWindow(const WindowHandlers& handlers) {
  std::vector<UnitTemplate> units;
  units.push_back(GroupBox("分组框2", 0x16017f42, {5, 4, 416, 92}, "配置区域"));
  units.push_back(Label("标签1", 0x16017f3e, {16, 23, 48, 24}, "App_id："));
  units.push_back(EditBox("编辑框2", kAppIdEditUnit, {64, 23, 176, 24}));
  units.push_back(Label("标签2", 0x16017f40, {9, 61, 48, 16}, "App_Key："));
  units.push_back(EditBox("编辑框3", kAppKeyEditUnit, {64, 57, 176, 24}));
  units.push_back(GroupBox("分组框1", 0x16017f3b, {5, 99, 416, 157}, "文字输入区域"));
  units.push_back(EditBox("编辑框1", kTextEditUnit, {16, 121, 392, 127}, kSampleText, true));
  return MakeWindow(std::move(units), handlers);
}

rt::WindowTemplate BuiltinClientWindow(const WindowHandlers& handlers) {
  std::vector<UnitTemplate> units;
  units.push_back(GroupBox("分组框1", 0x16017f3b, {5, 8, 416, 248}, "文字输入区域"));
  units.push_back(EditBox("编辑框1", kTextEditUnit, {16, 32, 392, 216}, kSampleText, true));
  return MakeWindow(std::move(units), handlers);
}

}  // namespace client
