#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/pcsc.h"
#include "quilloncrypto.h"

namespace {

using namespace quillon;

std::string CommandOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    EXPECT_EQ(pclose(pipe), 0) << command;
    return out;
}

// Pointing the binding at another file name stands in for a machine without PC/SC.
struct LibraryName {
    explicit LibraryName(const char* name) { PCSC_SetLibraryName(name); }
    ~LibraryName() { PCSC_SetLibraryName(nullptr); }
};

TEST(Pcsc, BindsEveryEntryPointOfThePlatformLibrary) {
    PcscLibrary library;
    ASSERT_EQ(PCSC_Load(&library), 1);
    EXPECT_NE(library.module, nullptr);
    EXPECT_TRUE(library.establish_context && library.list_readers && library.connect && library.transmit &&
                library.disconnect && library.release_context && library.t0_pci && library.t1_pci);
    EXPECT_EQ(library.t0_pci->dwProtocol, static_cast<decltype(library.t0_pci->dwProtocol)>(SCARD_PROTOCOL_T0));
    PCSC_Unload(&library);
    EXPECT_EQ(library.module, nullptr);
}

// The shared library names no PC/SC library and no PC/SC symbol: it loads without one.
TEST(Pcsc, SharedLibraryDoesNotLinkThePcscLibrary) {
    const std::string needed = CommandOutput(std::string("readelf -d ") + QUILLON_SHARED_LIBRARY);
    EXPECT_NE(needed.find("NEEDED"), std::string::npos);
    EXPECT_EQ(needed.find("pcsc"), std::string::npos) << needed;
    const std::string undefined = CommandOutput(std::string("nm -D --undefined-only ") + QUILLON_SHARED_LIBRARY);
    EXPECT_EQ(undefined.find("SCard"), std::string::npos) << undefined;
}

// A missing library, and a library that lacks the entry points: the card exports give -100
// before looking at their arguments, and the rest of the library works as ever.
TEST(Pcsc, CardExportsFailCleanlyWithoutThePcscLibrary) {
    for (const char* name : {"libquillon-no-such-pcsc.so.1", "libc.so.6"}) {
        SCOPED_TRACE(name);
        LibraryName missing(name);
        PcscLibrary library;
        EXPECT_EQ(PCSC_Load(&library), 0);
        EXPECT_EQ(library.module, nullptr);

        BINSTR out, certificate;
        BINSTR_Create(&out);
        BINSTR_Create(&certificate);
        static const unsigned char kDer[] = {0x30, 0x00};
        ASSERT_EQ(BINSTR_SetData(kDer, sizeof kDer, &certificate), QC_OK);
        int32_t tries = -7;
        EXPECT_EQ(MEDIA_CARD_ReadCert(1, "12345678", &out, &tries), QC_ERR_PCSC);
        EXPECT_EQ(MEDIA_CARD_ReadCert(1, nullptr, nullptr, nullptr), QC_ERR_PCSC);
        EXPECT_EQ(MEDIA_CARD_WriteCert(1, "12345678", &certificate, &tries), QC_ERR_PCSC);
        EXPECT_EQ(MEDIA_CARD_WriteCert(9, nullptr, nullptr, nullptr), QC_ERR_PCSC);
        EXPECT_EQ(tries, -7);
        EXPECT_EQ(out.data, nullptr);

        BINSTR encoded;
        BINSTR_Create(&encoded);
        EXPECT_EQ(BASE64_Encode(&certificate, &encoded), 4);
        BINSTR_Delete(&encoded);
        BINSTR_Delete(&certificate);
    }
}

}  // namespace
