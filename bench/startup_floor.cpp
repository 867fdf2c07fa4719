// The least a program does to start as ttsclient must: OLE initialised, the common controls
// of version 6 (the same manifest and icon as the client), a window of the same size with the
// same kinds and count of controls, the same fonts, shown and painted. Plain Win32 with wide
// literals, nothing of ours linked in: the floor of the start-up benchmark.
#include <windows.h>
// After windows.h, whose types they use.
#include <commctrl.h>
#include <ole2.h>

namespace {

HFONT g_font;
HFONT g_linkFont;
HFONT g_noteFont;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      ::SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
      return reinterpret_cast<LRESULT>(::GetStockObject(WHITE_BRUSH));
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      RECT rc = item->rcItem;
      ::FillRect(item->hDC, &rc, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
      ::SelectObject(item->hDC, g_linkFont);
      ::SetBkMode(item->hDC, TRANSPARENT);
      ::SetTextColor(item->hDC, RGB(0x00, 0x66, 0xCC));
      ::DrawTextW(item->hDC, L"点此申请id", -1, &rc, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
      return TRUE;
    }
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

struct Control {
  const wchar_t* cls;
  DWORD style;
  DWORD exStyle;
  int x, y, w, h;
  const wchar_t* text;
  bool note;
  const wchar_t* const* entries = nullptr;  // a combo box's, then its selection
  int selection = 0;
  int minimum = 0, maximum = 0, position = 0;  // a slider's
};

const wchar_t* const kSpeakers[] = {L"普通话男声", L"静琪女声", L"欢馨女声", L"碧萱女声", nullptr};
const wchar_t* const kFormats[] = {L"PCM", L"WAV", L"MP3", nullptr};

// ttsclient's units, in its order: 2 group boxes, 12 labels (2 of them wrapped notes in a
// font of their own), 3 edit boxes, a link button, 2 combo boxes, a button and 2 sliders.
constexpr DWORD kLabel = SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE | SS_LEFTNOWORDWRAP;
constexpr DWORD kNote = SS_LEFT | SS_NOPREFIX;
constexpr DWORD kInput = WS_TABSTOP;
constexpr DWORD kCombo = CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | kInput;
constexpr DWORD kSlider = TBS_HORZ | TBS_BOTTOM | TBS_AUTOTICKS | kInput;
const Control kControls[] = {
    {L"BUTTON", BS_GROUPBOX, 0, 5, 4, 416, 92, L"配置区域", false},
    {L"STATIC", kLabel, 0, 16, 23, 48, 24, L"App_id：", false},
    {L"EDIT", ES_LEFT | ES_AUTOHSCROLL | kInput, WS_EX_CLIENTEDGE, 64, 23, 176, 24, L"", false},
    {L"STATIC", kLabel, 0, 9, 61, 48, 16, L"App_Key：", false},
    {L"EDIT", ES_LEFT | ES_AUTOHSCROLL | kInput, WS_EX_CLIENTEDGE, 64, 57, 176, 24, L"", false},
    {L"BUTTON", BS_GROUPBOX, 0, 5, 99, 416, 157, L"文字输入区域", false},
    {L"EDIT", ES_LEFT | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL | kInput,
     WS_EX_CLIENTEDGE, 16, 121, 392, 127, L"西蓝花，9块5每斤。\r\n金龙鱼调和油特价48块8一桶。",
     false},
    {L"BUTTON", BS_OWNERDRAW | kInput, 0, 424, 8, 136, 24, L"点此申请id", false},
    {L"STATIC", kNote, 0, 432, 35, 120, 85,
     L"登陆后去创建应用选择语音合成，添加应用语音合成\r\n填写你的Id & Key在左边的框内\r\n", true},
    {L"STATIC", kLabel, 0, 427, 129, 33, 32, L"声音：", false},
    {L"COMBOBOX", kCombo, 0, 472, 136, 88, 180, nullptr, false, kSpeakers, 2},
    {L"STATIC", kLabel, 0, 426, 170, 80, 16, L"输出文件格式：", false},
    {L"COMBOBOX", kCombo, 0, 512, 169, 48, 180, nullptr, false, kFormats, 2},
    {L"STATIC", kNote, 0, 432, 203, 120, 32, L"默认输出到软件所在目录", true},
    {L"BUTTON", BS_PUSHBUTTON | kInput, 0, 432, 264, 120, 32, L"语音合成", false},
    {L"STATIC", kLabel, 0, 8, 268, 32, 24, L"语速：", false},
    {TRACKBAR_CLASSW, kSlider, 0, 43, 265, 120, 31, L"", false, nullptr, 0, 50, 100, 100},
    {L"STATIC", kLabel, 0, 50, 297, 32, 16, L"50", false},
    {L"STATIC", kLabel, 0, 141, 297, 32, 16, L"100", false},
    {L"STATIC", kLabel, 0, 192, 269, 32, 24, L"音色：", false},
    {TRACKBAR_CLASSW, kSlider, 0, 232, 265, 168, 32, L"", false, nullptr, 0, 0, 100, 58},
    {L"STATIC", kLabel, 0, 240, 299, 16, 16, L"0", false},
    {L"STATIC", kLabel, 0, 377, 298, 32, 16, L"100", false},
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  ::OleInitialize(nullptr);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  const auto scale = [dpi](int v) { return ::MulDiv(v, dpi, 96); };

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
  windowClass.lpszClassName = L"LumivoxFloor";
  const auto icon = [instance](int metric) {
    const int size = ::GetSystemMetrics(metric);
    return static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  };
  windowClass.hIcon = icon(SM_CXICON);
  windowClass.hIconSm = icon(SM_CXSMICON);
  if (!::RegisterClassExW(&windowClass)) return 1;

  LOGFONTW lf{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  lf.lfHeight = scale(lf.lfHeight);
  g_font = ::CreateFontIndirectW(&lf);
  lf.lfUnderline = TRUE;
  g_linkFont = ::CreateFontIndirectW(&lf);
  LOGFONTW note{};
  note.lfHeight = scale(-12);
  note.lfWeight = FW_NORMAL;
  note.lfCharSet = GB2312_CHARSET;
  note.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  lstrcpynW(note.lfFaceName, L"Microsoft YaHei", LF_FACESIZE);
  g_noteFont = ::CreateFontIndirectW(&note);

  HWND window =
      ::CreateWindowExW(0, windowClass.lpszClassName, L"Lumivox",
                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, scale(50),
                        scale(50), scale(570), scale(347), nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  for (const Control& c : kControls) {
    HWND control = ::CreateWindowExW(c.exStyle, c.cls, c.text ? c.text : L"",
                                     WS_CHILD | WS_VISIBLE | c.style, scale(c.x), scale(c.y),
                                     scale(c.w), scale(c.h), window, nullptr, instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(c.note ? g_noteFont : g_font),
                   FALSE);
    if (c.entries) {
      for (const wchar_t* const* entry = c.entries; *entry; ++entry)
        ::SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(*entry));
      ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(c.selection), 0);
    }
    if (c.maximum > 0) {
      ::SendMessageW(control, TBM_SETRANGE, FALSE, MAKELPARAM(c.minimum, c.maximum));
      ::SendMessageW(control, TBM_SETTICFREQ, 10, 0);
      ::SendMessageW(control, TBM_SETPOS, TRUE, c.position);
    }
  }
  ::ShowWindow(window, showCommand);
  ::UpdateWindow(window);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (::IsDialogMessageW(window, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::DeleteObject(g_font);
  ::DeleteObject(g_linkFont);
  ::DeleteObject(g_noteFont);
  ::OleUninitialize();
  return static_cast<int>(message.wParam);
}
