// MEDIA_CARD_* through pcscd, the virtual reader and the virtual card.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "card/card_transport.h"
#include "quilloncrypto.h"
#include "support/alloc_fault.h"
#include "support/binstr_holder.h"
#include "support/fixture_file.h"
#include "support/virtual_card.h"

namespace {

using namespace quillon::test;

constexpr const char* kPin = VirtualCard::kPin;

// A DER SEQUENCE of exactly `size` bytes (size >= 4 + 128 uses two length bytes).
ByteVector Sequence(size_t size) {
    ByteVector der;
    if (size < 2 + 128) {
        der = {0x30, static_cast<uint8_t>(size - 2)};
    } else {
        const size_t contents = size - 4;
        der = {0x30, 0x82, static_cast<uint8_t>(contents >> 8), static_cast<uint8_t>(contents)};
    }
    for (size_t i = der.size(); i < size; ++i) der.push_back(static_cast<uint8_t>(i * 7 + 1));
    return der;
}

class MediaCard : public VirtualCardTest {};

// Refused arguments send nothing to the card.
TEST_F(MediaCard, RefusesArgumentsBeforeSendingAnything) {
    Binstr cert(Sequence(100)), too_long(Sequence(254 * 50 - 1)), empty, out;
    struct Case {
        const char* name;
        int32_t result;
        int32_t expected;
    };
    const Case cases[] = {
        {"write: null PIN", MEDIA_CARD_WriteCert(1, nullptr, &cert.b, nullptr), 0},
        {"write: null certificate", MEDIA_CARD_WriteCert(1, kPin, nullptr, nullptr), 0},
        {"write: empty certificate", MEDIA_CARD_WriteCert(1, kPin, &empty.b, nullptr), 0},
        {"write: slot 0", MEDIA_CARD_WriteCert(0, kPin, &cert.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"write: slot 3", MEDIA_CARD_WriteCert(3, kPin, &cert.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"write: more than 254 records", MEDIA_CARD_WriteCert(1, kPin, &too_long.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"write: 7-character PIN", MEDIA_CARD_WriteCert(1, "1234567", &cert.b, nullptr), QC_ERR_PIN},
        {"write: 9-character PIN", MEDIA_CARD_WriteCert(1, "123456789", &cert.b, nullptr), QC_ERR_PIN},
        {"read: null PIN", MEDIA_CARD_ReadCert(1, nullptr, &out.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"read: null out", MEDIA_CARD_ReadCert(1, kPin, nullptr, nullptr), QC_ERR_NULL_ARGUMENT},
        {"read: slot -1", MEDIA_CARD_ReadCert(-1, kPin, &out.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"read: empty PIN", MEDIA_CARD_ReadCert(2, "", &out.b, nullptr), QC_ERR_PIN},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
    EXPECT_TRUE(card().Log().empty());
    EXPECT_EQ(card().TriesLeft(), VirtualCard::kPinTries);
    EXPECT_EQ(out.b.data, nullptr);
}

TEST_F(MediaCard, AllocationFailures) {
    const ByteVector der = FixtureBytes("certs/user_utf8.der");
    Binstr cert(der);
    WalkAllocationFailures([&] { return MEDIA_CARD_WriteCert(1, kPin, &cert.b, nullptr); },
                           [](bool fired, int32_t result) { EXPECT_EQ(result, fired ? QC_ERR_ALLOC : QC_OK); });
    WalkAllocationFailures(
        [&] {
            Binstr out;
            const int32_t result = MEDIA_CARD_ReadCert(1, kPin, &out.b, nullptr);
            if (result == QC_OK) {
                EXPECT_EQ(out.bytes(), der);
            }
            return result;
        },
        [](bool fired, int32_t result) { EXPECT_EQ(result, fired ? QC_ERR_ALLOC : QC_OK); });
}

// What a card may answer that is not what the layout promises. (An empty answer cannot be
// sent: to the reader, a message of length 0 means the card left.)
TEST_F(MediaCard, CardAnsweringGarbage) {
    using Reply = std::optional<ByteVector>;
    const auto on = [](uint8_t ins, ByteVector reply) {
        return [ins, reply](const ByteVector& apdu) -> Reply { return apdu[1] == ins ? Reply(reply) : std::nullopt; };
    };
    ByteVector no_der(52, 0x11), long_der(52, 0);
    no_der[0] = 1, no_der[1] = 0x32;
    long_der[0] = 1, long_der[1] = 0x32, long_der[2] = 0x00, long_der[3] = 0x80, long_der[4] = 0x30, long_der[5] = 0x7E;
    struct Case {
        const char* name;
        VirtualCard::Fault fault;
        ByteVector record1;  // when not empty: record 1 of the certificate file
        int32_t read, write;
    };
    const Case cases[] = {
        {"one-byte response", [](const ByteVector&) { return Reply(ByteVector{0x90}); }, {}, QC_ERR_CARD_TRANSMIT, QC_ERR_CARD_TRANSMIT},
        {"one byte after the PIN", [](const ByteVector& a) { return a[1] == 0x20 ? std::nullopt : Reply(ByteVector{0x90}); }, {},
         QC_ERR_CARD_TRANSMIT, QC_ERR_CARD_TRANSMIT},
        {"odd VERIFY status", on(0x20, {0x6A, 0x80}), {}, QC_ERR_PIN, QC_ERR_PIN},
        {"master file refused", [](const ByteVector& a) { return a.size() == 4 && a[1] == 0xA4 ? Reply(ByteVector{0x6A, 0x82}) : std::nullopt; },
         {}, QC_ERR_CARD_SELECT_MF, QC_ERR_CARD_SELECT_MF},
        {"record without its count", on(0xB2, {0x01, 0x90, 0x00}), {}, QC_ERR_CARD_TRANSMIT, QC_OK},
        {"record count past its data", on(0xB2, {0x01, 0x05, 0x30, 0x00, 0x90, 0x00}), {}, QC_ERR_CARD_TRANSMIT, QC_OK},
        {"Le corrected forever", on(0xB2, {0x6C, 0x2A}), {}, QC_ERR_CARD_TRANSMIT, QC_OK},
        {"update refused", on(0xDC, {0x6A, 0x84}), {}, QC_ERR_MALFORMED_DER, QC_ERR_CARD_TRANSMIT},
        {"no 0x30 in the file", nullptr, no_der, QC_ERR_MALFORMED_DER, QC_OK},
        {"object longer than the file", nullptr, long_der, QC_ERR_MALFORMED_DER, QC_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        card().Reset(3);
        if (!c.record1.empty()) card().SetRecord(1, 4, 1, c.record1);
        card().SetFault(c.fault);
        Binstr out, cert(Sequence(60));
        int32_t tries = -1;
        EXPECT_EQ(MEDIA_CARD_ReadCert(1, kPin, &out.b, &tries), c.read);
        EXPECT_EQ(out.b.data, nullptr);
        EXPECT_EQ(MEDIA_CARD_WriteCert(1, kPin, &cert.b, &tries), c.write);
        EXPECT_EQ(tries, -1);
    }
}

// Run by the tests labelled card.no_reader (a pcscd without readers) and card.no_service
// (no pcscd at all): both are failures of the PC/SC service, after the arguments are checked.
void ExpectServiceFailure() {
    Binstr cert(Sequence(100)), out;
    int32_t tries = -1;
    EXPECT_EQ(MEDIA_CARD_ReadCert(1, kPin, &out.b, &tries), QC_ERR_PCSC);
    EXPECT_EQ(MEDIA_CARD_WriteCert(2, kPin, &cert.b, &tries), QC_ERR_PCSC);
    EXPECT_EQ(MEDIA_CARD_ReadCert(1, nullptr, &out.b, &tries), QC_ERR_NULL_ARGUMENT);
    EXPECT_EQ(tries, -1);
    EXPECT_EQ(out.b.data, nullptr);
    quillon::Bytes readers;
    EXPECT_EQ(quillon::CARD_ListReaders(&readers), 0);
}

TEST(CardNoReader, ExportsReportThePcscFailure) { ExpectServiceFailure(); }
TEST(CardNoService, ExportsReportThePcscFailure) { ExpectServiceFailure(); }

}  // namespace
