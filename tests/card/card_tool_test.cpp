// `quillon card ...` against the virtual card.
#ifdef QUILLON_TOOL

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

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

ByteVector ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CardTool : public VirtualCardTest {};

TEST_F(CardTool, ListsWritesAndReads) {
    const std::string pin = TempPath("pin"), wrong = TempPath("wrong_pin"), out = TempPath("out.der");
    std::ofstream(pin) << VirtualCard::kPin << "\n";
    std::ofstream(wrong) << "87654321\n";
    const std::string cert = std::string(QUILLON_FIXTURES) + "/card/user_4096.der";

    ToolRun run = Tool("list");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("Virtual PCD"), 0u) << run.output;

    run = Tool("write-cert 2 " + cert + " --pin-file " + pin);
    EXPECT_EQ(run.status, 0) << run.output;
    run = Tool("read-cert 2 " + out + " --pin-file " + pin);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadFile(out), ReadFile(cert));

    run = Tool("read-cert 2 " + out + " --pin-file " + wrong);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("error -103"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("2 more tries"), std::string::npos) << run.output;
    // No terminal and no PIN file: nothing reaches the card.
    const size_t sent = card().Log().size();
    run = Tool("read-cert 1 " + out);
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(card().Log().size(), sent);
    std::remove(pin.c_str());
    std::remove(wrong.c_str());
    std::remove(out.c_str());
}

}  // namespace

#endif
