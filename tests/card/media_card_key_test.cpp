// MEDIA_CARD_WritePriKey / MEDIA_CARD_ReadPriKey through pcscd, the virtual reader and the
// virtual card: the two files a key occupies, the disk form rebuilt on reading, and the keys
// refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "quilloncrypto.h"
#include "support/alloc_fault.h"
#include "support/binstr_holder.h"
#include "support/fixture_file.h"
#include "support/openssl_peer.h"
#include "support/pkcs8_fixtures.h"
#include "support/virtual_card.h"

namespace {

using namespace quillon::test;

constexpr const char* kPin = VirtualCard::kPin;

const ByteVector kRandomNumOid = {0x06, 0x0A, 0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x0A, 0x01, 0x01, 0x03};
const ByteVector kFriendlyName = Tlv(0x30, Concat({{0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x14},
                                                  Tlv(0x31, {0x1E, 0x02, 0xD0, 0xA4})}));

ByteVector RandomBytes(size_t n) {
    ByteVector r(n);
    for (size_t i = 0; i < n; ++i) r[i] = static_cast<uint8_t>(0xC0 + i);
    return r;
}

// randomNum with one value: `tag` 03 gets the unused-bits octet before the bytes.
ByteVector RandomAttribute(const ByteVector& random, uint8_t tag = 0x03) {
    ByteVector contents = tag == 0x03 ? Concat({{0x00}, random}) : random;
    return Tlv(0x30, Concat({kRandomNumOid, Tlv(0x31, Tlv(tag, contents))}));
}

// The 2048-bit fixture key (user_plain.der) with the given attributes.
ByteVector KeyWith(const ByteVector& attributes) {
    const ByteVector plain = ReadPkcs8("user_plain.der");
    ByteVector body(plain.begin() + 4, plain.end());
    if (!attributes.empty()) body = Concat({body, Tlv(0xA0, attributes)});
    return Tlv(0x30, body);
}

ByteVector Truncated(ByteVector bytes) {
    bytes.pop_back();
    return bytes;
}

ByteVector Decrypt(const ByteVector& encrypted, const char* password = kKeyPassword) {
    Binstr in(encrypted), out;
    EXPECT_EQ(PRIKEY_Decrypt(password, &in.b, &out.b), QC_OK);
    return out.bytes();
}

class MediaCardKeys : public VirtualCardTest {};

// Keys refused with nothing written: the card sees the PIN (or nothing) and no SELECT or UPDATE.
TEST_F(MediaCardKeys, RefusedBeforeAnythingIsWritten) {
    const ByteVector random = RandomBytes(20);
    struct Case {
        const char* name;
        ByteVector key;
        int32_t expected;
    };
    const Case keys[] = {
        {"no attributes", ReadPkcs8("user_plain.der"), QC_ERR_MALFORMED_DER},
        {"randomNum not first", KeyWith(Concat({kFriendlyName, RandomAttribute(random)})), QC_ERR_MALFORMED_DER},
        {"randomNum of 19 bytes", KeyWith(RandomAttribute(RandomBytes(19))), QC_ERR_MALFORMED_DER},
        {"randomNum as OCTET STRING", KeyWith(RandomAttribute(RandomBytes(21), 0x04)), QC_ERR_MALFORMED_DER},
        {"encrypted key", ReadPkcs8("scheme73.der"), QC_ERR_MALFORMED_DER},
        {"truncated", Truncated(KeyWith(RandomAttribute(random))), QC_ERR_MALFORMED_DER},
    };
    for (const Case& c : keys) {
        card().Reset(3);
        Binstr in(c.key);
        EXPECT_EQ(MEDIA_CARD_WritePriKey(1, kPin, kKeyPassword, &in.b, nullptr), c.expected) << c.name;
        EXPECT_EQ(card().Log().size(), 1u) << c.name;  // VERIFY only
    }
    card().Reset(3);
    Binstr key(KeyWith(RandomAttribute(random))), out;
    int32_t tries = -1;
    const struct {
        const char* name;
        int32_t result, expected;
    } args[] = {
        {"write: null PIN", MEDIA_CARD_WritePriKey(1, nullptr, kKeyPassword, &key.b, nullptr), 0},
        {"write: null password", MEDIA_CARD_WritePriKey(1, kPin, nullptr, &key.b, nullptr), 0},
        {"write: null key", MEDIA_CARD_WritePriKey(1, kPin, kKeyPassword, nullptr, nullptr), 0},
        {"write: empty key", MEDIA_CARD_WritePriKey(1, kPin, kKeyPassword, &out.b, nullptr), 0},
        {"write: slot 3", MEDIA_CARD_WritePriKey(3, kPin, kKeyPassword, &key.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"read: null PIN", MEDIA_CARD_ReadPriKey(1, nullptr, kKeyPassword, &out.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"read: null password", MEDIA_CARD_ReadPriKey(1, kPin, nullptr, &out.b, nullptr), QC_ERR_NULL_ARGUMENT},
        {"read: null out", MEDIA_CARD_ReadPriKey(1, kPin, kKeyPassword, nullptr, nullptr), QC_ERR_NULL_ARGUMENT},
        {"read: slot 0", MEDIA_CARD_ReadPriKey(0, kPin, kKeyPassword, &out.b, nullptr), QC_ERR_NULL_ARGUMENT},
    };
    for (const auto& c : args) EXPECT_EQ(c.result, c.expected) << c.name;
    EXPECT_TRUE(card().Log().empty());
    EXPECT_EQ(MEDIA_CARD_WritePriKey(1, "87654321", kKeyPassword, &key.b, &tries), QC_ERR_PIN);
    EXPECT_EQ(tries, VirtualCard::kPinTries - 1);
    EXPECT_EQ(card().Log().size(), 1u);
    // An empty key file holds no EncryptedPrivateKeyInfo.
    EXPECT_EQ(MEDIA_CARD_ReadPriKey(2, kPin, kKeyPassword, &out.b, nullptr), QC_ERR_MALFORMED_DER);
    EXPECT_EQ(out.b.data, nullptr);
}

TEST_F(MediaCardKeys, AllocationFailures) {
    const ByteVector random = RandomBytes(20);
    Binstr key(KeyWith(RandomAttribute(random)));
    const auto check = [](bool fired, int32_t result) {
        if (!fired) {
            EXPECT_EQ(result, QC_OK);
        } else {
            EXPECT_TRUE(result == QC_ERR_ALLOC || result == QC_ERR_MALFORMED_DER || result == QC_ERR_DECRYPT_KEY ||
                        result == QC_ERR_ENCODE_EMPTY || result == QC_ERR_KEY_INVALID || result == QC_ERR_ENCRYPT_KEY)
                << result;
        }
    };
    WalkAllocationFailures([&] { return MEDIA_CARD_WritePriKey(2, kPin, kKeyPassword, &key.b, nullptr); }, check);
    ASSERT_EQ(MEDIA_CARD_WritePriKey(2, kPin, kKeyPassword, &key.b, nullptr), QC_OK);
    ByteVector read;
    WalkAllocationFailures(
        [&] {
            Binstr out;
            const int32_t result = MEDIA_CARD_ReadPriKey(2, kPin, kKeyPassword, &out.b, nullptr);
            read = out.bytes();
            return result;
        },
        check);
    EXPECT_EQ(Decrypt(read), KeyWith(RandomAttribute(random)));
}

}  // namespace
