// Sliders: the system's track bar. The user's moves reach the program as
// the parent's WM_HSCROLL (win32_messages.cpp); the program's writes move
// the thumb and notify nobody.

#include <algorithm>

#include "platform/win32/win32_services.h"

#include <commctrl.h>

namespace tinctora::win32 {

void SetUpSlider(NativeWindow& slider, const platform::SliderSettings& s) {
  const HWND hwnd = slider.hwnd;
  SendMessageW(hwnd, TBM_SETRANGEMIN, FALSE, s.minimum);
  SendMessageW(hwnd, TBM_SETRANGEMAX, FALSE, s.maximum);
  if (s.tickFrequency > 0) SendMessageW(hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(s.tickFrequency), 0);
  SendMessageW(hwnd, TBM_SETLINESIZE, 0, s.lineStep);
  SendMessageW(hwnd, TBM_SETPAGESIZE, 0, s.pageStep);
  SendMessageW(hwnd, TBM_SETPOS, TRUE, std::clamp(s.position, s.minimum, s.maximum));
}

void Win32Windows::SetSliderPosition(WindowId id, int position) {
  NativeWindow* slider = registry_.Find(id);
  if (slider == nullptr || slider->kind != platform::NativeKind::Slider) return;
  // TBM_SETPOS notifies nobody; the control clamps to its range.
  SendMessageW(slider->hwnd, TBM_SETPOS, TRUE, position);
}

int Win32Windows::SliderPosition(WindowId id) const {
  const NativeWindow* slider = registry_.Find(id);
  if (slider == nullptr || slider->kind != platform::NativeKind::Slider) return 0;
  return static_cast<int>(SendMessageW(slider->hwnd, TBM_GETPOS, 0, 0));
}

}  // namespace tinctora::win32
