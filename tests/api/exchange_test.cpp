// The exchange session against an independent phone written with OpenSSL alone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "exchange/cert_exchange.h"
#include "core/mem.h"
#include "bignum/bignum.h"
#include "quilloncrypto.h"
#include "rsa/rsa_crypt.h"
#include "rsa/rsa_key.h"
#include "support/openssl_peer.h"
#include "support/random_bytes.h"

namespace {

using quillon::test::ByteVec;
using quillon::test::Concat;
using quillon::test::OpenSslPhone;
using quillon::test::Tlv;

constexpr char kCode[] = "1234567890123455";

quillon::CertExchangeSession* Internal(CertExchangeSession* s) {
    return reinterpret_cast<quillon::CertExchangeSession*>(s);
}

struct SessionCloser {
    void operator()(CertExchangeSession* s) const { CloseCertExchangeSession(s); }
};
using Session = std::unique_ptr<CertExchangeSession, SessionCloser>;

ByteVec ModulusOf(CertExchangeSession* session) {
    ByteVec n(128);
    quillon::BIGNUM_ToBytes(Internal(session)->rsa_key->n, n.data());
    return n;
}

ByteVec TakeMessage(CesMessage* message, int32_t length) {
    ByteVec bytes(message, message + length);
    FreeCesMessage(message);
    return bytes;
}

ByteVec PublicKeyMessage(CertExchangeSession* session, const char* code = kCode) {
    CesMessage* message = nullptr;
    const int32_t length = GetCertExchangePublicKey(session, code, &message);
    if (length <= 0) return {};
    return TakeMessage(message, length);
}

ByteVec Encrypt(CertExchangeSession* session, const ByteVec& cert, const ByteVec& key) {
    CesMessage* message = nullptr;
    const int32_t length = EncryptCertExchange(session, &message, cert.data(), static_cast<int32_t>(cert.size()),
                                               key.data(), static_cast<int32_t>(key.size()));
    if (length <= 0) return {};
    return TakeMessage(message, length);
}

// A session keyed by the OpenSSL phone, and the phone itself.
struct Exchange {
    Session session{CreateCertExchangeSession()};
    OpenSslPhone phone{kCode};

    explicit Exchange(const ByteVec& session_key = ByteVec(16, 0x5A)) {
        const ByteVec message = PublicKeyMessage(session.get());
        const auto modulus = phone.ReadPublicKeyMessage(message);
        if (!modulus) throw std::runtime_error("no modulus");
        const ByteVec reply = phone.MakeSessionKeyMessage(*modulus, session_key);
        if (SetCertExchangeSessionKey(session.get(), reply.data(), static_cast<int32_t>(reply.size())) != 1)
            throw std::runtime_error("session key refused");
    }
};

ByteVec Bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    return quillon::test::SeededBytes(rng, n);
}

// A host may pass the code as a bare 16-byte array: under ASan, a read of the byte after it fails.
std::unique_ptr<char[]> UnterminatedCode(const char* code = kCode) {
    std::unique_ptr<char[]> bytes(new char[16]);
    std::memcpy(bytes.get(), code, 16);
    return bytes;
}

TEST(ExchangePublicKey, RefusedCallsMakeNoKey) {
    Session session(CreateCertExchangeSession());
    CesMessage* message = nullptr;
    EXPECT_EQ(GetCertExchangePublicKey(session.get(), UnterminatedCode("1234567890123456").get(), &message), 0);
    EXPECT_EQ(GetCertExchangePublicKey(session.get(), nullptr, &message), 0);
    EXPECT_EQ(GetCertExchangePublicKey(nullptr, kCode, &message), 0);
    EXPECT_EQ(GetCertExchangePublicKey(session.get(), kCode, nullptr), 0);
    EXPECT_EQ(message, nullptr);
    EXPECT_EQ(Internal(session.get())->rsa_key, nullptr);
}

TEST(ExchangeSessionKey, RefusedMessagesKeepTheCurrentKey) {
    Exchange exchange(ByteVec(16, 0x11));
    CertExchangeSession* session = exchange.session.get();
    const auto items = *quillon::test::ReadItems(exchange.phone.MakeSessionKeyMessage(
        ModulusOf(session),
        ByteVec(16, 0x22)));
    const ByteVec good_item = Tlv(0x04, items[1].contents);
    const ByteVec refused[] = {
        Tlv(0x30, good_item),                                                    // one item
        Tlv(0x30, Concat({Tlv(0x02, {0}), good_item, Tlv(0x05, {})})),           // three items
        Tlv(0x30, Concat({Tlv(0x02, {0}), Tlv(0x02, items[1].contents)})),       // item 1 not an OCTET STRING
        Tlv(0x30, Concat({Tlv(0x02, {0}), Tlv(0x04, ByteVec(128, 0x01))})),      // not a type 2 block
    };
    for (size_t i = 0; i < std::size(refused); ++i) {
        EXPECT_EQ(SetCertExchangeSessionKey(session, refused[i].data(), static_cast<int32_t>(refused[i].size())), 0)
            << i;
        EXPECT_EQ(Internal(session)->session_key_length, 16u);
        EXPECT_EQ(Internal(session)->session_key[0], 0x11);
    }
    // A key longer than the MAC key's working copy holds is refused when it is set.
    const ByteVec long_key = exchange.phone.MakeSessionKeyMessage(
        ModulusOf(session),
        ByteVec(49, 0x33));
    EXPECT_EQ(SetCertExchangeSessionKey(session, long_key.data(), static_cast<int32_t>(long_key.size())), 0);
    EXPECT_EQ(Internal(session)->session_key_length, 16u);
    // A good message replaces the key.
    const ByteVec good = Tlv(0x30, Concat({Tlv(0x02, {0}), good_item}));
    EXPECT_EQ(SetCertExchangeSessionKey(session, good.data(), static_cast<int32_t>(good.size())), 1);
    EXPECT_EQ(Internal(session)->session_key[0], 0x22);
    // Lengths are honoured: the same message cut short is refused.
    EXPECT_EQ(SetCertExchangeSessionKey(session, good.data(), static_cast<int32_t>(good.size()) - 1), 0);
    EXPECT_EQ(SetCertExchangeSessionKey(session, good.data(), 0), 0);
}

// A shorter key that replaces a longer one must not inherit its tail: the cipher key and the
// PKCS#12 key material read session_key past the key's length, and the peer pads with zeros.
TEST(ExchangeSessionKey, ShorterReplacementLeavesNothingOfTheEarlierKey) {
    Exchange exchange(ByteVec(48, 0x11));
    CertExchangeSession* session = exchange.session.get();
    const ByteVec reply = exchange.phone.MakeSessionKeyMessage(ModulusOf(session), ByteVec(8, 0x22));
    ASSERT_EQ(SetCertExchangeSessionKey(session, reply.data(), static_cast<int32_t>(reply.size())), 1);
    const uint8_t* key = Internal(session)->session_key;
    EXPECT_EQ(std::count(key + 8, key + sizeof Internal(session)->session_key, 0), 120);

    const ByteVec cert = Bytes(100, 10), private_key = Bytes(200, 11);
    const auto opened = exchange.phone.Open(Encrypt(session, cert, private_key));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->second, private_key);
}

TEST(ExchangeSeal, RefusesEmptyOrMissingInputs) {
    Exchange exchange;
    const ByteVec bytes(10, 1);
    CesMessage* message = nullptr;
    CertExchangeSession* s = exchange.session.get();
    EXPECT_EQ(EncryptCertExchange(s, &message, bytes.data(), 0, bytes.data(), 10), 0);
    EXPECT_EQ(EncryptCertExchange(s, &message, bytes.data(), 10, bytes.data(), 0), 0);
    EXPECT_EQ(EncryptCertExchange(s, &message, nullptr, 10, bytes.data(), 10), 0);
    EXPECT_EQ(EncryptCertExchange(s, &message, bytes.data(), 10, nullptr, 10), 0);
    EXPECT_EQ(EncryptCertExchange(nullptr, &message, bytes.data(), 10, bytes.data(), 10), 0);
    EXPECT_EQ(message, nullptr);
}

// Key generation allocates a varying number of times; every failure point in the first
// stretch is walked, the rest sampled, each leaving the session keyless and nothing leaked.
TEST(ExchangeSession, PublicKeyAllocationFailuresLeaveNoKey) {
    Session session(CreateCertExchangeSession());
    for (long n = 1; n < 4000; n += (n < 40 ? 1 : 97)) {
        const long live = quillon::MEM_LiveBlocks();
        quillon::MEM_FailNthAllocation(n);
        CesMessage* message = nullptr;
        const int32_t length = GetCertExchangePublicKey(session.get(), kCode, &message);
        const bool fired = quillon::MEM_InjectedFailureFired();
        quillon::MEM_FailNthAllocation(0);
        if (!fired) {
            EXPECT_EQ(length, 153);
            FreeCesMessage(message);
            break;
        }
        if (length == 0) {
            EXPECT_EQ(message, nullptr);
            EXPECT_EQ(Internal(session.get())->rsa_key, nullptr);
            EXPECT_EQ(quillon::MEM_LiveBlocks(), live) << n;
        } else {
            FreeCesMessage(message);  // the generator retried past the failure
        }
    }
}

}  // namespace
