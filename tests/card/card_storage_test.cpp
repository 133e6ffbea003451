// The record layout: where the object sits in a payload, what one file may yield, the
// random-number record, and the Le dialogue of READ RECORD.
#include <gtest/gtest.h>

#include "card/card_storage.h"
#include "card/card_transport.h"
#include "support/virtual_card.h"

namespace {

using namespace quillon;
using namespace quillon::test;

TEST(CardLayout, FindObject) {
    ByteVector length_30 = {0x00, 0x30, 0x30, 0x2E};  // the first 0x30 is a length byte
    length_30.resize(2 + 0x30, 0x5A);
    struct Case {
        const char* name;
        ByteVector payload;
        int found;
        size_t offset, size;
    };
    const Case cases[] = {
        {"after the two length bytes", length_30, 1, 2, 0x30},
        {"trailing padding", {0x00, 0x02, 0x30, 0x00, 0x00, 0x00}, 1, 2, 2},
        {"no length bytes: the first 0x30", {0x11, 0x22, 0x33, 0x30, 0x01, 0x05}, 1, 3, 3},
        {"no 0x30", {0x00, 0x05, 0x31, 0x03, 0x02, 0x01, 0x05}, 0, 0, 0},
        {"object past the payload", {0x00, 0x10, 0x30, 0x0E, 0x02, 0x01}, 0, 0, 0},
        {"header past the payload", {0x00, 0x10, 0x30, 0x82, 0x01}, 0, 0, 0},
        {"empty", {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        size_t offset = 0, size = 0;
        EXPECT_EQ(CARD_FindObject(c.payload.data(), c.payload.size(), &offset, &size), c.found) << c.name;
        EXPECT_EQ(offset, c.offset) << c.name;
        EXPECT_EQ(size, c.size) << c.name;
    }
}


class CardStorage : public VirtualCardTest {
protected:
    void SetUp() override {
        VirtualCardTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(CARD_Bind(&connection), 1);
        ASSERT_EQ(CARD_Connect(&connection), 1);
        Ready(VirtualCard::kDefaultRecords);
    }
    void TearDown() override { EXPECT_EQ(CARD_Close(&connection), 1); }

    // A fresh card with files of `records` records, PIN verified.
    void Ready(size_t records) {
        card().Reset(records);
        ASSERT_EQ(CARD_VerifyPin(&connection, VirtualCard::kPin, nullptr), CardError::kNone);
    }
    CardError Write(int slot, size_t size, uint8_t fill) {
        ByteVector der = {0x30, 0x82, static_cast<uint8_t>((size - 4) >> 8), static_cast<uint8_t>(size - 4)};
        der.resize(size, fill);
        return CARD_WriteObject(&connection, slot, kCardCertFile, der.data(), der.size());
    }
    CardConnection connection;
};

// The random-number file's records are 42 bytes: asked for 52, the card answers 6C 2A and the
// record is asked for again with Le 2A, which stays in force.
TEST_F(CardStorage, ReadRecordTakesTheLengthTheCardAsksFor) {
    ASSERT_EQ(CARD_SelectSlotFile(&connection, 2, kCardRandomFile), CardError::kNone);
    uint8_t le = 0x34;
    CardResponse response;
    ASSERT_EQ(CARD_ReadRecord(&connection, 1, &le, &response), 1);
    EXPECT_EQ(CARD_StatusWord(response), 0x9000);
    EXPECT_EQ(CARD_DataLength(response), 42u);
    EXPECT_EQ(le, 0x2A);
    const auto log = card().Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], (ByteVector{0x00, 0xB2, 0x01, 0x04, 0x34}));
    EXPECT_EQ(log.back(), (ByteVector{0x00, 0xB2, 0x01, 0x04, 0x2A}));
}

}  // namespace
