// The dialog's window side in the native build: no screen, so the window is
// a token with a visibility flag, the list is a HeadlessList, and creation
// runs the dialog's start-up at once. What the dialog asked of the window is
// recorded for the tests.
#include "ui/headless/dialog_window_headless.h"

#include "platform/message_box.h"
#include "platform/pointer_check.h"
#include "platform/strings.h"
#include "resources/resource_ids.h"
#include "ui/dialog_window.h"
#include "ui/source_dialog.h"

HeadlessWindowLog headlessWindowLog;

struct DialogWindow::Impl {
    explicit Impl(SourceDialog& dialog) : owner(dialog) {}
    SourceDialog& owner;
    HeadlessList list;
    bool created = false;
    bool visible = false;
};

DialogWindow::DialogWindow(SourceDialog& owner) : impl_(std::make_unique<Impl>(owner)) {}
DialogWindow::~DialogWindow() = default;

bool DialogWindow::Create() {
    if (headlessWindowLog.failCreation) return false;
    impl_->created = true;
    ++headlessWindowLog.windowsAlive;
    impl_->owner.OnInitDialog();
    return true;
}

void* DialogWindow::Handle() const { return impl_->created ? static_cast<void*>(impl_.get()) : nullptr; }

void DialogWindow::Destroy() {
    if (!impl_->created) return;
    impl_->created = false;
    impl_->visible = false;
    --headlessWindowLog.windowsAlive;
}

void DialogWindow::Show(bool show) {
    if (impl_->created) impl_->visible = show;
}

bool DialogWindow::IsVisible() const { return impl_->visible; }
ImageTypeList& DialogWindow::List() { return impl_->list; }
void DialogWindow::EnableScanButtons(bool enable) { headlessWindowLog.scanButtonsEnabled = enable; }

void DialogWindow::SetScanButtonText(const char* text) { headlessWindowLog.scanButtonText = text ? text : ""; }

void DialogWindow::EnableSetupControls(bool enable) { headlessWindowLog.setupControlsEnabled = enable; }

void DialogWindow::SetListEntries(int id, const std::vector<std::string>& texts, int selected) {
    HeadlessControl& control = headlessWindowLog.controls[id];
    control.entries = texts;
    control.selected = selected >= 0 && selected < static_cast<int>(texts.size()) ? selected : -1;
}

int DialogWindow::GetListSelection(int id) const { return headlessWindowLog.controls[id].selected; }

void DialogWindow::SetSlider(int id, int minimum, int maximum, int position) {
    HeadlessControl& control = headlessWindowLog.controls[id];
    control.minimum = minimum;
    control.maximum = maximum;
    control.position = position < minimum ? minimum : position > maximum ? maximum : position;
}

int DialogWindow::GetSliderPosition(int id) const { return headlessWindowLog.controls[id].position; }
void DialogWindow::SetControlText(int id, const std::string& text) { headlessWindowLog.controls[id].text = text; }
void DialogWindow::EnableControl(int id, bool enable) { headlessWindowLog.controls[id].enabled = enable; }

bool DialogWindow::AddAboutMenuItem(const char* text) {
    headlessWindowLog.aboutMenuText = text ? text : "";
    return true;
}

void DialogWindow::SetIcons() {}
void DialogWindow::AttachPreview() {}

void DialogWindow::RenderPreview(unsigned, unsigned) { ++headlessWindowLog.renders; }

int DialogWindow::ShowMessage(const char* text, unsigned type) {
    return platform::ShowMessageBox(Handle(), text, platform::LoadStringResource(IDS_PRODUCT_NAME).c_str(), type);
}

void DialogWindow::ShowAboutBox() { ++headlessWindowLog.aboutBoxes; }

bool IsDialogMessageFor(void* window, void* message) {
    if (window == nullptr || !platform::IsReadable(message, 1)) return false;
    headlessWindowLog.offeredWindow = window;
    headlessWindowLog.offeredMessage = message;
    return headlessWindowLog.consumeMessages;
}
