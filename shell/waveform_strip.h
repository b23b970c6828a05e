#pragma once

#include <wx/panel.h>

#include <functional>
#include <memory>
#include <optional>

#include "engine/waveform_envelope.h"
#include "shell/waveform_strip_logic.h"

namespace tunekiln {

// The strip under the slider: the envelope of the open file, column by column, the part played
// so far shaded apart from the rest, and a range the user drags out highlighted. A click and a
// drag are handed to `onClick` and `onSelect`.
class WaveformStrip final : public wxPanel {
 public:
  explicit WaveformStrip(wxWindow* parent);

  void setEnvelope(std::shared_ptr<const WaveformEnvelope> envelope);
  // The share of the stream played so far.
  void setCursor(double share);
  // Draws the strip as it looks now onto `dc`, which is the strip's size.
  void draw(wxDC& dc);

  std::function<void(double share)> onClick;
  std::function<void(StripSelection range)> onSelect;

 private:
  void press(wxMouseEvent& event);
  void drag(wxMouseEvent& event);
  void release(wxMouseEvent& event);

  std::shared_ptr<const WaveformEnvelope> envelope_;
  double cursor_ = 0;
  std::optional<StripSelection> selection_;
  std::optional<int> pressX_;  // while the button is down
};

}  // namespace tunekiln
