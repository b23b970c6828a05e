#include "shell/waveform_strip.h"

#include <wx/dcbuffer.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <memory>

namespace tunekiln {
namespace {

const wxColour kWave{48, 96, 168};
const wxColour kPlayedWave{120, 132, 148};
const wxColour kPlayedBackground{222, 226, 232};
const wxColour kSelection{255, 214, 120};
const wxColour kCursor{200, 40, 40};

// The row of a sample in a band `height` rows high whose middle row is `middle`.
int sample_row(int sample, int middle, int height) { return middle - sample * (height / 2) / 32768; }

}  // namespace

WaveformStrip::WaveformStrip(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);  // all painted here, double-buffered: no flicker
  Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    draw(dc);
  });
  Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    Refresh();
    event.Skip();
  });
  Bind(wxEVT_LEFT_DOWN, &WaveformStrip::press, this);
  Bind(wxEVT_MOTION, &WaveformStrip::drag, this);
  Bind(wxEVT_LEFT_UP, &WaveformStrip::release, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { pressX_.reset(); });
  // Its command goes up to the window, as the key's does.
  Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent&) {
    if (const std::unique_ptr<wxMenu> menu{wxXmlResource::Get()->LoadMenu("waveform_menu")}) PopupMenu(menu.get());
  });
}

void WaveformStrip::setEnvelope(std::shared_ptr<const WaveformEnvelope> envelope) {
  envelope_ = std::move(envelope);
  selection_.reset();
  Refresh();
}

void WaveformStrip::setCursor(double share) {
  if (share == cursor_) return;
  cursor_ = share;
  Refresh();
}

void WaveformStrip::draw(wxDC& dc) {
  const wxSize size = GetClientSize();
  const int width = size.x;
  dc.SetBackground(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW)));
  dc.Clear();
  if (width <= 0) return;
  const int cursor = strip_column(cursor_, width);
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(kPlayedBackground));
  dc.DrawRectangle(0, 0, cursor, size.y);
  if (selection_) {
    const int from = strip_column(selection_->from, width);
    dc.SetBrush(wxBrush(kSelection));
    dc.DrawRectangle(from, 0, strip_column(selection_->to, width) - from + 1, size.y);
  }
  if (envelope_) {
    const auto columns = envelope_->columns(static_cast<std::size_t>(width));
    const int bands = envelope_->channels() == 2 ? 2 : 1;  // the left channel above the right
    const int bandHeight = size.y / bands;
    const wxPen played(kPlayedWave), unplayed(kWave);
    for (int x = 0; x < width; ++x) {
      const EnvelopeColumn& column = columns[static_cast<std::size_t>(x)];
      if (!column.read) continue;
      dc.SetPen(x < cursor ? played : unplayed);
      for (int band = 0; band < bands; ++band) {
        const int middle = band * bandHeight + bandHeight / 2;
        const SampleRange range = column.channels[static_cast<std::size_t>(band)];
        // Silence still shows as a line one row thick.
        dc.DrawLine(x, sample_row(range.high, middle, bandHeight), x, sample_row(range.low, middle, bandHeight) + 1);
      }
    }
  }
  dc.SetPen(wxPen(kCursor));
  dc.DrawLine(cursor, 0, cursor, size.y);
}

void WaveformStrip::press(wxMouseEvent& event) {
  pressX_ = event.GetX();
  if (!HasCapture()) CaptureMouse();
  event.Skip();  // the strip takes the focus as any control does
}

void WaveformStrip::drag(wxMouseEvent& event) {
  if (!pressX_ || !event.LeftIsDown()) return;
  const StripGesture gesture = strip_gesture(*pressX_, event.GetX(), GetClientSize().x);
  selection_ = gesture.isSelection ? std::optional(gesture.range) : std::nullopt;
  Refresh();
}

void WaveformStrip::release(wxMouseEvent& event) {
  if (HasCapture()) ReleaseMouse();
  if (!pressX_) return;
  const StripGesture gesture = strip_gesture(*pressX_, event.GetX(), GetClientSize().x);
  pressX_.reset();
  if (gesture.isSelection) {
    selection_ = gesture.range;
    if (onSelect) onSelect(gesture.range);
  } else {
    selection_.reset();
    if (onClick) onClick(gesture.range.from);
  }
  Refresh();
}

}  // namespace tunekiln
