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

TEST(CardLayout, RandomRecord) {
    uint8_t random[kCardRandomSize], back[kCardRandomSize], record[kCardRandomRecordSize];
    for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<uint8_t>(0xA0 + i);
    CARD_BuildRandomRecord(random, record);
    ByteVector expected = {0x01, 0x28, 0x00, 0x14};
    expected.insert(expected.end(), random, random + sizeof random);
    expected.resize(kCardRandomRecordSize, 0);
    EXPECT_EQ(ByteVector(record, record + sizeof record), expected);

    ASSERT_EQ(CARD_ParseRandomRecord(record, sizeof record, back), 1);
    EXPECT_EQ(ByteVector(back, back + sizeof back), ByteVector(random, random + sizeof random));
    EXPECT_EQ(CARD_ParseRandomRecord(record, 23, back), 0);  // one byte short of the value
    record[3] = 0x13;
    EXPECT_EQ(CARD_ParseRandomRecord(record, sizeof record, back), 0);
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

// Records past a shorter object keep the longer one's bytes; the object's own length decides.
TEST_F(CardStorage, ShorterObjectOverALongerOne) {
    ASSERT_EQ(Write(1, 2000, 0xEE), CardError::kNone);
    ASSERT_EQ(Write(1, 1400, 0x77), CardError::kNone);
    EXPECT_EQ(card().Record(1, kCardCertFile, 40)[2], 0xEE);
    Bytes der;
    ASSERT_EQ(CARD_ReadObject(&connection, 1, kCardCertFile, &der), CardError::kNone);
    ASSERT_EQ(der.size(), 1400u);
    EXPECT_EQ(der.back(), 0x77);
}

// What a file yields is bounded: exactly at the capacity it is read, one byte over refused.
TEST_F(CardStorage, CollectionStopsAtItsCapacity) {
    Ready(3);
    ASSERT_EQ(Write(2, 148, 0x11), CardError::kNone);  // 150 payload bytes: three whole records
    ASSERT_EQ(CARD_SelectSlotFile(&connection, 2, kCardCertFile), CardError::kNone);
    Bytes payload;
    EXPECT_EQ(CARD_ReadRecords(&connection, 150, &payload), CardError::kNone);
    EXPECT_EQ(payload.size(), 150u);
    EXPECT_EQ(CARD_ReadRecords(&connection, 149, &payload), CardError::kNoObject);
    EXPECT_LE(payload.size(), 149u);
}

// Record numbers end at 254: a file with more records is read no further.
TEST_F(CardStorage, ReadingEndsAtTheLastRecordNumber) {
    Ready(260);
    for (size_t n = 1; n <= 260; ++n) {
        ByteVector record(52, 0x22);
        record[0] = static_cast<uint8_t>(n);
        record[1] = 0x32;
        card().SetRecord(1, kCardCertFile, n, record);
    }
    ASSERT_EQ(CARD_SelectSlotFile(&connection, 1, kCardCertFile), CardError::kNone);
    Bytes payload;
    ASSERT_EQ(CARD_ReadRecords(&connection, kCardPayloadCapacity, &payload), CardError::kNone);
    EXPECT_EQ(payload.size(), 254u * 50);
    EXPECT_EQ(card().Log().back(), (ByteVector{0x00, 0xB2, 0xFE, 0x04, 0x34}));
}

TEST_F(CardStorage, RandomNumberInBothSlots) {
    for (int slot = 1; slot <= 2; ++slot) {
        SCOPED_TRACE(slot);
        uint8_t random[kCardRandomSize], back[kCardRandomSize] = {};
        for (size_t i = 0; i < sizeof random; ++i) random[i] = static_cast<uint8_t>(slot * 16 + i);
        bool found = true;
        ASSERT_EQ(CARD_ReadRandomNumber(&connection, slot, back, &found), CardError::kNone);
        EXPECT_FALSE(found);  // a blank record holds none

        ASSERT_EQ(CARD_WriteRandomNumber(&connection, slot, random), CardError::kNone);
        uint8_t record[kCardRandomRecordSize];
        CARD_BuildRandomRecord(random, record);
        EXPECT_EQ(card().Record(slot, kCardRandomFile, 1), ByteVector(record, record + sizeof record));
        ASSERT_EQ(CARD_ReadRandomNumber(&connection, slot, back, &found), CardError::kNone);
        EXPECT_TRUE(found);
        EXPECT_EQ(ByteVector(back, back + sizeof back), ByteVector(random, random + sizeof random));
    }
}

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

TEST_F(CardStorage, ReadRecordsKeepsTheCorrectedLengthForLaterRecords) {
    card().Reset(3);
    for (size_t n = 1; n <= 3; ++n) {
        ByteVector record(60, static_cast<uint8_t>(0x40 + n));
        record[0] = static_cast<uint8_t>(n);
        record[1] = 58;
        card().SetRecord(1, kCardCertFile, n, record);
    }
    ASSERT_EQ(CARD_VerifyPin(&connection, VirtualCard::kPin, nullptr), CardError::kNone);
    ASSERT_EQ(CARD_SelectSlotFile(&connection, 1, kCardCertFile), CardError::kNone);
    Bytes payload;
    ASSERT_EQ(CARD_ReadRecords(&connection, kCardPayloadCapacity, &payload), CardError::kNone);
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
