// The one object that talks to the scanner command library while the source
// is open: opening and probing the scanner, preview and final set-ups with
// colour matrix and tone map, geometry, bed-size and feeder questions, and
// reading the scan data as a raw stream or line by line into DIB rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "device/scan_plan.h"
#include "device/scanner_library.h"
#include "imaging/tone_map.h"
#include "platform/global_memory.h"

class ScannerDevice {
public:
    ScannerDevice();
    virtual ~ScannerDevice();
    ScannerDevice(const ScannerDevice&) = delete;
    ScannerDevice& operator=(const ScannerDevice&) = delete;

    void SetWindowHandle(void* window);
    bool Open();
    // The message of the last failure to open the scanner (IDS_OPEN_FAILED
    // or IDS_NO_COMMUNICATION), 0 when none.
    unsigned OpenFailure() const { return openFailure_; }
    // 0 no scanner, 1 scanner without colour, 2 colour scanner.
    int GetKind();
    bool SetupPreview(int resolution);
    bool SetupFinalScan(std::uint32_t xResolution, std::uint32_t scaling, std::uint32_t bitsPerPixel,
                        const std::uint16_t* window, std::uint32_t invert);
    void SendResolution(std::uint32_t x, std::uint32_t y);
    void LoadColourMatrix(bool keepRgbOrder);
    void LoadToneMap(double gamma);
    // The tone map the settings give (vorelsrc.ini's calibration, else the
    // defaults with `gamma`) under the tone controls, stored from the
    // brightest input down as the scanner takes it.
    static void SettingsToneMap(double gamma, std::uint8_t* table, const ToneControls& controls = ToneControls{});
    // The application's tone controls for the previews and final scans set
    // up from now on; the preview levels follow at once.
    void SetToneControls(const ToneControls& controls);
    // The output level of each input level under the tone map of the last
    // preview set-up, or of the controls set since: the preview's data come
    // without it.
    const std::uint8_t* PreviewLevels() const { return previewLevels_; }
    static void BuildToneMap(std::uint8_t* table, int shadow, unsigned highlight, double gamma);

    // Raw stream in chunks of at most 60000 bytes; returns the bytes read.
    std::uint32_t ReadData(std::uint32_t count, void* buffer);
    // Reads `lines` scan lines into DIB rows of RowStride(bytesPerLine)
    // bytes; the destination holds destinationSize bytes. Every row is
    // written whole: padding, the rest of a line the scanner stopped in,
    // and rows it never reached are zero. Returns the bytes of the rows
    // the scanner reached, padding included.
    std::uint32_t ReadImageToDIB(int bytesPerLine, int lines, void* destination, std::size_t destinationSize,
                                 bool bottomUp);
    // True when the last ReadImageToDIB could not have its line buffer:
    // nothing was read from the scanner, so the same rows can be asked for
    // again. Asking clears it, so no later answer repeats an old failure.
    bool TakeReadLackedMemory() {
        const bool lacked = lastReadLackedMemory_;
        lastReadLackedMemory_ = false;
        return lacked;
    }
    // The lines ReadImageToDIB asks the scanner for at a time: as many
    // whole lines as fit kMaxScanRead bytes, at least one. Reading a scan in
    // calls of a multiple of this many lines asks the scanner exactly what
    // one call for all of them would.
    static std::size_t LinesPerRead(int bytesPerLine);

    // Reads the whole scan set up last (its bytes per line times its lines)
    // into a block of the device's own, from which every later read of
    // that scan is then served, so that the page can be looked at before
    // it is handed over. False, with nothing read, when no block can be
    // had. A new set-up or the scan's end lets the block go. `stop`, when
    // given, hears the bytes read after each read and may end the reading
    // (true): nothing is held then.
    bool HoldScan(const std::function<bool(std::size_t)>& stop = {});
    // The held scan's bytes as the scanner sent them (null when none is
    // held), and how many arrived.
    const std::uint8_t* HeldScan() const { return held_; }
    std::size_t HeldBytes() const { return heldSize_; }
    // Lets a held scan's block go (the scan itself is not ended).
    void DropHeldScan();

    int GetPixelsPerLine();
    int GetBytesPerLine();
    int GetLineCount();
    int GetPhysicalWidth();
    int GetPhysicalHeight();
    bool IsFeederEnabled();
    bool IsFeederLoaded();
    void EndScan();

    int kind() const { return kind_; }
    // Whether a sheet jammed in the document feeder during the scan set up
    // last. The first read that meets the jam shows box 109; the scan then
    // delivers nothing more.
    bool Jammed() const { return halt_ == Halt::FeederJam; }
    // Whether the scanner stopped answering during the scan set up last
    // (the 64-bit source's helper was lost). The first read or question
    // about the scan that meets it shows box 107, the no-communication box;
    // nothing more is read.
    bool StoppedAnswering() const { return halt_ == Halt::StoppedAnswering; }
    // Either of the two: the scanner halted the scan, the user has been
    // told why, and the scan delivers nothing more.
    bool Halted() const { return halt_ != Halt::None; }
    // The total byte count of the ScanGeometry of the last set-up.
    std::int32_t TotalBytes() const;

    // How a final scan of the window record at bitsPerPixel and `scaling`
    // percent would be taken:
    // at once, or in pieces (and whether it can be). A frame in pieces is
    // read as one image: the geometry answers the whole frame's, and the
    // reads set each piece up in turn and join them.
    ScanPlan PlanFinalScan(std::uint32_t bitsPerPixel, const std::uint16_t* window, std::uint32_t scaling = 100);
    bool ScannedInPieces() const { return plan_.pieces; }

private:
    // Looks at a ReadScanData status: a feeder jam, or a scanner that
    // stopped answering, halts the scan and is told to the user once.
    void NoteReadStatus(std::int16_t status);
    // A scanner (the helper) lost by now halts the scan, told once: at a
    // read, or at a question about the scan before the first read.
    void NoteAnswering();
    // A question about the scan set up last, whose answer a lost helper
    // makes 0: the scan is then halted as by a read.
    int ScanQuestion(std::int16_t code);
    // The final scan's commands for one window record (null: no window).
    void SendFinalSetup(const std::uint16_t* window);
    // One read of the scan: up to `bytes` of its lines, across the pieces
    // of a frame in pieces. Fewer than asked when the scan has ended.
    std::size_t ReadScan(std::uint8_t* into, std::size_t bytes);
    // One ReadScanData call of the window set up last.
    std::size_t ReadWindow(std::uint8_t* into, std::size_t bytes);
    // Sets the next band up (with several columns, reads it into the band
    // buffer); false when the frame is done or a piece failed.
    bool NextBand();
    // Sets a piece up; its line count, or -1 when the scanner's geometry
    // for it is not the planned one.
    int StartPiece(int band, int column);
    void ReleaseBandBuffer();

    struct FinalSetup {
        std::uint32_t xResolution = 0;
        std::uint32_t scaling = 100;
        std::uint32_t bitsPerPixel = 0;
        std::uint32_t invert = 0;
    };
    FinalSetup final_;
    std::uint8_t finalToneMap_[256] = {};
    ToneControls tone_;
    bool keepRgbOrder_ = true;
    ScanPlan plan_;
    int band_ = -1;              // the band being read
    std::size_t bandLeft_ = 0;   // bytes of it not yet handed out
    bool piecesEnded_ = false;   // a piece ended early or failed: no more bands
    platform::GlobalHandle bandHandle_ = nullptr;
    std::uint8_t* bandBuffer_ = nullptr;
    std::size_t bandBufferSize_ = 0;
    std::size_t bandAt_ = 0;
    // A held scan: its block, the bytes that arrived, those already read,
    // and its colour order (red first, or blue first).
    platform::GlobalHandle heldHandle_ = nullptr;
    std::uint8_t* held_ = nullptr;
    std::size_t heldSize_ = 0;
    std::size_t heldAt_ = 0;
    bool heldRgbOrder_ = true;

    void* windowHandle_ = nullptr;
    int kind_ = 0;
    int isOpen_ = 0;
    int readMode_ = 2;
    bool lastReadLackedMemory_ = false;
    enum class Halt { None, FeederJam, StoppedAnswering };
    Halt halt_ = Halt::None;
    std::uint8_t previewLevels_[256] = {};
    unsigned openFailure_ = 0;
    std::int16_t defaultResolution_[2] = {75, 75};
    std::int16_t defaultExtent_[2] = {2400, 3150};
    platform::GlobalHandle geometryHandle_ = nullptr;
    ScanGeometry* geometry_ = nullptr;
    // Holds the geometry when its global memory block cannot be had.
    ScanGeometry spareGeometry_{};
};
