// The card transport against the virtual card: the Le dialogue of READ RECORD.
#include <gtest/gtest.h>

#include "card/card_storage.h"
#include "card/card_transport.h"
#include "quilloncrypto.h"
#include "support/virtual_card.h"

namespace {

using namespace quillon;
using namespace quillon::test;

class CardTransport : public VirtualCardTest {
protected:
    void SetUp() override {
        VirtualCardTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(CARD_Bind(&connection), QC_OK);
        ASSERT_EQ(CARD_Connect(&connection), QC_OK);
    }
    void TearDown() override { EXPECT_EQ(CARD_Close(&connection, QC_OK), QC_OK); }
    CardConnection connection;
};

// The random-number file's records are 42 bytes: asked for 52, the card answers 6C 2A and the
// record is asked for again with Le 2A, which stays in force.
TEST_F(CardTransport, ReadRecordTakesTheLengthTheCardAsksFor) {
    ASSERT_EQ(CARD_VerifyPin(&connection, VirtualCard::kPin, nullptr), QC_OK);
    ASSERT_EQ(CARD_SelectSlotFile(&connection, 2, kCardRandomFile), QC_OK);
    uint8_t le = 0x34;
    CardResponse response;
    ASSERT_EQ(CARD_ReadRecord(&connection, 1, &le, &response), QC_OK);
    EXPECT_EQ(CARD_StatusWord(response), 0x9000);
    EXPECT_EQ(CARD_DataLength(response), 42u);
    EXPECT_EQ(le, 0x2A);
    const auto log = card().Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], (ByteVector{0x00, 0xB2, 0x01, 0x04, 0x34}));
    EXPECT_EQ(log.back(), (ByteVector{0x00, 0xB2, 0x01, 0x04, 0x2A}));
}

TEST_F(CardTransport, ReadRecordsKeepsTheCorrectedLengthForLaterRecords) {
    card().Reset(3);
    for (size_t n = 1; n <= 3; ++n) {
        ByteVector record(60, static_cast<uint8_t>(0x40 + n));
        record[0] = static_cast<uint8_t>(n);
        record[1] = 58;
        card().SetRecord(1, kCardCertFile, n, record);
    }
    ASSERT_EQ(CARD_VerifyPin(&connection, VirtualCard::kPin, nullptr), QC_OK);
    ASSERT_EQ(CARD_SelectSlotFile(&connection, 1, kCardCertFile), QC_OK);
    Bytes payload;
    ASSERT_EQ(CARD_ReadRecords(&connection, kCardPayloadCapacity, &payload), QC_OK);
    ASSERT_EQ(payload.size(), 3u * 58);
    EXPECT_EQ(payload[0], 0x41);
    EXPECT_EQ(payload.back(), 0x43);
    std::vector<ByteVector> reads;
    for (const auto& apdu : card().Log())
        if (apdu[1] == 0xB2) reads.push_back(apdu);
    const std::vector<ByteVector> expected = {
        {0x00, 0xB2, 1, 0x04, 0x34}, {0x00, 0xB2, 1, 0x04, 0x3C}, {0x00, 0xB2, 2, 0x04, 0x3C},
        {0x00, 0xB2, 3, 0x04, 0x3C}, {0x00, 0xB2, 4, 0x04, 0x3C},  // 6A 83 ends the file
    };
    EXPECT_EQ(reads, expected);
}

}  // namespace
