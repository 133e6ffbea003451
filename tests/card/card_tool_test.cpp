// `quillon card ...` against the virtual card.
#ifdef QUILLON_TOOL

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "quilloncrypto.h"
#include "support/binstr_holder.h"
#include "support/pkcs8_fixtures.h"
#include "support/virtual_card.h"

namespace {

using namespace quillon::test;

struct ToolRun {
    int status;
    std::string output;
};

ToolRun Tool(const std::string& arguments) {
    ToolRun run{-1, {}};
    FILE* pipe = popen((std::string(QUILLON_TOOL) + " card " + arguments + " 2>&1 </dev/null").c_str(), "r");
    if (!pipe) return run;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    run.status = pclose(pipe);
    return run;
}

std::string TempPath(const char* name) { return testing::TempDir() + "quillon_card_" + name; }

class CardTool : public VirtualCardTest {};

// A disk key file with its randomNum goes to the card and comes back in the same form.
TEST_F(CardTool, WritesAndReadsAKey) {
    const std::string pin = TempPath("key_pin"), password = TempPath("password"), out = TempPath("key.der"),
                      key = TempPath("disk_key.der");
    std::ofstream(pin) << VirtualCard::kPin << "\n";
    const std::string fixtures = std::string(QUILLON_FIXTURES) + "/pkcs8/";
    const std::string options = " --pin-file " + pin + " --password-file " + fixtures + "password.txt";
    Binstr plain(ReadPkcs8("rsa_attrs_plain.der")), encrypted;
    ASSERT_EQ(PRIKEY_Encrypt(kKeyPassword, &plain.b, &encrypted.b), QC_OK);
    std::ofstream(key, std::ios::binary).write(reinterpret_cast<const char*>(encrypted.b.data), encrypted.b.length);

    ToolRun run = Tool("write-key 1 " + key + options);
    EXPECT_EQ(run.status, 0) << run.output;
    run = Tool("read-key 1 " + out + options);
    EXPECT_EQ(run.status, 0) << run.output;
    run = Tool("write-key 2 " + out + options);  // what read-key gives is a disk key file
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(card().Record(1, 5, 1), card().Record(2, 5, 1));

    std::ofstream(password) << "wrong\n";
    run = Tool("read-key 1 " + out + " --pin-file " + pin + " --password-file " + password);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("error -13"), std::string::npos) << run.output;
    run = Tool("write-key 1 " + fixtures + "scheme73.der" + options);  // no randomNum
    EXPECT_NE(run.output.find("error -51"), std::string::npos) << run.output;
    std::remove(pin.c_str());
    std::remove(password.c_str());
    std::remove(out.c_str());
    std::remove(key.c_str());
}

}  // namespace

#endif
