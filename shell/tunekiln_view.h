#pragma once

#include <wx/gauge.h>
#include <wx/panel.h>
#include <wx/slider.h>

#include <chrono>
#include <memory>
#include <vector>

#include "shell/form_widgets.h"
#include "shell/gui_notification_sink.h"
#include "shell/gui_wav_writer_host.h"
#include "shell/main_form.h"
#include "shell/waveform_strip.h"

namespace tunekiln {

// The main form as a window: the controls of its resource, their events passed to the form's
// logic, and the logic's changes shown on them.
class CTunekilnView final : public wxPanel, public FormWidgets {
 public:
  CTunekilnView(wxWindow* parent, FormDialogs& dialogs);
  CTunekilnView(const CTunekilnView&) = delete;
  CTunekilnView& operator=(const CTunekilnView&) = delete;
  // The engine thread is left to end on its own (retire_player): the window goes at once.
  ~CTunekilnView() override;

  MainForm& form() { return *form_; }
  void OnInitialUpdate() { form_->OnInitialUpdate(); }
  // Lays the controls out for `width` pixels and returns the size the form then takes: at the
  // resource's width or wider its own layout, narrower the rows of buttons wrapped.
  wxSize layoutFor(int width);

  void enable(std::string_view name, bool enabled) override;
  void setLabel(std::string_view name, std::string_view text) override;
  void setSliderRange(int minimum, int maximum) override;
  int sliderPosition() override;
  void setSliderPosition(int position) override;
  void setProgressRange(std::int32_t maximum) override;
  void setProgressPosition(std::int32_t position) override;
  bool shiftHeld() override;
  bool escapeHeld() override;
  bool isChecked(std::string_view name) override;
  void showWaveform(std::shared_ptr<const WaveformEnvelope> envelope) override;
  void redrawWaveform() override;
  void setWaveformCursor(double share) override;

 private:
  wxWindow* control(std::string_view name);
  void bindButton(std::string_view name, void (MainForm::*handler)());
  // File operations run to their end inside the handler; the bar is repainted as it moves.
  void repaintWhileBusy();
  // The sizers of the wrapped layout, which takes effect only when asked for.
  void buildWrappedLayout();

  // What the engine reports to; it outlives the window until the engine has ended.
  struct EngineLink {
    EngineLink(CTunekilnView& view, FormDialogs& dialogs) : notifications(view), writerHost(view, dialogs) {}
    GuiNotificationSink notifications;
    GuiWavWriterHost writerHost;
  };

  wxSlider* slider_ = nullptr;
  wxGauge* progress_ = nullptr;
  WaveformStrip* strip_ = nullptr;
  wxSize formSize_;
  // Every control at its place in the resource.
  std::vector<std::pair<wxWindow*, wxRect>> resourceLayout_;
  std::chrono::steady_clock::time_point lastRepaint_;
  std::shared_ptr<EngineLink> link_;
  std::unique_ptr<MainForm> form_;
};

}  // namespace tunekiln
