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

std::optional<std::pair<ByteVec, ByteVec>> Decrypt(CertExchangeSession* session, const ByteVec& message) {
    CesMessage *cert = nullptr, *key = nullptr;
    int32_t cert_length = -1, key_length = -1;
    if (DecryptCertExchange(session, &cert, &cert_length, &key, &key_length, message.data(),
                            static_cast<int32_t>(message.size())) != 1) {
        EXPECT_EQ(cert, nullptr);
        EXPECT_EQ(key, nullptr);
        return std::nullopt;
    }
    return std::make_pair(TakeMessage(cert, cert_length), TakeMessage(key, key_length));
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

TEST(ExchangeCode, CheckDigitRule) {
    // Sums of 0 and 10 (mod 11) both need check digit 1; a sum of 1 needs 0.
    for (const char* valid : {kCode, "0000000000000001", "5000000000000001", "0000000000000070"})
        EXPECT_EQ(quillon::CES_CheckCode(valid), 1) << valid;
    for (size_t i = 0; i < 15; ++i) {
        std::string changed = kCode;
        changed[i] = static_cast<char>('0' + (changed[i] - '0' + 1) % 10);
        EXPECT_EQ(quillon::CES_CheckCode(changed.c_str()), 0) << changed;
    }
    for (const char* invalid : {"123456789012345", "12345678901234a5", "", "1234567890123454"})
        EXPECT_EQ(quillon::CES_CheckCode(invalid), 0) << invalid;
    EXPECT_EQ(quillon::CES_CheckCode(nullptr), 0);
    // Exactly 16 characters are read: what follows them is the host's, a terminator among them fails.
    EXPECT_EQ(quillon::CES_CheckCode("12345678901234550"), 1);
    EXPECT_EQ(quillon::CES_CheckCode(std::string("1234567\0" "90123455", 16).c_str()), 0);
}

// A host may pass the code as a bare 16-byte array: under ASan, a read of the byte after it fails.
std::unique_ptr<char[]> UnterminatedCode(const char* code = kCode) {
    std::unique_ptr<char[]> bytes(new char[16]);
    std::memcpy(bytes.get(), code, 16);
    return bytes;
}

TEST(ExchangePublicKey, MessageCarriesTheModulusUnderTheCodeKey) {
    Session session(CreateCertExchangeSession());
    const ByteVec message = PublicKeyMessage(session.get(), UnterminatedCode().get());
    ASSERT_EQ(message.size(), 153u);
    const ByteVec head = {0x30, 0x81, 0x96, 0x02, 0x01, 0x00, 0x04, 0x81, 0x90};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), message.begin()));

    OpenSslPhone phone(kCode);
    const auto modulus = phone.ReadPublicKeyMessage(message);
    ASSERT_TRUE(modulus);
    ASSERT_EQ(modulus->size(), 128u);
    const quillon::BigNum* n = Internal(session.get())->rsa_key->n;
    ByteVec expected(128);
    ASSERT_EQ(quillon::BIGNUM_ToBytes(n, expected.data()), 128);
    EXPECT_EQ(*modulus, expected);
    EXPECT_EQ(ByteVec(Internal(session.get())->code_key, Internal(session.get())->code_key + 16), phone.code_key);
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

TEST(Exchange, WholeExchangeInBothDirections) {
    for (size_t key_length : {1u, 16u, 20u, 48u}) {
        Exchange exchange(Bytes(key_length, 7));
        ASSERT_EQ(Internal(exchange.session.get())->session_key_length, key_length);

        const ByteVec cert = Bytes(1000, 1), key = Bytes(1200, 2);
        const ByteVec sealed = Encrypt(exchange.session.get(), cert, key);
        const auto opened_by_phone = exchange.phone.Open(sealed);
        ASSERT_TRUE(opened_by_phone) << key_length;
        EXPECT_EQ(opened_by_phone->first, cert);
        EXPECT_EQ(opened_by_phone->second, key);

        const auto opened_here = Decrypt(exchange.session.get(), exchange.phone.Seal(key, cert));
        ASSERT_TRUE(opened_here) << key_length;
        EXPECT_EQ(opened_here->first, key);
        EXPECT_EQ(opened_here->second, cert);
    }
}

TEST(Exchange, SealedMessageLayout) {
    Exchange exchange;
    const ByteVec sealed = Encrypt(exchange.session.get(), Bytes(1000, 3), Bytes(1200, 4));
    const auto items = quillon::test::ReadItems(sealed);
    ASSERT_TRUE(items);
    ASSERT_EQ(items->size(), 3u);
    EXPECT_EQ((*items)[0].contents, ByteVec{1});
    EXPECT_EQ((*items)[1].contents.size() % 16, 0u);
    const auto mac = quillon::test::ReadItems(Tlv(0x30, (*items)[2].contents));
    ASSERT_TRUE(mac);
    ASSERT_EQ(mac->size(), 2u);
    EXPECT_EQ((*mac)[0].contents, (ByteVec{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x07}));
    EXPECT_EQ((*mac)[1].contents.size(), 20u);
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

TEST(ExchangeSessionKey, NeedsAPublicKeyFirst) {
    Session session(CreateCertExchangeSession());
    const ByteVec message = Tlv(0x30, Concat({Tlv(0x02, {0}), Tlv(0x04, ByteVec(128, 1))}));
    EXPECT_EQ(SetCertExchangeSessionKey(session.get(), message.data(), static_cast<int32_t>(message.size())), 0);
    EXPECT_EQ(SetCertExchangeSessionKey(nullptr, message.data(), static_cast<int32_t>(message.size())), 0);
}

TEST(ExchangeOpen, TamperingVersionsAndMacs) {
    Exchange exchange;
    CertExchangeSession* session = exchange.session.get();
    const ByteVec cert = Bytes(300, 5), key = Bytes(400, 6);
    const ByteVec sealed = exchange.phone.Seal(cert, key);
    ASSERT_TRUE(Decrypt(session, sealed));

    auto items = *quillon::test::ReadItems(sealed);
    auto rebuild = [](const std::vector<quillon::test::TlvView>& parts) {
        ByteVec body;
        for (const auto& p : parts) body = Concat({body, Tlv(p.tag, p.contents)});
        return Tlv(0x30, body);
    };
    {  // one flipped ciphertext byte
        auto changed = items;
        changed[1].contents[changed[1].contents.size() / 2] ^= 1;
        EXPECT_FALSE(Decrypt(session, rebuild(changed)));
    }
    {  // one flipped MAC byte, and a MAC cut to 19 bytes
        auto mac = *quillon::test::ReadItems(Tlv(0x30, items[2].contents));
        mac[1].contents[7] ^= 0x80;
        auto changed = items;
        changed[2].contents = Concat({Tlv(mac[0].tag, mac[0].contents), Tlv(mac[1].tag, mac[1].contents)});
        EXPECT_FALSE(Decrypt(session, rebuild(changed)));
        mac[1].contents[7] ^= 0x80;
        mac[1].contents.pop_back();
        changed[2].contents = Concat({Tlv(mac[0].tag, mac[0].contents), Tlv(mac[1].tag, mac[1].contents)});
        EXPECT_FALSE(Decrypt(session, rebuild(changed)));
        // The right 20 bytes with one more after them are not the MAC either.
        mac[1].contents = Concat({quillon::test::ReadItems(Tlv(0x30, items[2].contents)).value()[1].contents, {0}});
        changed[2].contents = Concat({Tlv(mac[0].tag, mac[0].contents), Tlv(mac[1].tag, mac[1].contents)});
        EXPECT_FALSE(Decrypt(session, rebuild(changed)));
    }
    {  // a pad count longer than the message, under a MAC that matches the whole plaintext
        ByteVec plain = Tlv(0x30, Concat({Tlv(0x04, Bytes(20, 5)), Tlv(0x04, Bytes(20, 6))}));
        plain.resize(64, 0);
        plain.back() = 0xFF;
        ByteVec key16 = exchange.phone.session_key;
        key16.resize(16);
        ByteVec cipher = quillon::test::SeedCbc(true, key16, plain);
        cipher.resize(plain.size());  // drop the pad block: the ciphertext of exactly `plain`
        auto mac = *quillon::test::ReadItems(Tlv(0x30, items[2].contents));
        mac[1].contents = quillon::test::HmacSha1(exchange.phone.MacKey(), plain);
        auto forged = items;
        forged[1].contents = cipher;
        forged[2].contents = Concat({Tlv(mac[0].tag, mac[0].contents), Tlv(mac[1].tag, mac[1].contents)});
        EXPECT_FALSE(Decrypt(session, rebuild(forged)));
    }
    // Version 2 carries no MAC and opens without a check; version 1 without a MAC and version 0 fail.
    const auto opened = Decrypt(session, exchange.phone.Seal(cert, key, 2, false));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->first, cert);
    EXPECT_FALSE(Decrypt(session, exchange.phone.Seal(cert, key, 1, false)));
    EXPECT_FALSE(Decrypt(session, exchange.phone.Seal(cert, key, 0, true)));
    // Sealed under another code: the MAC key differs.
    OpenSslPhone other("0000000000000001");
    other.session_key = exchange.phone.session_key;
    EXPECT_FALSE(Decrypt(session, other.Seal(cert, key)));
    // The length given bounds the parse.
    CesMessage *c = nullptr, *k = nullptr;
    int32_t cl = 0, kl = 0;
    EXPECT_EQ(DecryptCertExchange(session, &c, &cl, &k, &kl, sealed.data(), static_cast<int32_t>(sealed.size()) - 1), 0);
    EXPECT_EQ(DecryptCertExchange(session, &c, &cl, &k, &kl, sealed.data(), 0), 0);
    EXPECT_EQ(DecryptCertExchange(nullptr, &c, &cl, &k, &kl, sealed.data(), static_cast<int32_t>(sealed.size())), 0);
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

// Until the peer's session key is in, nothing is sealed or opened: the key bytes are still zeros.
TEST(ExchangeSeal, NoSessionKeyNoSealing) {
    Session session(CreateCertExchangeSession());
    OpenSslPhone phone(kCode);
    const auto modulus = phone.ReadPublicKeyMessage(PublicKeyMessage(session.get()));
    ASSERT_TRUE(modulus);
    const ByteVec empty_key = phone.MakeSessionKeyMessage(*modulus, {});
    EXPECT_EQ(SetCertExchangeSessionKey(session.get(), empty_key.data(), static_cast<int32_t>(empty_key.size())), 0);
    phone.session_key = ByteVec(16, 0);  // what an unkeyed session would have sealed under
    const ByteVec cert = Bytes(300, 7), key = Bytes(400, 8);
    Session fresh(CreateCertExchangeSession());
    const long live = quillon::MEM_LiveBlocks();
    for (CertExchangeSession* s : {session.get(), fresh.get()}) {
        CesMessage* message = nullptr;
        EXPECT_EQ(EncryptCertExchange(s, &message, cert.data(), 300, key.data(), 400), 0);
        EXPECT_EQ(message, nullptr);
        EXPECT_FALSE(Decrypt(s, phone.Seal(cert, key)));
        EXPECT_FALSE(Decrypt(s, phone.Seal(cert, key, 2, false)));
    }
    EXPECT_EQ(quillon::MEM_LiveBlocks(), live);
}

TEST(ExchangeSession, CloseInAnyState) {
    CloseCertExchangeSession(nullptr);
    const long live = quillon::MEM_LiveBlocks();
    CloseCertExchangeSession(CreateCertExchangeSession());
    Session failed(CreateCertExchangeSession());
    CesMessage* message = nullptr;
    GetCertExchangePublicKey(failed.get(), "1111111111111111", &message);
    failed.reset();
    EXPECT_EQ(quillon::MEM_LiveBlocks(), live);
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
