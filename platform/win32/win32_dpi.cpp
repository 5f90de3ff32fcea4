// The scale the system shows windows at, in dots per inch (96 is a scale of
// 1). The per-monitor calls came with Windows 8.1 (shcore) and Windows 10
// (user32); they are looked up at run time, so that the program still runs
// on Windows 7, where one system DPI holds for every display and window.

#include <cmath>

#include "platform/win32/win32_internal.h"

namespace tinctora::win32 {

namespace {

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 and PROCESS_PER_MONITOR_DPI_AWARE.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
constexpr int kProcessPerMonitorAware = 2;
// MONITOR_DPI_TYPE's MDT_EFFECTIVE_DPI: the scale the user chose for the display.
constexpr int kEffectiveDpi = 0;

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);
using SetProcessDpiAwarenessFn = HRESULT(WINAPI*)(int);

// A function of a system DLL, or nothing where this Windows lacks it.
template <typename Function>
Function Find(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // Through the generic function pointer type, which any may be cast to.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct DpiCalls {
  GetDpiForWindowFn getDpiForWindow = nullptr;
  GetDpiForMonitorFn getDpiForMonitor = nullptr;
  AdjustWindowRectExForDpiFn adjustWindowRectExForDpi = nullptr;
  GetSystemMetricsForDpiFn getSystemMetricsForDpi = nullptr;
  SetProcessDpiAwarenessContextFn setProcessDpiAwarenessContext = nullptr;
  SetProcessDpiAwarenessFn setProcessDpiAwareness = nullptr;

  DpiCalls() {
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    getDpiForWindow = Find<GetDpiForWindowFn>(user, "GetDpiForWindow");
    adjustWindowRectExForDpi = Find<AdjustWindowRectExForDpiFn>(user, "AdjustWindowRectExForDpi");
    getSystemMetricsForDpi = Find<GetSystemMetricsForDpiFn>(user, "GetSystemMetricsForDpi");
    setProcessDpiAwarenessContext = Find<SetProcessDpiAwarenessContextFn>(user, "SetProcessDpiAwarenessContext");
    // Loaded for the life of the process, as user32 is.
    const HMODULE shcore = LoadLibraryW(L"shcore.dll");
    getDpiForMonitor = Find<GetDpiForMonitorFn>(shcore, "GetDpiForMonitor");
    setProcessDpiAwareness = Find<SetProcessDpiAwarenessFn>(shcore, "SetProcessDpiAwareness");
  }
};

const DpiCalls& Calls() {
  static const DpiCalls calls;
  return calls;
}

}  // namespace

void MakeProcessDpiAware() {
  // The awareness is set once for a process (by the manifest, or by the
  // first call that sets it); a call after that is refused as access
  // denied, and the awareness stays. A Windows that lacks a call, or the
  // per-monitor awareness of version 2 (before Windows 10 1703), goes on to
  // the older call.
  const DpiCalls& calls = Calls();
  if (calls.setProcessDpiAwarenessContext != nullptr) {
    if (calls.setProcessDpiAwarenessContext(kPerMonitorAwareV2) || GetLastError() == ERROR_ACCESS_DENIED) return;
  }
  if (calls.setProcessDpiAwareness != nullptr) {
    const HRESULT result = calls.setProcessDpiAwareness(kProcessPerMonitorAware);
    if (SUCCEEDED(result) || result == E_ACCESSDENIED) return;
  }
  if (!IsProcessDPIAware()) SetProcessDPIAware();
}

UINT SystemDpi() {
  const ScreenDc dc;
  const int dpi = dc.get() != nullptr ? GetDeviceCaps(dc.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

UINT MonitorDpi(HMONITOR monitor) {
  UINT x = 0;
  UINT y = 0;
  if (Calls().getDpiForMonitor != nullptr && monitor != nullptr &&
      SUCCEEDED(Calls().getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) && x > 0) {
    return x;
  }
  return SystemDpi();
}

UINT WindowDpi(HWND window) {
  if (Calls().getDpiForWindow != nullptr) {
    if (const UINT dpi = Calls().getDpiForWindow(window); dpi > 0) return dpi;
  }
  // Windows 8.1: the window is shown at the scale of the display it lies on.
  if (Calls().getDpiForMonitor != nullptr) return MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
  return SystemDpi();
}

UINT DpiOfScale(double scale) {
  const long dpi = std::lround(scale * kLayoutDpi);
  return dpi > 0 ? static_cast<UINT>(dpi) : kLayoutDpi;
}

SIZE OuterSize(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, UINT dpi) {
  RECT r{0, 0, clientWidth, clientHeight};
  const bool adjusted = Calls().adjustWindowRectExForDpi != nullptr
                            ? Calls().adjustWindowRectExForDpi(&r, style, FALSE, exStyle, dpi) != 0
                            : AdjustWindowRectEx(&r, style, FALSE, exStyle) != 0;
  if (!adjusted) r = {0, 0, clientWidth, clientHeight};
  return {r.right - r.left, r.bottom - r.top};
}

int MetricForDpi(int index, UINT dpi) {
  if (Calls().getSystemMetricsForDpi != nullptr) {
    if (const int value = Calls().getSystemMetricsForDpi(index, dpi); value > 0) return value;
  }
  // The system's metric is at the system DPI.
  return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

}  // namespace tinctora::win32
