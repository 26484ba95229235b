// A host that runs many sessions with nobody at the screen: no dialog, no
// progress (CAP_INDICATORS FALSE). Sessions with a jammed feeder, a feeder
// left empty and a scanner that does not answer are mixed in; none may show
// a window or wait on one, and each ends with what the application can read
// from DAT_STATUS.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "source_harness.h"

namespace {

BOOL CALLBACK CountVisible(HWND window, LPARAM data) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window)) ++*reinterpret_cast<int*>(data);
    return TRUE;
}

// Visible top-level windows of this process.
int VisibleWindows() {
    int windows = 0;
    ::EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

enum class Condition { Plain, Jam, EmptyFeeder, Offline };

// Through the C runtime's own environment, which the simulated scanner reads
// when it is loaded again with the next session.
void SetVariable(const std::string& name, const char* value) {
    _putenv((name + "=" + (value != nullptr ? value : "")).c_str());
}

void SetCondition(Condition condition) {
    SetVariable("VOREL_SIM_FEEDER", condition == Condition::Jam           ? "loaded"
                                    : condition == Condition::EmptyFeeder ? "enabled"
                                                                          : "none");
    SetVariable("VOREL_SIM_SHEETS", condition == Condition::Jam ? "3" : nullptr);
    SetVariable("VOREL_SIM_JAM", condition == Condition::Jam ? "2" : nullptr);
    SetVariable("VOREL_SIM_OPEN", condition == Condition::Offline ? "-10" : nullptr);
}

TW_UINT16 EndXfer(SourceHarness& harness, TW_UINT16* count) {
    TW_PENDINGXFERS pending{};
    const TW_UINT16 rc = harness.Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    *count = pending.Count;
    return rc;
}

}  // namespace

TEST(Unattended, ManySessionsNeverShowAWindow) {
    const Condition conditions[] = {Condition::Plain, Condition::Jam, Condition::EmptyFeeder, Condition::Offline};
    const int sessions = 200;
    for (int session = 0; session < sessions; ++session) {
        const Condition condition = conditions[session % 4];
        const bool twain2 = (session / 4) % 2 == 0;
        SetCondition(condition);
        SourceHarness harness;
        ASSERT_TRUE(harness.Loaded());
        if (twain2) harness.app.SupportedGroups |= DF_APP2;
        ASSERT_EQ(harness.Open(), TWRC_SUCCESS) << "session " << session;
        ASSERT_EQ(harness.SetOneValue(CAP_INDICATORS, TWTY_BOOL, 0), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_XRESOLUTION, TWTY_UINT16, 75), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(ICAP_YRESOLUTION, TWTY_UINT16, 75), TWRC_SUCCESS);
        ASSERT_EQ(harness.SetOneValue(CAP_XFERCOUNT, TWTY_INT16, condition == Condition::Jam ? -1 : 1), TWRC_SUCCESS);
        const TW_UINT16 enabled = harness.Enable(false);
        if (condition == Condition::Offline) {
            EXPECT_EQ(enabled, TWRC_FAILURE) << "session " << session;
            EXPECT_EQ(harness.Status(), twain2 ? TWCC_CHECKDEVICEONLINE : TWCC_BUMMER) << "session " << session;
        } else if (condition == Condition::EmptyFeeder && twain2) {
            // Nobody is there to load the feeder, and the glass is not what
            // a batch from it asked for.
            EXPECT_EQ(enabled, TWRC_FAILURE) << "session " << session;
            EXPECT_EQ(harness.Status(), TWCC_NOMEDIA) << "session " << session;
        } else {
            ASSERT_EQ(enabled, TWRC_SUCCESS) << "session " << session;
            // Every image until the batch ends: one, or from the jammed
            // feeder the first sheet and then the jam.
            for (int image = 0; image < 5; ++image) {
                TW_HANDLE dib = nullptr;
                const TW_UINT16 rc = harness.Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
                if (rc == TWRC_XFERDONE) {
                    ::GlobalFree(dib);
                } else {
                    EXPECT_EQ(condition, Condition::Jam) << "session " << session;
                    EXPECT_EQ(image, 1) << "session " << session << ": the second sheet jams";
                    EXPECT_EQ(harness.Status(), twain2 ? TWCC_PAPERJAM : TWCC_BUMMER) << "session " << session;
                }
                TW_UINT16 count = 1;
                ASSERT_EQ(EndXfer(harness, &count), TWRC_SUCCESS) << "session " << session;
                if (count == 0) break;
            }
            EXPECT_EQ(harness.Disable(), TWRC_SUCCESS) << "session " << session;
        }
        EXPECT_EQ(VisibleWindows(), 0) << "session " << session;
        EXPECT_TRUE(AnsweredBoxes().empty()) << "session " << session << ": " << AnsweredBoxes()[0].text;
        EXPECT_EQ(harness.Close(), TWRC_SUCCESS) << "session " << session;
        ClearAnsweredBoxes();
        if (::testing::Test::HasFailure()) break;
    }
    SetCondition(Condition::Plain);
}
