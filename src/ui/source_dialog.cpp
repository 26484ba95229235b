// SourceDialog: the dialog's start-up, its image type list, the preview,
// the start of the final scan, and the operations the protocol handlers
// call. The window itself is the DialogWindow's; this file holds what the
// dialog decides.
#include "ui/source_dialog.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "acquisition/scan_session.h"
#include "device/error_message.h"
#include "imaging/pixel_conversion.h"
#include "platform/message_box.h"
#include "platform/strings.h"
#include "protocol/notifications.h"
#include "protocol/shown_settings.h"
#include "protocol/source_globals.h"
#include "protocol/user_interface.h"
#include "resources/resource_ids.h"
#include "twain/twain.h"
#include "ui/dialog_window.h"
#include "ui/image_type_list.h"

namespace {

constexpr int kPreviewResolution = 30;
const unsigned kImageTypeNames[3] = {IDS_BW_DRAWING, IDS_BW_PHOTO, IDS_COLOR_PHOTO};

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Bytes of a buffer of three bytes per pixel; 0 for a geometry that makes
// no sense (a scanner answering nonsense gets no buffer).
std::size_t TripleBufferBytes(int pixelsPerLine, int lines) {
    if (pixelsPerLine <= 0 || lines <= 0) return 0;
    return static_cast<std::size_t>(pixelsPerLine) * static_cast<std::size_t>(lines) * 3;
}

}  // namespace

SourceDialog::SourceDialog(ScanSession& session)
    : session_(session), progress_(*this), window_(std::make_unique<DialogWindow>(*this)) {
    session_.AttachIndicator(&progress_);
}

SourceDialog::~SourceDialog() { window_->Destroy(); }

bool SourceDialog::Create() { return window_->Create(); }
void* SourceDialog::WindowHandle() const { return window_->Handle(); }
void SourceDialog::DestroyWindow() { window_->Destroy(); }
void SourceDialog::ShowWindow(bool show) { window_->Show(show); }
bool SourceDialog::IsWindowVisible() const { return window_->IsVisible(); }
bool SourceDialog::TakeWindowMessage(void* message) { return IsDialogMessageFor(window_->Handle(), message); }

bool SourceDialog::OnInitDialog() {
    std::string about = platform::LoadStringResource(IDS_ABOUTBOX);
    if (!about.empty()) window_->AddAboutMenuItem(about.c_str());
    window_->SetIcons();
    window_->AttachPreview();
    session_.SetScannerWindow(window_->Handle());

    // The scanner is asked for pixels, then lines, in separate statements:
    // an argument list would leave the order of the inquiries to the compiler.
    if (session_.SetupPreview(kPreviewResolution)) {
        std::memcpy(preview.levels, session_.PreviewLevels(), sizeof preview.levels);
        int pixels = session_.GetPixelsPerLine();
        int lines = session_.GetLineCount();
        std::size_t bytes = TripleBufferBytes(pixels, lines);
        if (bytes > 0) preview.AllocatePreviewBuffer(bytes);
    }
    int previewWidth = session_.GetPixelsPerLine();
    int previewHeight = session_.GetLineCount();
    preview.SetPreviewSize(previewWidth, previewHeight);
    RenderPreview();

    if (session_.ScannerKind() == 0) window_->EnableScanButtons(false);

    ImageTypeList& list = window_->List();
    list.AddString(platform::LoadStringResource(IDS_BW_DRAWING).c_str());
    list.AddString(platform::LoadStringResource(IDS_BW_PHOTO).c_str());
    if (session_.ScannerKind() != 1) {
        list.AddString(platform::LoadStringResource(IDS_COLOR_PHOTO).c_str());
        list.SetCurSel(2);
    } else {
        list.SetCurSel(1);
    }
    return true;
}

// The preview holds the page without the tone map: it is drawn again
// under the scanner's new levels.
void SourceDialog::ToneChanged() {
    std::memcpy(preview.levels, session_.PreviewLevels(), sizeof preview.levels);
    RenderPreview();
}

void SourceDialog::RenderPreview() {
    const ImageTypeEntry& type = ImageTypeTable[GetImageTypeIndex()];
    preview.RenderPreview(type.paletteEntries, type.bitsPerPixel);
    window_->RenderPreview(type.paletteEntries, type.bitsPerPixel);
}

// The list is filled afresh at every enabling from the types the scanner
// has, so a type one enabling left out comes back when the next allows it.
void SourceDialog::RemoveDisallowedImageTypes() {
    ImageTypeList& list = window_->List();
    for (int i = list.GetCount() - 1; i >= 0; --i) list.DeleteString(i);
    for (int type = 0; type < 3; ++type) {
        if ((allowedImageTypes & (1u << type)) == 0) continue;
        if (type == 2 && session_.ScannerKind() == 1) continue;  // no colour on this scanner
        list.AddString(platform::LoadStringResource(kImageTypeNames[type]).c_str());
    }
    list.SetCurSel(list.GetCount() - 1);
}

int SourceDialog::SelectImageType(int index) {
    unsigned name = index == 0 ? IDS_BW_DRAWING : index == 1 ? IDS_BW_PHOTO : IDS_COLOR_PHOTO;
    window_->List().SelectString(0, platform::LoadStringResource(name).c_str());
    return GetImageTypeIndex();
}

int SourceDialog::GetImageTypeIndex() {
    ImageTypeList& list = window_->List();
    int selected = list.GetCurSel();
    std::string text = selected >= 0 ? list.GetText(selected) : std::string();
    if (text.size() > 259) text.resize(259);
    if (text.empty()) return 0;
    for (int type = 0; type < 3; ++type) {
        if (EqualIgnoringCase(text, platform::LoadStringResource(kImageTypeNames[type]))) return type;
    }
    return 0;
}

std::uint32_t SourceDialog::GetBitsPerPixel() { return ImageTypeTable[GetImageTypeIndex()].bitsPerPixel; }

void SourceDialog::OfferImageTypes(std::uint32_t allowed, int chosen) {
    allowedImageTypes = allowed;
    RemoveDisallowedImageTypes();
    SelectImageType(chosen);
}

void SourceDialog::GetScanRegion(std::int32_t* left, std::int32_t* top, std::int32_t* right,
                                 std::int32_t* bottom) const {
    Rect32 region = preview.GetRegion();
    *left = region.left;
    *top = region.top;
    *right = region.right;
    *bottom = region.bottom;
}

int SourceDialog::SetScanRegion(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    return preview.SetRegion(left, top, right, bottom);
}

void SourceDialog::RestoreScanRegionTo(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                                       bool locked) {
    preview.SetRegion(left, top, right, bottom);
    preview.regionLocked = locked;
}

// A region with no width or no height (a click that cleared the selection,
// or an application's empty frame) scans the whole bed, which is what the
// preview shows at that moment.
int SourceDialog::FinalScan() {
    if (session_.ScannerKind() == 0 || session_.SetupOnly()) return 0;
    // Asked once: whether this scan, and the batch it starts, comes from the
    // feeder.
    const bool fromFeeder = session_.IsFeederLoaded();
    if (window_->IsVisible() && fromFeeder) {
        std::string question = platform::LoadStringResource(IDS_FEEDER_QUESTION);
        if (window_->ShowMessage(question.c_str(), platform::kBoxOkCancel) == platform::kAnswerCancel) return 0;
    }
    if (!CanScanAsShown()) return 0;
    if (!session_.SetupFinalScan(GetImageTypeIndex(), ShownFrame(), fromFeeder) && session_.NothingToDeliver()) {
        // Every sheet was blank and dropped, or the user cancelled while
        // they were read: the batch is over with no image, as after its
        // last transfer. The enabling has done its work whether or not a
        // manager takes the request.
        NotifyCloseDSRequest();
        return 1;
    }
    const std::weak_ptr<bool> alive = alive_;
    const int sent = NotifyXferReady();
    // The application may have closed the source (and this object with it)
    // from inside its notification, and even opened and enabled it again.
    if (!alive.expired() && sourceState == 600) HoldSetup(true);
    return sent;
}

void SourceDialog::HoldSetup(bool hold) {
    held_ = hold;
    window_->EnableSetupControls(!hold);
    window_->EnableScanButtons(!hold && session_.ScannerKind() != 0);
    EnableSettingControls();
}

void SourceDialog::OfferSettings(const ShownSettings& settings) {
    settings_ = settings;
    ShowSettings();
}

void SourceDialog::ShowSettings() {
    resolutions_ = ResolutionChoices(settings_.xResolution, settings_.yResolution);
    std::vector<std::string> texts;
    int selected = -1;
    for (std::size_t i = 0; i < resolutions_.size(); ++i) {
        texts.push_back(ResolutionText(resolutions_[i]));
        if (resolutions_[i] == settings_.xResolution.current) selected = static_cast<int>(i);
    }
    window_->SetListEntries(IDC_RESOLUTION, texts, selected);

    rotations_ = RotationChoices(settings_.rotation, settings_.orientationTurns);
    const int turn = ShownTurn(settings_.rotation, settings_.orientationTurns);
    texts.clear();
    selected = -1;
    for (std::size_t i = 0; i < rotations_.size(); ++i) {
        texts.push_back(RotationText(rotations_[i]));
        if (rotations_[i] == turn) selected = static_cast<int>(i);
    }
    window_->SetListEntries(IDC_ROTATION, texts, selected);

    ShowTone(IDC_BRIGHTNESS, settings_.brightness);
    ShowTone(IDC_CONTRAST, settings_.contrast);
    ShowPageSize();
}

void SourceDialog::ShowTone(int id, const NumberSetting& setting) {
    window_->SetSlider(id, setting.minimum, setting.maximum, setting.current);
    window_->SetControlText(id == IDC_BRIGHTNESS ? IDC_BRIGHTNESS_VALUE : IDC_CONTRAST_VALUE,
                            std::to_string(setting.current));
}

void SourceDialog::ShowPageSize() {
    const Rect32 region = preview.region.IsEmpty() ? Rect32{} : preview.GetRegion();
    pages_ = PageEntries(settings_, region, preview.WholeBed());
    std::vector<std::string> texts;
    for (const PageEntry& entry : pages_) texts.push_back(entry.text);
    window_->SetListEntries(IDC_PAGE_SIZE, texts,
                            PageEntryShowing(pages_, settings_.pageSize, region, preview.WholeBed()));
    EnableSettingControls();
}

// A control acts when the user has a choice in it and no image is pending;
// the page size also not while the application holds the region.
void SourceDialog::EnableSettingControls() {
    const bool free = !held_;
    window_->EnableControl(IDC_RESOLUTION, free && resolutions_.size() > 1);
    window_->EnableControl(IDC_ROTATION, free && rotations_.size() > 1);
    window_->EnableControl(IDC_PAGE_SIZE, free && !preview.regionLocked && pages_.size() > 1);
    window_->EnableControl(IDC_BRIGHTNESS, free && settings_.brightness.present &&
                                               settings_.brightness.minimum < settings_.brightness.maximum);
    window_->EnableControl(IDC_CONTRAST, free && settings_.contrast.present &&
                                             settings_.contrast.minimum < settings_.contrast.maximum);
}

void SourceDialog::OnSettingChange(int id) {
    if (held_) return;
    const int chosen = id == IDC_BRIGHTNESS || id == IDC_CONTRAST ? 0 : window_->GetListSelection(id);
    switch (id) {
        case IDC_RESOLUTION:
            if (chosen >= 0 && chosen < static_cast<int>(resolutions_.size()) &&
                TakeShownSetting(ShownSetting::Resolution, resolutions_[chosen])) {
                settings_.xResolution.current = settings_.yResolution.current = resolutions_[chosen];
            }
            break;
        case IDC_ROTATION:
            if (chosen >= 0 && chosen < static_cast<int>(rotations_.size()) &&
                TakeShownSetting(ShownSetting::Rotation, rotations_[chosen])) {
                settings_ = NegotiatedShownSettings();
            }
            break;
        case IDC_PAGE_SIZE:
            if (chosen >= 0 && chosen < static_cast<int>(pages_.size())) ChoosePage(pages_[chosen]);
            ShowPageSize();
            return;
        case IDC_BRIGHTNESS: MoveTone(id, ShownSetting::Brightness, settings_.brightness); return;
        case IDC_CONTRAST: MoveTone(id, ShownSetting::Contrast, settings_.contrast); return;
        default: return;
    }
    // A choice the capability did not take shows the setting as it is.
    ShowSettings();
}

// The slider stops only on values the application allows; the preview
// shows the new tone at once.
void SourceDialog::MoveTone(int id, ShownSetting setting, NumberSetting& value) {
    const int wanted = NearestAllowed(value, window_->GetSliderPosition(id));
    if (wanted != value.current && TakeShownSetting(setting, wanted)) {
        value.current = wanted;
        ToneChanged();
    }
    ShowTone(id, value);
}

void SourceDialog::ChoosePage(const PageEntry& entry) {
    if (preview.regionLocked || entry.kind == PageEntry::Drawn) return;
    const bool page = entry.kind == PageEntry::Page;
    const std::uint16_t code = page ? entry.page.code : TWSS_NONE;
    if (!TakeShownSetting(ShownSetting::PageSize, code)) return;
    settings_.pageSize = code;
    if (page) {
        RestoreScanRegionTo(entry.page.frame.left, entry.page.frame.top, entry.page.frame.right,
                            entry.page.frame.bottom, false);
    } else {
        preview.ClearRegion();
    }
    RenderPreview();
}

// A region the user drew has no fixed size.
void SourceDialog::OnRegionChange() {
    if (held_) return;
    if (TakeShownSetting(ShownSetting::PageSize, TWSS_NONE)) settings_.pageSize = TWSS_NONE;
    ShowPageSize();
}

Rect32 SourceDialog::ShownFrame() const {
    Rect32 region = preview.GetRegion();
    if (region.IsEmpty()) region = preview.WholeBed();
    Rect32 frame;
    frame.left = region.left;
    frame.top = region.top;
    frame.right = region.right;
    frame.bottom = region.bottom;
    return frame;
}

bool SourceDialog::CanScanAsShown() {
    if (session_.CanScan(GetImageTypeIndex(), ShownFrame())) return true;
    ShowErrorMessage(IDS_FRAME_CANNOT_BE_SCANNED);
    return false;
}

void SourceDialog::OnFinalScanButton() {
    if (sourceState != 500) return;
    if (session_.SetupOnly()) {
        AcceptSetup();
    } else {
        FinalScan();
    }
}

void SourceDialog::AcceptSetup() {
    if (session_.SetupAccepted() || !CanScanAsShown()) return;
    const int imageType = GetImageTypeIndex();
    window_->Show(false);
    // Last: the application may close the source from inside its
    // notification, and this object with it.
    AcceptShownSetup(imageType);
}

void SourceDialog::ShowSetupOnly(bool setupOnly) {
    std::string ok = setupOnly ? platform::LoadStringResource(IDS_SETUP_OK) : std::string();
    window_->SetScanButtonText(setupOnly ? ok.c_str() : nullptr);
    if (!setupOnly) return;
    keptRegion_ = preview.region;
    keptRegion300_ = preview.region300;
    keptRegionLocked_ = preview.regionLocked;
}

void SourceDialog::RestoreScanRegion() {
    preview.region = keptRegion_;
    preview.region300 = keptRegion300_;
    preview.regionLocked = keptRegionLocked_;
    RenderPreview();
}

void SourceDialog::OnPreviewScanButton() {
    if (sourceState == 500) PreviewScan();
}

void SourceDialog::PreviewScan() {
    if (session_.ScannerKind() == 0) return;
    if (window_->IsVisible() && session_.IsFeederLoaded()) {
        std::string refusal = platform::LoadStringResource(IDS_NO_PREVIEW_WITH_FEEDER);
        window_->ShowMessage(refusal.c_str(), platform::kBoxOk);
        return;
    }
    if (!session_.SetupPreview(kPreviewResolution)) return;
    std::memcpy(preview.levels, session_.PreviewLevels(), sizeof preview.levels);
    int pixels = session_.GetPixelsPerLine();
    int lines = session_.GetLineCount();
    std::size_t bytes = TripleBufferBytes(pixels, lines);
    if (bytes == 0) return;
    std::uint8_t* buffer = preview.AllocatePreviewBuffer(bytes);
    if (buffer == nullptr) return;
    // Never read more than the buffer holds, whatever total the scanner
    // announces.
    std::int32_t total = session_.TotalBytes();
    std::uint32_t toRead = total <= 0 ? 0 : static_cast<std::uint32_t>(std::min<std::size_t>(total, bytes));
    if (toRead > 0) session_.ReadData(toRead, buffer);
    if (session_.ScannerKind() == 1) ExpandGreyToTriples(buffer, pixels, lines);
    RenderPreview();
}

void SourceDialog::OnImageTypeChange() { RenderPreview(); }

void SourceDialog::OnSysCommand(unsigned commandId) {
    if ((commandId & 0xFFF0) == IDM_ABOUTBOX) window_->ShowAboutBox();
}

void SourceDialog::OnClose() { AskToBeClosed(); }

void SourceDialog::OnCancel() { AskToBeClosed(); }

void SourceDialog::AskToBeClosed() {
    // The window is hidden as a cancelled modeless dialog is, before the
    // request goes out: the application may disable, close and reopen the
    // source from inside its notification, which ends this object, its
    // window and its session. Nothing of them is touched after it.
    window_->Show(false);
    NotifyCloseDSRequest();
}

int SourceDialog::ShowErrorMessage(unsigned stringId) { return ::ShowErrorMessage(stringId); }
