#include "shell/tunekiln_view.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/evtloop.h>
#include <wx/utils.h>
#include <wx/stattext.h>
#include <wx/xrc/xmlres.h>

#include "engine/standard_slots.h"
#include "shell/form_ids.h"
#include "shell/player_retirement.h"

namespace tunekiln {
namespace {

// How often a long file operation lets the window repaint its progress bar.
constexpr std::chrono::milliseconds kRepaintInterval{50};

wxString from_utf8(std::string_view text) { return wxString::FromUTF8(text.data(), text.size()); }

}  // namespace

CTunekilnView::CTunekilnView(wxWindow* parent, FormDialogs& dialogs)
    : link_(std::make_shared<EngineLink>(*this, dialogs)) {
  wxXmlResource::Get()->LoadPanel(this, parent, "tunekiln_form");
  slider_ = static_cast<wxSlider*>(control(form_ids::kSlider));
  progress_ = static_cast<wxGauge*>(control(form_ids::kProgress));
  form_ = std::make_unique<MainForm>(*this, dialogs, link_->notifications,
                                     [link = link_.get()] { return standard_engine_slots(link->writerHost); });

  using namespace form_ids;
  bindButton(kOpenMp3File, &MainForm::OnOpenMp3File);
  bindButton(kPlay, &MainForm::OnPlay);
  bindButton(kPause, &MainForm::OnPause);
  bindButton(kStop, &MainForm::OnStop);
  bindButton(kDecodeToWav, &MainForm::OnDecodeToWav);
  bindButton(kIncreaseVolume, &MainForm::OnIncreaseVolume);
  bindButton(kDecreaseVolume, &MainForm::OnDecreaseVolume);
  bindButton(kAbstractLeftChannel, &MainForm::OnAbstractLeftChannel);
  bindButton(kAbstractRightChannel, &MainForm::OnAbstractRightChannel);
  bindButton(kClearHumanVoice, &MainForm::OnClearHumanVoice);
  bindButton(kChangeSourceVolume, &MainForm::OnChangeSourceVolume);
  bindButton(kCutSourceFile, &MainForm::OnCutSourceFile);
  bindButton(kSaveToMp3File, &MainForm::OnSaveToMp3File);

  // Every kind of scroll notification seeks: each step of a drag, its end, keys, clicks.
  for (const auto type : {wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM, wxEVT_SCROLL_LINEUP, wxEVT_SCROLL_LINEDOWN,
                          wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN, wxEVT_SCROLL_THUMBTRACK,
                          wxEVT_SCROLL_THUMBRELEASE, wxEVT_SCROLL_CHANGED}) {
    slider_->Bind(type, [this](wxScrollEvent& event) {
      form_->OnHScroll();
      event.Skip();
    });
  }
  Bind(EVT_PLAYER_NOTIFICATION,
       [this](wxThreadEvent& event) { form_->onNotification(event.GetPayload<PlayerNotification>()); });
}

CTunekilnView::~CTunekilnView() {
  link_->writerHost.close();  // a decoding waiting for the save dialog gives up, so the engine can end
  link_->notifications.disconnect();
  retire_player(form_->releasePlayer(), link_);
}

wxWindow* CTunekilnView::control(std::string_view name) { return FindWindow(wxXmlResource::GetXRCID(from_utf8(name))); }

void CTunekilnView::bindButton(std::string_view name, void (MainForm::*handler)()) {
  control(name)->Bind(wxEVT_BUTTON, [this, handler](wxCommandEvent&) { (form_.get()->*handler)(); });
}

void CTunekilnView::enable(std::string_view name, bool enabled) { control(name)->Enable(enabled); }

void CTunekilnView::setLabel(std::string_view name, std::string_view text) {
  static_cast<wxStaticText*>(control(name))->SetLabel(from_utf8(text));
}

void CTunekilnView::setSliderRange(int minimum, int maximum) { slider_->SetRange(minimum, maximum); }
int CTunekilnView::sliderPosition() { return slider_->GetValue(); }
void CTunekilnView::setSliderPosition(int position) { slider_->SetValue(position); }
void CTunekilnView::setProgressRange(std::int32_t maximum) { progress_->SetRange(maximum); }

void CTunekilnView::setProgressPosition(std::int32_t position) {
  progress_->SetValue(position);
  repaintWhileBusy();
}

bool CTunekilnView::shiftHeld() { return wxGetKeyState(WXK_SHIFT); }
// Polled: while an operation runs, the window takes no input events.
bool CTunekilnView::escapeHeld() { return wxGetKeyState(WXK_ESCAPE); }

bool CTunekilnView::isChecked(std::string_view name) { return static_cast<wxCheckBox*>(control(name))->GetValue(); }

void CTunekilnView::repaintWhileBusy() {
  const auto now = std::chrono::steady_clock::now();
  const bool endOfScale = progress_->GetValue() == 0 || progress_->GetValue() == progress_->GetRange();
  if (!endOfScale && now - lastRepaint_ < kRepaintInterval) return;
  lastRepaint_ = now;
  // Paint events only: the user's input waits until the operation has ended.
  if (auto* loop = wxEventLoopBase::GetActive()) loop->YieldFor(wxEVT_CATEGORY_UI);
}

}  // namespace tunekiln
