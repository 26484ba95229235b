// The window side of the SourceDialog: the dialog created from template 129
// with its controls, or a headless stand-in in the native build. It turns
// window messages into calls on the SourceDialog and offers the dialog the
// few window operations it needs.
#pragma once

#include <memory>
#include <string>
#include <vector>

class ImageTypeList;
class SourceDialog;

class DialogWindow {
public:
    explicit DialogWindow(SourceDialog& owner);
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Creates the window hidden, without a parent; the dialog's
    // OnInitDialog runs during the creation.
    bool Create();
    void* Handle() const;
    void Destroy();
    void Show(bool show);
    bool IsVisible() const;

    ImageTypeList& List();
    void EnableScanButtons(bool enable);
    // The scan button's text; null gives it back the text it was made with.
    void SetScanButtonText(const char* text);
    // The image type list and the preview (where the region is drawn).
    void EnableSetupControls(bool enable);
    // The setting controls beside the image type, by control id: the
    // drop-down lists (resolution, page size, rotation), the sliders
    // (brightness, contrast) and the texts that show a slider's value.
    void SetListEntries(int id, const std::vector<std::string>& texts, int selected);
    int GetListSelection(int id) const;
    void SetSlider(int id, int minimum, int maximum, int position);
    int GetSliderPosition(int id) const;
    void SetControlText(int id, const std::string& text);
    void EnableControl(int id, bool enable);
    // Appends a separator and the About item (command 16) to the system
    // menu; false when the window has no system menu.
    bool AddAboutMenuItem(const char* text);
    void SetIcons();
    void AttachPreview();
    // Draws the preview buffer in the given image type.
    void RenderPreview(unsigned paletteEntries, unsigned bitsPerPixel);
    // A box owned by the dialog, captioned "Vorel Source".
    int ShowMessage(const char* text, unsigned type);
    // The modal About box; returns when it is dismissed.
    void ShowAboutBox();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// Hands a window message (a MSG of the platform) to the dialog; true when
// the dialog consumed it. An unreadable message is never consumed.
bool IsDialogMessageFor(void* window, void* message);
