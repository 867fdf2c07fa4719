#include "rt/form_engine.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "rt/fatal_error.h"
#include "rt/handle_owners.h"
#include "rt/wide.h"

namespace rt {
namespace {

constexpr wchar_t kFormClass[] = L"LumivoxForm";
// The drop-down list's height below a combo box's edit field.
constexpr int kComboListHeight = 160;

bool IsHyperlink(const UnitTemplate& unit) {
  return unit.unitClass == UnitClass::kLinkButton && unit.style == kLinkStyleHyperlink;
}

int ScreenDpi() {
  const WindowDc screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

class FormWindow {
public:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;

  FormWindow(const WindowTemplate& window, bool quitWhenClosed)
      : template_(window), quitWhenClosed_(quitWhenClosed), dpi_(ScreenDpi()) {}
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  bool Create();
  HWND hwnd() const { return hwnd_.get(); }
  HWND Unit(std::uint32_t unitId) const;
  const UnitTemplate* UnitOf(HWND control) const;
  void RaiseEvent(const UnitTemplate& unit, int event) noexcept;
  bool HandleKey(const MSG& msg);

private:
  static constexpr std::size_t kNoUnit = static_cast<std::size_t>(-1);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  int Scale(int v) const { return ::MulDiv(v, dpi_, 96); }
  HWND CreateUnit(const UnitTemplate& unit, int controlId);
  void SetUpCombo(HWND combo, const UnitTemplate& unit);
  void SetUpSlider(HWND slider, const UnitTemplate& unit);
  HFONT FontFor(const UnitTemplate& unit);
  HBRUSH BrushFor(Colour colour);
  void DrawLinkButton(const DRAWITEMSTRUCT& item);
  std::size_t UnitHolding(HWND focus) const;
  bool IsTabStop(std::size_t index) const;
  HWND NextTabStop(HWND focus, bool backwards) const;
  void RestoreFocus();

  WindowTemplate template_;
  bool quitWhenClosed_;
  int dpi_;
  std::vector<HWND> units_;  // parallel to template_.units; the window at 0
  UniqueFont defaultFont_;
  UniqueFont linkFont_;
  std::vector<UniqueFont> ownFonts_;
  std::map<Colour, UniqueBrush> brushes_;
  UniqueIcon bigIcon_;
  UniqueIcon smallIcon_;
  HWND savedFocus_ = nullptr;  // the focus when the window was last deactivated
  // Declared last so the window goes before the fonts and brushes its controls use.
  UniqueWindow hwnd_;
};

bool RegisterFormClass() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &FormWindow::WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kFormClass;
    return ::RegisterClassExW(&wc) != 0;
  }();
  return registered;
}

bool FormWindow::Create() {
  if (template_.units.empty() || !RegisterFormClass()) return false;
  const UnitTemplate& self = template_.units.front();
  units_.assign(template_.units.size(), nullptr);
  // The stock font already comes at the screen's dpi: it is used as it is, never scaled again.
  // Fonts of a unit's own are stored at 96 dpi and scaled once (FontFor).
  LOGFONTW lf{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
  defaultFont_.reset(::CreateFontIndirectW(&lf));
  lf.lfUnderline = TRUE;
  linkFont_.reset(::CreateFontIndirectW(&lf));

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  HWND hwnd =
      ::CreateWindowExW(0, kFormClass, WidenGbk(self.text).c_str(), style, Scale(self.rect.left),
                        Scale(self.rect.top), Scale(self.rect.width), Scale(self.rect.height),
                        nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (hwnd == nullptr) return false;
  units_[0] = hwnd;

  if (self.iconResource != 0) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto load = [&](int metric) {
      const int size = ::GetSystemMetrics(metric);
      return static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(self.iconResource),
                                             IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    };
    bigIcon_.reset(load(SM_CXICON));
    smallIcon_.reset(load(SM_CXSMICON));
    if (bigIcon_)
      ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    if (smallIcon_) {
      ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    }
  }
  for (std::size_t i = 1; i < template_.units.size(); ++i) {
    units_[i] = CreateUnit(template_.units[i], kFirstControlId + static_cast<int>(i));
  }
  return true;
}

HFONT FormWindow::FontFor(const UnitTemplate& unit) {
  // The hyperlink is drawn in its own font, and reports that one as its font.
  if (IsHyperlink(unit) && linkFont_) return linkFont_.get();
  if (!unit.font) return defaultFont_.get();
  const UnitFont& f = *unit.font;
  LOGFONTW lf{};
  lf.lfHeight = Scale(f.height);
  lf.lfWeight = f.weight;
  lf.lfCharSet = static_cast<BYTE>(f.charset);
  lf.lfPitchAndFamily = static_cast<BYTE>(f.pitchAndFamily);
  lf.lfQuality = DEFAULT_QUALITY;
  lstrcpynW(lf.lfFaceName, f.face, LF_FACESIZE);
  ownFonts_.emplace_back(::CreateFontIndirectW(&lf));
  return ownFonts_.back().get() ? ownFonts_.back().get() : defaultFont_.get();
}

HBRUSH FormWindow::BrushFor(Colour colour) {
  UniqueBrush& brush = brushes_[colour];
  if (!brush) brush.reset(::CreateSolidBrush(static_cast<COLORREF>(colour)));
  return brush.get();
}

HWND FormWindow::CreateUnit(const UnitTemplate& unit, int controlId) {
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD;
  DWORD exStyle = 0;
  int height = unit.rect.height;
  switch (unit.unitClass) {
    case UnitClass::kWindow: return nullptr;
    case UnitClass::kEditBox:
      cls = L"EDIT";
      exStyle = WS_EX_CLIENTEDGE;
      style |=
          ES_LEFT | (unit.multiLine ? ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL
                                    : ES_AUTOHSCROLL);
      break;
    case UnitClass::kGroupBox:
      cls = L"BUTTON";
      style |= BS_GROUPBOX;
      break;
    case UnitClass::kLabel:
      // No prefix: "&" is text here, as in "Id & Key".
      style |= SS_LEFT | SS_NOPREFIX | (unit.multiLine ? 0 : SS_CENTERIMAGE | SS_LEFTNOWORDWRAP);
      break;
    case UnitClass::kButton:
      cls = L"BUTTON";
      style |= BS_PUSHBUTTON;
      break;
    case UnitClass::kLinkButton:
      cls = L"BUTTON";
      style |= IsHyperlink(unit) ? BS_OWNERDRAW : BS_PUSHBUTTON;
      break;
    case UnitClass::kComboBox:
      cls = L"COMBOBOX";
      style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
      height += kComboListHeight;
      break;
    case UnitClass::kSliderBar:
      cls = TRACKBAR_CLASSW;
      style |= TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS;
      break;
  }
  if (unit.flags & kUnitVisible) style |= WS_VISIBLE;
  if ((unit.flags & kUnitInput) == kUnitInput) style |= WS_TABSTOP;
  const bool hasText =
      unit.unitClass != UnitClass::kComboBox && unit.unitClass != UnitClass::kSliderBar;
  HWND control = ::CreateWindowExW(exStyle, cls, hasText ? WidenGbk(unit.text).c_str() : L"", style,
                                   Scale(unit.rect.left), Scale(unit.rect.top),
                                   Scale(unit.rect.width), Scale(height), hwnd_.get(),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  if (control == nullptr) return nullptr;
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(unit)), FALSE);
  switch (unit.unitClass) {
    case UnitClass::kEditBox: ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0); break;
    case UnitClass::kComboBox: SetUpCombo(control, unit); break;
    case UnitClass::kSliderBar: SetUpSlider(control, unit); break;
    default: break;
  }
  return control;
}

void FormWindow::SetUpCombo(HWND combo, const UnitTemplate& unit) {
  for (const ComboEntry& entry : unit.entries) {
    const LRESULT index = ::SendMessageW(combo, CB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(WidenGbk(entry.text).c_str()));
    if (index >= 0) ::SendMessageW(combo, CB_SETITEMDATA, index, entry.data);
  }
  const int count = static_cast<int>(unit.entries.size());
  const int selection = std::min(std::max(unit.selection, -1), count - 1);
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
  ::SetWindowTextW(combo, WidenGbk(unit.text).c_str());
  ::SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(0, 0));
  // The drop-down button already parts the text from the frame; a right margin there would
  // cut off the last pixels of an entry that fills a narrow box ("WAV" in 48 pixels).
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (::GetComboBoxInfo(combo, &info) && info.hwndItem != nullptr)
    ::SendMessageW(info.hwndItem, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, 0));
  // List rows one pixel taller than the font needs.
  const WindowDc dc(combo);
  if (dc) {
    const ScopedSelection font(dc.get(), FontFor(unit));
    TEXTMETRICW tm{};
    if (::GetTextMetricsW(dc.get(), &tm))
      ::SendMessageW(combo, CB_SETITEMHEIGHT, 0, tm.tmHeight + 1);
  }
}

void FormWindow::SetUpSlider(HWND slider, const UnitTemplate& unit) {
  ::SendMessageW(slider, TBM_SETRANGEMIN, FALSE, unit.minimum);
  ::SendMessageW(slider, TBM_SETRANGEMAX, FALSE, unit.maximum);
  ::SendMessageW(slider, TBM_SETTICFREQ, 10, 0);
  ::SendMessageW(slider, TBM_SETPAGESIZE, 0, 5);
  ::SendMessageW(slider, TBM_SETLINESIZE, 0, 10);
  ::SendMessageW(slider, TBM_SETPOS, TRUE, unit.position);
}

HWND FormWindow::Unit(std::uint32_t unitId) const {
  for (std::size_t i = 0; i < template_.units.size(); ++i) {
    if (template_.units[i].unitId == unitId) return units_[i];
  }
  return nullptr;
}

const UnitTemplate* FormWindow::UnitOf(HWND control) const {
  for (std::size_t i = 0; i < units_.size(); ++i) {
    if (units_[i] == control && control != nullptr) return &template_.units[i];
  }
  return nullptr;
}

void FormWindow::RaiseEvent(const UnitTemplate& unit, int event) noexcept {
  for (const EventBinding& binding : unit.events) {
    if (binding.event != event || binding.handler == nullptr) continue;
    // Out of memory never arrives here as an exception: the allocation itself is fatal.
    try {
      binding.handler();
    } catch (...) {
      FatalUnhandledException();
    }
  }
}

// The unit whose control is the focus or holds it (a combo box's edit field); kNoUnit else.
std::size_t FormWindow::UnitHolding(HWND focus) const {
  if (focus == nullptr) return kNoUnit;
  for (std::size_t i = 1; i < units_.size(); ++i) {
    if (units_[i] != nullptr && (units_[i] == focus || ::IsChild(units_[i], focus))) return i;
  }
  return kNoUnit;
}

bool FormWindow::IsTabStop(std::size_t index) const {
  HWND control = units_[index];
  return index > 0 && control != nullptr &&
         (::GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0 && ::IsWindowVisible(control) &&
         ::IsWindowEnabled(control);
}

// The tab stop after (or before) the unit holding the focus, in template order and round
// from the last to the first; from outside every unit, the first (or the last).
HWND FormWindow::NextTabStop(HWND focus, bool backwards) const {
  const std::size_t n = units_.size();
  const std::size_t current = UnitHolding(focus);
  for (std::size_t step = 1; step <= n; ++step) {
    const std::size_t i = current == kNoUnit
                              ? (backwards ? n - step : step - 1)
                              : (backwards ? current + n - step : current + step) % n;
    if (IsTabStop(i)) return units_[i];
  }
  return nullptr;
}

// The form takes no keys itself: its focus goes to the unit that had it, else the first stop.
void FormWindow::RestoreFocus() {
  HWND hwnd = hwnd_.get();
  HWND target = savedFocus_ != nullptr && ::IsChild(hwnd, savedFocus_)
                    ? savedFocus_
                    : NextTabStop(nullptr, false);
  if (target != nullptr) ::SetFocus(target);
}

// The window is no dialog, so the platform's dialog manager does not serve it (its Enter
// would send IDOK, and the multi-line edit box hands Tab on only inside a dialog). The engine
// does the navigation itself before a key reaches the control with the focus: Tab and
// Shift+Tab go round the tab stops, Enter on a button clicks it. Space reaches the buttons,
// which click on it themselves; Enter reaches the multi-line edit box, which makes a new line.
// Ctrl+Tab moves on as Tab does: the window has no pages to turn, and a tab character in the
// text to speak would say nothing.
bool FormWindow::HandleKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || ::GetKeyState(VK_MENU) < 0) return false;
  HWND focus = ::GetFocus();
  if (msg.wParam == VK_TAB) {
    HWND next = NextTabStop(focus, ::GetKeyState(VK_SHIFT) < 0);
    if (next == nullptr) return true;
    // Keyboard use shows where the focus is.
    ::SendMessageW(hwnd_.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    ::SetFocus(next);
    // As in a dialog: an edit box entered by Tab has its text selected, ready to be retyped.
    const UnitTemplate* unit = UnitOf(next);
    if (unit != nullptr && unit->unitClass == UnitClass::kEditBox)
      ::SendMessageW(next, EM_SETSEL, 0, -1);
    return true;
  }
  if (msg.wParam == VK_RETURN && ::GetKeyState(VK_CONTROL) >= 0) {
    const std::size_t i = UnitHolding(focus);
    if (i == kNoUnit) return false;
    const UnitClass cls = template_.units[i].unitClass;
    if (cls != UnitClass::kButton && cls != UnitClass::kLinkButton) return false;
    ::SendMessageW(hwnd_.get(), WM_COMMAND,
                   MAKEWPARAM(kFirstControlId + static_cast<int>(i), BN_CLICKED),
                   reinterpret_cast<LPARAM>(units_[i]));
    return true;
  }
  return false;
}

void FormWindow::DrawLinkButton(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT rc = item.rcItem;
  ::FillRect(dc, &rc, BrushFor(template_.units.front().background.value_or(kWhite)));
  const UnitTemplate* unit = UnitOf(item.hwndItem);
  if (unit == nullptr) return;
  const std::wstring caption = WidenGbk(unit->text);
  const ScopedSelection font(dc, FontFor(*unit));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc,
                 (item.itemState & ODS_SELECTED) ? RGB(0x80, 0x00, 0x80) : RGB(0x00, 0x66, 0xCC));
  constexpr UINT kFormat = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
  ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &rc, kFormat);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) {
    // The focus rectangle frames the link's text, not the whole button.
    RECT text = rc;
    ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                kFormat | DT_CALCRECT);
    const int height = text.bottom - text.top;
    text.top = rc.top + (rc.bottom - rc.top - height) / 2;
    text.bottom = text.top + height;
    ::InflateRect(&text, 1, 1);
    ::IntersectRect(&text, &text, &rc);
    ::DrawFocusRect(dc, &text);
  }
}

LRESULT CALLBACK FormWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  // The classic thunk: this arrives with WM_NCCREATE and is kept in the window's user data.
  if (msg == WM_NCCREATE) {
    auto* created = static_cast<FormWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    created->hwnd_.reset(hwnd);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  auto* self = reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(hwnd, msg, wp, lp);
  // Nothing may unwind into the system's code that called us.
  try {
    return self->HandleMessage(msg, wp, lp);
  } catch (...) {
    FatalUnhandledException();
  }
}

LRESULT FormWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_.get();
  const UnitTemplate& self = template_.units.front();
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      ::GetClientRect(hwnd, &rc);
      HBRUSH brush = self.background ? BrushFor(*self.background)
                                     : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      ::FillRect(reinterpret_cast<HDC>(wp), &rc, brush);
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      // Labels and group boxes take their own colour, other units the window's.
      const UnitTemplate* unit = UnitOf(reinterpret_cast<HWND>(lp));
      const std::optional<Colour> colour =
          unit && unit->background ? unit->background : self.background;
      if (!colour) break;
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetBkColor(dc, static_cast<COLORREF>(*colour));
      ::SetTextColor(dc, RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(BrushFor(*colour));
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlType != ODT_BUTTON) break;
      DrawLinkButton(*item);
      return TRUE;
    }
    case WM_SETCURSOR: {
      const UnitTemplate* unit = UnitOf(reinterpret_cast<HWND>(wp));
      if (unit && IsHyperlink(*unit) && LOWORD(lp) == HTCLIENT) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    }
    case WM_COMMAND: {
      if (lp == 0) break;
      const UnitTemplate* unit = UnitOf(reinterpret_cast<HWND>(lp));
      // The combo box's edit field keeps its selection shown when the focus leaves it; one
      // highlighted field is where the focus is, so the one left behind shows none.
      if (HIWORD(wp) == CBN_KILLFOCUS && unit && unit->unitClass == UnitClass::kComboBox) {
        ::SendMessageW(reinterpret_cast<HWND>(lp), CB_SETEDITSEL, 0, MAKELPARAM(0, 0));
        return 0;
      }
      if (HIWORD(wp) != BN_CLICKED) break;
      if (unit &&
          (unit->unitClass == UnitClass::kButton || unit->unitClass == UnitClass::kLinkButton)) {
        RaiseEvent(*unit, 0);
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(hwnd, focus)) savedFocus_ = focus;
        break;
      }
      if (HIWORD(wp) != 0) break;  // minimized: nothing takes the focus
      RestoreFocus();
      return 0;
    case WM_SETFOCUS: RestoreFocus(); return 0;
    case WM_NCDESTROY: {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_.release();
      std::fill(units_.begin(), units_.end(), nullptr);
      if (quitWhenClosed_) ::PostQuitMessage(0);
      return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    default: break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

std::map<std::uint32_t, std::unique_ptr<FormWindow>>& LoadedWindows() {
  static std::map<std::uint32_t, std::unique_ptr<FormWindow>> windows;
  return windows;
}

FormWindow* FindWindowById(std::uint32_t windowId) {
  auto& windows = LoadedWindows();
  const auto it = windows.find(windowId);
  return it == windows.end() ? nullptr : it->second.get();
}

}  // namespace

HWND LoadWindow(const WindowTemplate& window, int showCommand, bool quitWhenClosed) {
  UnloadWindow(window.windowId);
  auto form = std::make_unique<FormWindow>(window, quitWhenClosed);
  if (!form->Create()) return nullptr;
  FormWindow* live = form.get();
  LoadedWindows()[window.windowId] = std::move(form);
  // Event 0 runs after every unit exists and before the window can take input.
  live->RaiseEvent(window.units.front(), 0);
  HWND hwnd = live->hwnd();
  if (hwnd != nullptr) {
    ::ShowWindow(hwnd, showCommand);
    ::UpdateWindow(hwnd);
  }
  return hwnd;
}

void UnloadWindow(std::uint32_t windowId) { LoadedWindows().erase(windowId); }

void UnloadAllWindows() { LoadedWindows().clear(); }

bool WindowClosed(std::uint32_t windowId) {
  const FormWindow* form = FindWindowById(windowId);
  return form != nullptr && form->hwnd() == nullptr;
}

HWND FindUnit(std::uint32_t windowId, std::uint32_t unitId) {
  const FormWindow* form = FindWindowById(windowId);
  return form ? form->Unit(unitId) : nullptr;
}

bool TranslateFormKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || msg.hwnd == nullptr) return false;
  HWND top = ::GetAncestor(msg.hwnd, GA_ROOT);
  for (const auto& [id, form] : LoadedWindows()) {
    if (form->hwnd() == top) return form->HandleKey(msg);
  }
  return false;
}

int RunMessageLoop() {
  MSG msg;
  for (;;) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return -1;
    if (TranslateFormKey(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

PropertyValue RtReadProperty(std::uint32_t windowId, std::uint32_t unitId, int property) {
  PropertyValue value;
  const FormWindow* form = FindWindowById(windowId);
  HWND control = form ? form->Unit(unitId) : nullptr;
  if (control == nullptr) return value;
  const UnitClass cls = form->UnitOf(control)->unitClass;
  if (property == kPropertyContent) {
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
    const int got = ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    value.text = NarrowToGbk(text.c_str(), std::max(got, 0));
  } else if (property == kPropertySelection && cls == UnitClass::kComboBox) {
    value.number = static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
  } else if (property == kPropertySelection && cls == UnitClass::kSliderBar) {
    value.number = static_cast<int>(::SendMessageW(control, TBM_GETPOS, 0, 0));
  }
  return value;
}

int ComboItemData(std::uint32_t unitId, int index) {
  for (const auto& [id, form] : LoadedWindows()) {
    HWND control = form->Unit(unitId);
    if (control == nullptr || form->UnitOf(control)->unitClass != UnitClass::kComboBox) continue;
    const int count = static_cast<int>(::SendMessageW(control, CB_GETCOUNT, 0, 0));
    if (index < 0 || index >= count) return -1;
    return static_cast<int>(::SendMessageW(control, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
  }
  return -1;
}

}  // namespace rt
