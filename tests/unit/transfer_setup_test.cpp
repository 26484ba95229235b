// The set-up of transfers: memory buffer sizes, the transfer file's name and
// format with the test open of the file, and the transfer group.
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "source_fixture.h"

using namespace source_test;

namespace {

class TransferSetupTest : public SourceTest {
protected:
    void SetUp() override {
        SourceTest::SetUp();
        ASSERT_EQ(Open(), TWRC_SUCCESS);
    }

    TW_UINT16 SetFile(const std::string& name, TW_UINT16 format) {
        TW_SETUPFILEXFER setup;
        std::memset(&setup, 0, sizeof setup);
        std::memcpy(setup.FileName, name.data(), std::min<std::size_t>(name.size(), sizeof setup.FileName));
        setup.Format = format;
        setup.VRefNum = 0;
        return Control(DAT_SETUPFILEXFER, MSG_SET, &setup);
    }

    // What MSG_GET answers, from a structure filled with 'X' beforehand.
    TW_SETUPFILEXFER GetFile(TW_UINT16 msg = MSG_GET) {
        TW_SETUPFILEXFER setup;
        std::memset(&setup, 'X', sizeof setup);
        EXPECT_EQ(Control(DAT_SETUPFILEXFER, msg, &setup), TWRC_SUCCESS) << "msg " << msg << " DAT_SETUPFILEXFER";
        return setup;
    }
    static std::string NameOf(const TW_SETUPFILEXFER& setup) {
        return std::string(setup.FileName, strnlen(setup.FileName, sizeof setup.FileName));
    }

    static void Write(const std::string& name, const std::string& contents) {
        std::ofstream(name, std::ios::binary) << contents;
    }
    static std::string Read(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }
    static bool Exists(const std::string& name) {
        struct stat info;
        return stat(name.c_str(), &info) == 0;
    }
};

TEST_F(TransferSetupTest, GetBeforeAnySetAnswersNoNameAndBmp) {
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
        TW_SETUPFILEXFER setup = GetFile(msg);
        EXPECT_EQ(setup.FileName[0], '\0') << "msg " << msg << ": empty FileName";
        EXPECT_EQ(setup.Format, TWFF_BMP) << "msg " << msg;
        EXPECT_EQ(setup.VRefNum, 0) << "msg " << msg;
    }
}

TEST_F(TransferSetupTest, AcceptedNameIsLeftAsItIsAndReadBack) {
    Write("scan.tif", "an older picture");
    ASSERT_EQ(SetFile("scan.tif", TWFF_TIFF), TWRC_SUCCESS) << "MSG_SET DAT_SETUPFILEXFER TIFF";
    EXPECT_EQ(Read("scan.tif"), "an older picture") << "the file is kept until a transfer succeeds";
    TW_SETUPFILEXFER setup = GetFile();
    EXPECT_EQ(NameOf(setup), "scan.tif");
    EXPECT_EQ(setup.Format, TWFF_TIFF);
    EXPECT_EQ(GetCurrent(ICAP_IMAGEFILEFORMAT), TWFF_TIFF) << "the format is the capability's";

    ASSERT_EQ(SetFile("new.bmp", TWFF_BMP), TWRC_SUCCESS) << "MSG_SET DAT_SETUPFILEXFER BMP";
    EXPECT_FALSE(Exists("new.bmp")) << "made only by a transfer";
    EXPECT_EQ(GetFile().Format, TWFF_BMP);
}

TEST_F(TransferSetupTest, RefusedFormatKeepsTheUsersFileAndClearsTheName) {
    ASSERT_EQ(SetFile("first.tif", TWFF_TIFF), TWRC_SUCCESS);
    for (TW_UINT16 format : {TW_UINT16{TWFF_PICT}, TW_UINT16{3}, TW_UINT16{0xFFFF}}) {
        Write("letter.bmp", "the user's document");
        EXPECT_EQ(SetFile("letter.bmp", format), TWRC_FAILURE) << "MSG_SET DAT_SETUPFILEXFER format " << format;
        EXPECT_EQ(Status(), TWCC_BADVALUE) << "format " << format;
        EXPECT_EQ(Read("letter.bmp"), "the user's document") << "format " << format << ": the file is left alone";
        TW_SETUPFILEXFER setup = GetFile();
        EXPECT_EQ(NameOf(setup), "") << "format " << format << ": the name is cleared";
        EXPECT_EQ(setup.Format, TWFF_TIFF) << "format " << format << ": the format is kept";
    }
    EXPECT_FALSE(Exists("fresh.bmp"));
    EXPECT_EQ(SetFile("fresh.bmp", TWFF_PICT), TWRC_FAILURE);
    EXPECT_FALSE(Exists("fresh.bmp")) << "a refused format creates nothing";
}

TEST_F(TransferSetupTest, NamesThatCannotBeOpenedAreBadValue) {
    ASSERT_EQ(SetFile("kept.bmp", TWFF_BMP), TWRC_SUCCESS);
    for (const std::string& name : {std::string("no-such-folder/scan.bmp"), std::string(""), std::string(".")}) {
        EXPECT_EQ(SetFile(name, TWFF_BMP), TWRC_FAILURE) << "MSG_SET DAT_SETUPFILEXFER \"" << name << "\"";
        EXPECT_EQ(Status(), TWCC_BADVALUE) << "\"" << name << "\"";
        EXPECT_EQ(NameOf(GetFile()), "") << "\"" << name << "\": the earlier name is lost";
    }
    EXPECT_EQ(GetFile().Format, TWFF_BMP);
}

TEST_F(TransferSetupTest, NameOfFullLength) {
    const std::string name = std::string(251, 'n') + ".bmp";
    ASSERT_EQ(name.size(), 255u);
    ASSERT_EQ(SetFile(name, TWFF_BMP), TWRC_SUCCESS) << "MSG_SET DAT_SETUPFILEXFER, 255 characters";
    EXPECT_FALSE(Exists(name));
    TW_SETUPFILEXFER setup = GetFile();
    EXPECT_EQ(NameOf(setup), name);
    EXPECT_EQ(setup.FileName[255], '\0') << "terminated within the field";
}

// An application that fills the whole field leaves no terminating zero;
// the name ends at the field's 255th character, never beyond it.
TEST_F(TransferSetupTest, UnterminatedNameStopsAtTheField) {
    TW_SETUPFILEXFER setup;
    std::memset(setup.FileName, 'u', sizeof setup.FileName);
    setup.Format = TWFF_BMP;
    setup.VRefNum = 0x7777;
    ASSERT_EQ(Control(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS) << "MSG_SET DAT_SETUPFILEXFER unterminated";
    EXPECT_EQ(transferFileName, std::string(255, 'u'));
    EXPECT_EQ(NameOf(GetFile()), std::string(255, 'u'));
}

TEST_F(TransferSetupTest, NameOutlivesTheOpening) {
    ASSERT_EQ(SetFile("kept.tif", TWFF_TIFF), TWRC_SUCCESS);
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    TW_SETUPFILEXFER setup;
    EXPECT_EQ(Control(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_FAILURE) << "MSG_GET DAT_SETUPFILEXFER in 300";
    EXPECT_EQ(Status(), TWCC_SEQERROR);
    ASSERT_EQ(Open(), TWRC_SUCCESS);
    setup = GetFile();
    EXPECT_EQ(NameOf(setup), "kept.tif") << "the name survives MSG_CLOSEDS";
    EXPECT_EQ(setup.Format, TWFF_BMP) << "the format is a fresh capability";
}

TEST_F(TransferSetupTest, OtherFileMessagesAreBadProtocol) {
    for (TW_UINT16 msg : {MSG_GETFIRST, MSG_GETNEXT, MSG_RESET, TW_UINT16{0x7777}}) {
        TW_SETUPFILEXFER setup;
        std::memset(&setup, 'X', sizeof setup);
        EXPECT_EQ(Control(DAT_SETUPFILEXFER, msg, &setup), TWRC_FAILURE) << "msg " << msg << " DAT_SETUPFILEXFER";
        EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << "msg " << msg;
        EXPECT_EQ(setup.FileName[0], 'X') << "msg " << msg << ": nothing written";
    }
}

TEST_F(TransferSetupTest, MemoryBufferSizes) {
    TW_SETUPMEMXFER setup{kSentinel32, kSentinel32, kSentinel32};
    ASSERT_EQ(Control(DAT_SETUPMEMXFER, MSG_GET, &setup), TWRC_SUCCESS) << "MSG_GET DAT_SETUPMEMXFER";
    EXPECT_EQ(TW_UINT32{setup.MinBufSize}, 4096u);
    EXPECT_EQ(TW_UINT32{setup.MaxBufSize}, 64000u);
    EXPECT_EQ(TW_UINT32{setup.Preferred}, 16u * 3828u) << "whole rows of 150 dpi colour over the bed";
    for (TW_UINT16 msg : {MSG_GETCURRENT, MSG_GETDEFAULT, MSG_SET, MSG_RESET}) {
        TW_SETUPMEMXFER untouched{kSentinel32, kSentinel32, kSentinel32};
        EXPECT_EQ(Control(DAT_SETUPMEMXFER, msg, &untouched), TWRC_FAILURE) << "msg " << msg << " DAT_SETUPMEMXFER";
        EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << "msg " << msg << " DAT_SETUPMEMXFER";
        EXPECT_EQ(TW_UINT32{untouched.MinBufSize}, kSentinel32) << "msg " << msg;
    }
}

TEST_F(TransferSetupTest, TransferGroupIsAlwaysImage) {
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}) {
        TW_UINT32 group = kSentinel32;
        ASSERT_EQ(Control(DAT_XFERGROUP, msg, &group), TWRC_SUCCESS) << "msg " << msg << " DAT_XFERGROUP";
        EXPECT_EQ(group, DG_IMAGE) << "msg " << msg << ": all 32 bits written";
    }
    TW_UINT32 group = DG_CONTROL;
    ASSERT_EQ(Control(DAT_XFERGROUP, MSG_SET, &group), TWRC_SUCCESS) << "MSG_SET DAT_XFERGROUP DG_CONTROL";
    EXPECT_EQ(group, DG_CONTROL) << "MSG_SET leaves the value alone";
    ASSERT_EQ(Control(DAT_XFERGROUP, MSG_GET, &group), TWRC_SUCCESS);
    EXPECT_EQ(group, DG_IMAGE) << "MSG_SET changed nothing";
    for (TW_UINT16 msg : {MSG_GETFIRST, MSG_GETNEXT}) {
        TW_UINT32 untouched = kSentinel32;
        EXPECT_EQ(Control(DAT_XFERGROUP, msg, &untouched), TWRC_FAILURE) << "msg " << msg << " DAT_XFERGROUP";
        EXPECT_EQ(Status(), TWCC_BADPROTOCOL) << "msg " << msg;
        EXPECT_EQ(untouched, kSentinel32) << "msg " << msg;
    }
}

}  // namespace
