#include "shell/tunekiln_view.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/evtloop.h>
#include <wx/utils.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/wrapsizer.h>
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
  strip_ = new WaveformStrip(this);
  wxXmlResource::Get()->AttachUnknownControl(from_utf8(form_ids::kWaveform), strip_, this);
  formSize_ = GetSize();
  for (wxWindow* child : GetChildren()) resourceLayout_.emplace_back(child, child->GetRect());
  buildWrappedLayout();
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
  strip_->onClick = [this](double share) { form_->OnWaveformClick(share); };
  strip_->onSelect = [this](StripSelection range) { form_->OnWaveformSelect(range); };
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

void CTunekilnView::showWaveform(std::shared_ptr<const WaveformEnvelope> envelope) {
  strip_->setEnvelope(std::move(envelope));
}
void CTunekilnView::redrawWaveform() { strip_->Refresh(); }
void CTunekilnView::setWaveformCursor(double share) { strip_->setCursor(share); }

void CTunekilnView::buildWrappedLayout() {
  using namespace form_ids;
  // The strip sits in the resource's placeholder, which is what the layout moves.
  const auto named = [this](std::string_view name) { return name == kWaveform ? strip_->GetParent() : control(name); };
  const int gap = ConvertDialogToPixels(wxSize(4, 0)).x;
  // Controls that stretch with the window may also shrink with it.
  for (const auto name : {kFileName, kSlider, kWaveform, kProgress}) {
    named(name)->SetMinSize(wxSize(gap * 10, named(name)->GetSize().y));
  }
  const auto caption_row = [&](std::string_view caption, std::string_view value) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(named(caption), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, gap);
    row->Add(named(value), 1, wxALIGN_CENTER_VERTICAL);
    return row;
  };
  const auto button_rows = [&](std::initializer_list<std::string_view> names) {
    auto* rows = new wxWrapSizer(wxHORIZONTAL);
    for (const auto name : names) rows->Add(named(name), 0, wxALL, gap / 2);
    return rows;
  };

  auto* play = new wxStaticBoxSizer(static_cast<wxStaticBox*>(named(kPlayGroup)), wxVERTICAL);
  play->Add(caption_row(kFileNameCaption, kFileName), 0, wxEXPAND | wxALL, gap);
  play->Add(caption_row(kPlayTimeCaption, kPlayTime), 0, wxEXPAND | wxALL, gap);
  play->Add(named(kSlider), 0, wxEXPAND);
  play->Add(named(kTotalTime), 0, wxALIGN_RIGHT | wxRIGHT, gap);
  play->Add(named(kWaveform), 0, wxEXPAND | wxALL, gap);
  play->Add(button_rows({kOpenMp3File, kPlay, kPause, kStop, kIncreaseVolume, kDecreaseVolume, kDecodeToWav}), 0,
            wxEXPAND | wxALL, gap / 2);

  auto* process = new wxStaticBoxSizer(static_cast<wxStaticBox*>(named(kProcessGroup)), wxVERTICAL);
  process->Add(caption_row(kProgressCaption, kProgress), 0, wxEXPAND | wxALL, gap);
  auto* buttons =
      button_rows({kAbstractLeftChannel, kAbstractRightChannel, kClearHumanVoice, kChangeSourceVolume, kCutSourceFile});
  // ReplayGain stays under Save to Mp3 File, whichever row that lands on.
  auto* save = new wxBoxSizer(wxVERTICAL);
  save->Add(named(kSaveToMp3File));
  save->Add(named(kReplayGain), 0, wxTOP, gap);
  buttons->Add(save, 0, wxALL, gap / 2);
  process->Add(buttons, 0, wxEXPAND | wxALL, gap / 2);

  auto* form = new wxBoxSizer(wxVERTICAL);
  form->Add(play, 0, wxEXPAND | wxALL, 2 * gap);
  form->Add(process, 0, wxEXPAND | wxALL, 2 * gap);
  SetSizer(form);
  SetAutoLayout(false);  // the resource's own places stand until a narrow window asks otherwise
}

wxSize CTunekilnView::layoutFor(int width) {
  if (width >= formSize_.x) {
    for (const auto& [child, rect] : resourceLayout_) child->SetSize(rect);
    return formSize_;
  }
  // Laid out once at the width, the wrapping rows know their lines and so the height they need.
  wxSizer& sizer = *GetSizer();
  sizer.SetDimension(wxPoint(), wxSize(width, formSize_.y));
  const wxSize size(width, sizer.CalcMin().y);
  sizer.SetDimension(wxPoint(), size);
  return size;
}

void CTunekilnView::repaintWhileBusy() {
  const auto now = std::chrono::steady_clock::now();
  const bool endOfScale = progress_->GetValue() == 0 || progress_->GetValue() == progress_->GetRange();
  if (!endOfScale && now - lastRepaint_ < kRepaintInterval) return;
  lastRepaint_ = now;
  // Paint events only: the user's input waits until the operation has ended.
  if (auto* loop = wxEventLoopBase::GetActive()) loop->YieldFor(wxEVT_CATEGORY_UI);
}

}  // namespace tunekiln
