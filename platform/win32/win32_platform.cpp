// Makes the services of the Win32 backend over one shared window table,
// which this object owns and every service holds on to.

#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_services.h"

#include <commctrl.h>

namespace tinctora::win32 {

namespace {

// The icon of the program's resources (tinctora.rc).
constexpr int kIconId = 1;

bool RegisterClasses(HINSTANCE instance) {
  // The class's icons at the system DPI; each window gets its own at its
  // DPI (SetIcons).
  const HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
  const auto small = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  WNDCLASSEXW top{};
  top.cbSize = sizeof top;
  top.lpfnWndProc = &TopProc;
  top.hInstance = instance;
  top.hIcon = icon;
  top.hIconSm = small != nullptr ? small : icon;
  top.hCursor = arrow;
  top.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  top.lpszClassName = kTopClass;
  // Custom-drawn windows take no double clicks: a quick second press is a press.
  WNDCLASSEXW surface{};
  surface.cbSize = sizeof surface;
  surface.style = CS_HREDRAW | CS_VREDRAW;
  surface.lpfnWndProc = &SurfaceProc;
  surface.hInstance = instance;
  surface.hCursor = arrow;
  surface.lpszClassName = kSurfaceClass;
  WNDCLASSEXW popup = surface;
  popup.lpfnWndProc = &PopupProc;
  popup.lpszClassName = kPopupClass;
  // A second system in the same process finds the classes there already.
  const auto registered = [](const WNDCLASSEXW& c) {
    return RegisterClassExW(&c) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  };
  return registered(top) && registered(surface) && registered(popup);
}

}  // namespace

void SetIcons(NativeWindow& top) {
  // The icon file holds the sizes of the usual DPIs; the system picks the
  // closest image and scales it where none is the size asked.
  const auto load = [&](int width, int height) {
    return OwnedIcon(static_cast<HICON>(LoadImageW(top.registry->instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                   MetricForDpi(width, top.dpi), MetricForDpi(height, top.dpi), 0)));
  };
  OwnedIcon big = load(SM_CXICON, SM_CYICON);
  OwnedIcon small = load(SM_CXSMICON, SM_CYSMICON);
  // The window's icons are replaced before the ones they replace go.
  if (big) {
    SendMessageW(top.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    top.bigIcon = std::move(big);
  }
  if (small) {
    SendMessageW(top.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
    top.smallIcon = std::move(small);
  }
}

struct Win32System::Parts {
  Registry registry;
  std::unique_ptr<Win32Windows> windows;
  std::unique_ptr<Win32Popups> popups;
  std::unique_ptr<Win32Screen> screen;
  std::unique_ptr<Win32HotKeys> hotKeys;
  std::unique_ptr<Win32Clipboard> clipboard;
  std::unique_ptr<Win32Dialogs> dialogs;
  std::unique_ptr<Win32Loop> loop;
};

Win32System::Win32System() : parts_(std::make_unique<Parts>()) {}

Win32System::~Win32System() {
  // The windows go while the registry their procedures use still exists.
  parts_->popups.reset();
  parts_->windows.reset();
  parts_->screen.reset();
  parts_->loop.reset();
}

std::unique_ptr<Win32System> Win32System::Create() {
  // Before the first window: the system shows every window of the process
  // at its display's scale as the program draws it, never stretched.
  MakeProcessDpiAware();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  if (!InitCommonControlsEx(&controls)) return nullptr;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterClasses(instance)) return nullptr;
  std::unique_ptr<Win32System> system(new Win32System());
  Parts& p = *system->parts_;
  p.registry.instance = instance;
  p.windows = std::make_unique<Win32Windows>(p.registry);
  p.popups = std::make_unique<Win32Popups>(p.registry);
  p.screen = std::make_unique<Win32Screen>(p.registry);
  p.hotKeys = std::make_unique<Win32HotKeys>();
  p.clipboard = std::make_unique<Win32Clipboard>(p.registry);
  p.dialogs = std::make_unique<Win32Dialogs>(p.registry);
  p.loop = std::make_unique<Win32Loop>(p.registry);
  return system;
}

platform::Platform Win32System::Services() {
  Parts& p = *parts_;
  return {p.windows.get(), p.popups.get(), p.screen.get(), p.hotKeys.get(), p.clipboard.get(), p.dialogs.get(),
          p.loop.get()};
}

}  // namespace tinctora::win32
