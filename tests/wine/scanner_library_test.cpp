// The simulated VOREL32.dll as the source meets it on Windows: its twelve
// functions found by ordinal only, called with the Windows API convention.
#include <gtest/gtest.h>

#include "device/scanner_library.h"
#include "source_harness.h"

namespace {

template <typename Function>
Function ByOrdinal(HMODULE library, unsigned ordinal) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(library, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)))));
}

}  // namespace

// A 64-bit process cannot load the 32-bit library; its source reaches it
// through the helper (HelperProcess).
#define SKIP_IN_64_BIT() \
    if (sizeof(void*) == 8) GTEST_SKIP() << "VOREL32.dll is a 32-bit library"

TEST(ScannerLibrary, TwelveOrdinalsAndNoNames) {
    SKIP_IN_64_BIT();
    HMODULE library = ::LoadLibraryA((TestFolder() + "VOREL32.dll").c_str());
    ASSERT_NE(library, nullptr);
    for (unsigned ordinal : {2u, 9u, 10u, 13u, 14u, 17u, 18u, 20u, 22u, 26u, 27u, 30u}) {
        EXPECT_NE(ByOrdinal<void (*)()>(library, ordinal), nullptr) << "ordinal " << ordinal;
    }
    EXPECT_EQ(ByOrdinal<void (*)()>(library, 3), nullptr) << "ordinal 3 is not exported";
    EXPECT_EQ(::GetProcAddress(library, "OpenScanner"), nullptr) << "exported by ordinal only";
    ::FreeLibrary(library);
}

TEST(ScannerLibrary, APreviewOfTheWholeBedByOrdinal) {
    SKIP_IN_64_BIT();
    HMODULE library = ::LoadLibraryA((TestFolder() + "VOREL32.dll").c_str());
    ASSERT_NE(library, nullptr);
    ScannerLibrary scanner{};
    scanner.OpenScanner = ByOrdinal<decltype(scanner.OpenScanner)>(library, 2);
    scanner.GetScanGeometry = ByOrdinal<decltype(scanner.GetScanGeometry)>(library, 10);
    scanner.ResetScanner = ByOrdinal<decltype(scanner.ResetScanner)>(library, 13);
    scanner.ReadScanData = ByOrdinal<decltype(scanner.ReadScanData)>(library, 14);
    scanner.SetScanResolution = ByOrdinal<decltype(scanner.SetScanResolution)>(library, 17);
    scanner.InquireParameter = ByOrdinal<decltype(scanner.InquireParameter)>(library, 26);
    scanner.SetParameter = ByOrdinal<decltype(scanner.SetParameter)>(library, 30);

    ASSERT_EQ(scanner.OpenScanner(0x1234, 1), 0);
    std::int16_t width = 0, height = 0;
    scanner.InquireParameter(18, 72, &width);
    scanner.InquireParameter(19, 72, &height);
    EXPECT_EQ(width, 2550);
    EXPECT_EQ(height, 4200);
    ASSERT_EQ(scanner.ResetScanner(), 0);
    scanner.SetScanResolution(30, 30);
    scanner.SetParameter(25, 5);
    ScanGeometry geometry{};
    scanner.GetScanGeometry(&geometry);
    EXPECT_EQ(geometry.pixelsPerLine, 255);
    EXPECT_EQ(geometry.lines, 420);
    EXPECT_EQ(geometry.bytesPerLine, 255 * 3);
    EXPECT_EQ(geometry.totalBytes, 255 * 3 * 420);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(geometry.totalBytes) + 100);
    std::int32_t got = -1;
    scanner.ReadScanData(2, data.data(), static_cast<std::int32_t>(data.size()), &got);
    EXPECT_EQ(got, geometry.totalBytes) << "a read past the end returns what there is";
    scanner.ReadScanData(0, data.data(), 100, &got);
    EXPECT_EQ(got, 0) << "then nothing";
    scanner.OpenScanner(0x1234, 0);
    ::FreeLibrary(library);
}
