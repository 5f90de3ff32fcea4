#pragma once

#include "context/context.h"
#include "platform/platform.h"

namespace tinctora::clipboard {

// A right-click on the current colour box or a swatch: shows the copy menu
// at the pointer for that colour, then computes the texts its items copy.
void OpenCopyMenu(context::Context& c, colour::ColourValue colour);

// The nine notations of MenuColour into NotationTable entries 0 to 8.
void FillNotationTable(context::Context& c);

// A chosen menu item: copies NotationTable entry `entry` to the clipboard.
void CopyNotation(context::Context& c, int entry);

// Clipboard history, remote desktop sessions and clipboard managers hold
// the clipboard open for a moment after every change. Opening it is tried
// again every kOpenRetryMs for about 100 ms before a copy gives up.
inline constexpr int kOpenAttempts = 11;  // the first and ten more
inline constexpr int kOpenRetryMs = 10;

// Puts plain text on the clipboard. The text block is made first, so a
// clipboard that stays busy or memory that is short leaves the clipboard as
// it was. `loop` waits between attempts to open it. Returns whether the text
// was placed.
bool WriteClipboardText(platform::Clipboard& clipboard, platform::Loop& loop, TextView text);

}  // namespace tinctora::clipboard
