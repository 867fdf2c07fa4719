// The owner of every handle family the program uses, and the pairs kept for a scope (a
// window's device context, an object selected into one, COM initialisation). Owners are
// move-only and the scoped pairs fixed to their scope, so nothing is closed twice. WinHttp
// handles, the hash provider and its hashes, and COM initialisation go through the
// external-function table, as every call of the program's to them does.
#pragma once

#include <windows.h>

#include "rt/dll_commands.h"
#include "rt/unique_handle.h"

namespace rt {

struct KernelHandleCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
// Files, pipes, events, processes and threads; null when empty.
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleCloser>;

// CreateFileW fails with INVALID_HANDLE_VALUE rather than null; the owner holds null then.
inline UniqueKernelHandle AdoptFile(HANDLE file) {
  return UniqueKernelHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// Closes now and tells whether the close succeeded: a file's last write can still fail there.
inline bool CloseChecked(UniqueKernelHandle& h) { return ::CloseHandle(h.release()) != 0; }

struct WinHttpCloser {
  void operator()(HINTERNET h) const { dll::WinHttpCloseHandle(h); }
};
using UniqueWinHttp = UniqueHandle<HINTERNET, WinHttpCloser>;

struct CryptProviderCloser {
  void operator()(HCRYPTPROV h) const { dll::CryptReleaseContext(h, 0); }
};
struct CryptHashCloser {
  void operator()(HCRYPTHASH h) const { dll::CryptDestroyHash(h); }
};
struct CertStoreCloser {
  void operator()(HCERTSTORE h) const { ::CertCloseStore(h, 0); }
};
using UniqueCryptProvider = UniqueHandle<HCRYPTPROV, CryptProviderCloser>;
using UniqueCryptHash = UniqueHandle<HCRYPTHASH, CryptHashCloser>;
using UniqueCertStore = UniqueHandle<HCERTSTORE, CertStoreCloser>;

struct GdiObjectDeleter {
  void operator()(HGDIOBJ h) const { ::DeleteObject(h); }
};
struct MemoryDcDeleter {
  void operator()(HDC h) const { ::DeleteDC(h); }
};
// Fonts, brushes, bitmaps: whatever DeleteObject frees.
template <typename Handle>
using UniqueGdiObject = UniqueHandle<Handle, GdiObjectDeleter>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;
// A device context of CreateCompatibleDC's.
using UniqueMemoryDc = UniqueHandle<HDC, MemoryDcDeleter>;

struct IconDestroyer {
  void operator()(HICON h) const { ::DestroyIcon(h); }
};
using UniqueIcon = UniqueHandle<HICON, IconDestroyer>;

struct WindowDestroyer {
  void operator()(HWND h) const { ::DestroyWindow(h); }
};
using UniqueWindow = UniqueHandle<HWND, WindowDestroyer>;

struct HookRemover {
  void operator()(HHOOK h) const { ::UnhookWindowsHookEx(h); }
};
using UniqueHook = UniqueHandle<HHOOK, HookRemover>;

struct LibraryFreer {
  void operator()(HMODULE h) const { ::FreeLibrary(h); }
};
using UniqueLibrary = UniqueHandle<HMODULE, LibraryFreer>;

// A window's device context, released to that window: the client area's (GetDC; the screen's
// for a null window) or the whole window's, frame included (GetWindowDC).
class WindowDc {
public:
  explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  static WindowDc WithFrame(HWND hwnd) { return WindowDc(hwnd, ::GetWindowDC(hwnd)); }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(hwnd_, dc_);
  }

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

private:
  WindowDc(HWND hwnd, HDC dc) : hwnd_(hwnd), dc_(dc) {}
  HWND hwnd_;
  HDC dc_;
};

// An object selected into a device context for the scope; the one it replaced goes back.
class ScopedSelection {
public:
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), replaced_(::SelectObject(dc, object)) {}
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;
  ~ScopedSelection() {
    if (replaced_ != nullptr && replaced_ != HGDI_ERROR) ::SelectObject(dc_, replaced_);
  }

private:
  HDC dc_;
  HGDIOBJ replaced_;
};

// COM initialisation of the calling thread, in pairs, through the external-function table.
// Results are not examined: a thread already initialised still pairs each call.
inline void ComInit() { dll::CoInitialize(nullptr); }
inline void ComUninit() { dll::CoUninitialize(); }

// ComInit and ComUninit as a pair for the scope.
class ScopedComInit {
public:
  ScopedComInit() { ComInit(); }
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;
  ~ScopedComInit() { ComUninit(); }
};

}  // namespace rt
