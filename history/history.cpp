#include "history/history.h"

namespace tinctora::history {

void PushHistory(context::Context& c) {
  const context::Widgets& w = c.W();
  const auto& row = w.swatches;
  // From the old end, so that no colour is overwritten before it has moved.
  for (std::size_t i = row.size() - 1; i > 0; --i) row[i]->SetBackColour(row[i - 1]->BackColour());
  row[0]->SetBackColour(w.current.BackColour());
  for (std::size_t i = row.size(); i-- > 0;) {
    c.state.HistoryEntry(w.swatchEntries[i]) = row[i]->BackColour();
  }
}

}  // namespace tinctora::history
