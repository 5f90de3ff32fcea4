#include "history/history.h"

namespace tinctora::history {

void PushHistory(context::Context& c) {
  const context::Widgets& w = c.W();
  const auto& row = w.swatches;
  // From the old end, so that no colour is overwritten before it has moved.
  for (std::size_t i = row.size() - 1; i > 0; --i) row[i]->SetBackColour(row[i - 1]->BackColour());
  // The swatch keeps the colour the current colour shows: an unreadable
  // pixel's invalid value shows as white and is kept as white, so copying
  // from the swatch gives white's texts.
  const colour::ColourValue current = w.current.BackColour();
  row[0]->SetBackColour(current == colour::DefaultColour ? current : (current & 0x00FFFFFF));
  for (std::size_t i = row.size(); i-- > 0;) {
    c.state.HistoryEntry(w.swatchEntries[i]) = row[i]->BackColour();
  }
}

}  // namespace tinctora::history
