// The exchange's PKCS#12 form against a reference peer written here with OpenSSL's SHA-1,
// HMAC-SHA1 and SEED-CBC, its DER built and read by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "exchange/cert_exchange.h"
#include "quilloncrypto.h"
#include "support/openssl_peer.h"
#include "support/release_observer.h"

namespace {

using quillon::test::ByteVec;
using quillon::test::Concat;
using quillon::test::kOidPkcs7Data;
using quillon::test::kOidPkcs7EncryptedData;
using quillon::test::kOidSecretBag;
using quillon::test::kOidSeedCbc;
using quillon::test::kOidSha1;
using quillon::test::kPfxIv;
using quillon::test::ReadItems;
using quillon::test::Tlv;

// What the peer puts in, so that the failure cases can bend one part at a time.
struct PeerOptions {
    ByteVec salt = ByteVec(8, 0x5A);
    ByteVec inner_type = kOidPkcs7EncryptedData;
    uint8_t version = 3;
    std::optional<ByteVec> digest;  // instead of the right MAC
    ByteVec ciphertext;             // instead of the right one, when not empty
};

struct Pkcs12Peer {
    ByteVec key;  // the 16 session-key bytes

    static ByteVec AuthSafe(const ByteVec& key, const ByteVec& cert, const ByteVec& private_key,
                            const PeerOptions& o) {
        const ByteVec safe = Tlv(0x30, Tlv(0x30, Concat({Tlv(0x06, kOidSecretBag),
                                                          Tlv(0xA0, Tlv(0x30, Concat({Tlv(0x04, cert), Tlv(0x04, private_key)})))})));
        const ByteVec cipher = o.ciphertext.empty() ? quillon::test::SeedCbc(true, key, safe, kPfxIv) : o.ciphertext;
        const ByteVec encrypted = Tlv(0x30, Concat({Tlv(0x02, {0}),
                                                    Tlv(0x30, Concat({Tlv(0x06, kOidPkcs7Data),
                                                                      Tlv(0x30, Concat({Tlv(0x06, kOidSeedCbc), Tlv(0x05, {})})),
                                                                      Tlv(0x80, cipher)}))}));
        const ByteVec inner = Tlv(0x30, Concat({Tlv(0x06, o.inner_type), Tlv(0xA0, encrypted)}));
        return Tlv(0x30, Concat({Tlv(0x06, kOidPkcs7Data), Tlv(0xA0, Tlv(0x04, Tlv(0x30, inner)))}));
    }

    ByteVec Mac(const ByteVec& salt, const ByteVec& auth_safe) const {
        return quillon::test::HmacSha1(quillon::test::Sha1(Concat({key, salt})), auth_safe);
    }

    ByteVec Seal(const ByteVec& cert, const ByteVec& private_key, const PeerOptions& o = {}) const {
        const ByteVec auth = AuthSafe(key, cert, private_key, o);
        const ByteVec digest = o.digest ? *o.digest : Mac(o.salt, auth);
        const ByteVec mac_data = Tlv(0x30, Concat({Tlv(0x30, Concat({Tlv(0x30, Concat({Tlv(0x06, kOidSha1), Tlv(0x05, {})})),
                                                                     Tlv(0x04, digest)})),
                                                   Tlv(0x04, o.salt)}));
        return Tlv(0x30, Concat({Tlv(0x02, {o.version}), auth, mac_data}));
    }

    std::optional<std::pair<ByteVec, ByteVec>> Open(const ByteVec& pfx) const {
        const auto items = ReadItems(pfx);
        if (!items || items->size() != 3) return std::nullopt;
        const ByteVec auth = Tlv((*items)[1].tag, (*items)[1].contents);
        const auto mac_data = ReadItems(Tlv(0x30, (*items)[2].contents));
        if (!mac_data || mac_data->size() != 2) return std::nullopt;
        const auto digest_info = ReadItems(Tlv(0x30, (*mac_data)[0].contents));
        if (!digest_info || digest_info->size() != 2 || (*digest_info)[1].contents != Mac((*mac_data)[1].contents, auth))
            return std::nullopt;
        // authSafe -> [0] -> OCTET STRING -> AuthenticatedSafe -> ContentInfo -> [0] -> EncryptedData.
        auto walk = [](const ByteVec& element, size_t index) -> std::optional<ByteVec> {
            const auto list = ReadItems(element);
            if (!list || list->size() <= index) return std::nullopt;
            return Tlv((*list)[index].tag, (*list)[index].contents);
        };
        auto octets = walk(auth, 1);
        const auto string = octets ? walk(*octets, 0) : std::nullopt;
        if (!string) return std::nullopt;
        const ByteVec safe = (*ReadItems(Tlv(0x30, *string)))[0].contents;  // the OCTET STRING's contents
        auto content_info = walk(safe, 0);
        auto wrapped = content_info ? walk(*content_info, 1) : std::nullopt;
        auto encrypted = wrapped ? walk(*wrapped, 0) : std::nullopt;
        auto eci = encrypted ? walk(*encrypted, 1) : std::nullopt;
        auto cipher = eci ? ReadItems(*eci) : std::nullopt;
        if (!cipher || cipher->size() != 3) return std::nullopt;
        const ByteVec plain = quillon::test::SeedCbc(false, key, (*cipher)[2].contents, kPfxIv);
        auto bag = plain.empty() ? std::nullopt : walk(plain, 0);
        auto value = bag ? walk(*bag, 1) : std::nullopt;
        auto pair = value ? walk(*value, 0) : std::nullopt;
        const auto two = pair ? ReadItems(*pair) : std::nullopt;
        if (!two || two->size() != 2) return std::nullopt;
        return std::make_pair((*two)[0].contents, (*two)[1].contents);
    }
};

struct SessionCloser {
    void operator()(CertExchangeSession* s) const { CloseCertExchangeSession(s); }
};
using Session = std::unique_ptr<CertExchangeSession, SessionCloser>;

// A session keyed directly: the key agreement has its own tests.
Session KeyedSession(const ByteVec& key) {
    Session session(CreateCertExchangeSession());
    auto* s = reinterpret_cast<quillon::CertExchangeSession*>(session.get());
    std::memcpy(s->session_key, key.data(), key.size());
    s->session_key_length = static_cast<uint32_t>(key.size());
    return session;
}

ByteVec Seal(CertExchangeSession* session, const ByteVec& cert, const ByteVec& key) {
    CesMessage* out = nullptr;
    const int32_t n = EncryptCertExchange_PKCS12(session, &out, cert.data(), static_cast<int32_t>(cert.size()),
                                                 key.data(), static_cast<int32_t>(key.size()));
    ByteVec pfx(out, out + (n > 0 ? n : 0));
    FreeCesMessage(out);
    return pfx;
}

struct Opened {
    int32_t result;
    ByteVec cert, key;
};

Opened Open(CertExchangeSession* session, const ByteVec& pfx) {
    CesMessage *cert = nullptr, *key = nullptr;
    int32_t cert_length = -7, key_length = -7;
    // An exact-size heap copy: reading past the PFX would be caught.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[pfx.size()]);
    std::memcpy(copy.get(), pfx.data(), pfx.size());
    Opened o{DecryptCertExchange_PKCS12(session, &cert, &cert_length, &key, &key_length, copy.get()), {}, {}};
    if (o.result == 1) {
        o.cert.assign(cert, cert + cert_length);
        o.key.assign(key, key + key_length);
    } else {
        // Untouched, or (when a copy could not be made) emptied.
        EXPECT_TRUE(cert == nullptr && key == nullptr && cert_length == key_length && (cert_length == -7 || cert_length == 0));
    }
    FreeCesMessage(cert);
    FreeCesMessage(key);
    return o;
}

class Pkcs12Exchange : public ::testing::Test {
protected:
    const ByteVec key16{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    const ByteVec cert = ByteVec(1200, 0xC3);
    const ByteVec private_key = ByteVec(1300, 0x4B);
    Pkcs12Peer peer{key16};
    Session session = KeyedSession(key16);
};

TEST_F(Pkcs12Exchange, PeerOpensWhatTheLibrarySealsAndTheReverse) {
    const ByteVec pfx = Seal(session.get(), cert, private_key);
    ASSERT_FALSE(pfx.empty());
    const auto opened = peer.Open(pfx);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->first, cert);
    EXPECT_EQ(opened->second, private_key);
    // 30 len 02 01 03 ... 04 08 salt.
    EXPECT_EQ(ByteVec(pfx.begin() + 4, pfx.begin() + 7), (ByteVec{0x02, 0x01, 0x03}));
    EXPECT_EQ(ByteVec(pfx.end() - 10, pfx.end() - 8), (ByteVec{0x04, 0x08}));

    const Opened back = Open(session.get(), peer.Seal(cert, private_key));
    EXPECT_EQ(back.result, 1);
    EXPECT_EQ(back.cert, cert);
    EXPECT_EQ(back.key, private_key);
}

// The opened private key is wiped whole when FreeCesMessage releases it.
TEST_F(Pkcs12Exchange, OpenedKeyIsWipedWhenReleased) {
    const ByteVec pfx = peer.Seal(cert, private_key);
    CesMessage *opened_cert = nullptr, *opened_key = nullptr;
    int32_t cert_length = 0, key_length = 0;
    ASSERT_EQ(DecryptCertExchange_PKCS12(session.get(), &opened_cert, &cert_length, &opened_key, &key_length,
                                         pfx.data()),
              1);
    FreeCesMessage(opened_cert);
    ASSERT_EQ(ByteVec(opened_key, opened_key + key_length), private_key);
    quillon::test::ReleaseRecorder recorder;
    FreeCesMessage(opened_key);
    const quillon::test::ReleasedBlock* released = recorder.Find(opened_key);
    ASSERT_NE(released, nullptr);
    EXPECT_EQ(released->size, private_key.size());
    EXPECT_TRUE(released->all_zero);
}

TEST_F(Pkcs12Exchange, FreshSaltSameCiphertext) {
    const ByteVec a = Seal(session.get(), cert, private_key);
    const ByteVec b = Seal(session.get(), cert, private_key);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_NE(a, b);
    // Everything up to the MacData (the encrypted authSafe) is the same: fixed key and IV.
    const size_t mac_data_size = 2 + 2 + 2 + 9 + 2 + 20 + 2 + 8;
    EXPECT_TRUE(std::equal(a.begin(), a.end() - mac_data_size, b.begin()));
}

TEST_F(Pkcs12Exchange, RefusedArgumentsAndUnkeyedSessions) {
    const ByteVec pfx = peer.Seal(cert, private_key);
    CesMessage *out = nullptr, *k = nullptr;
    int32_t cl = 0, kl = 0;
    const int32_t n = static_cast<int32_t>(cert.size());
    EXPECT_EQ(EncryptCertExchange_PKCS12(nullptr, &out, cert.data(), n, private_key.data(), n), 0);
    EXPECT_EQ(EncryptCertExchange_PKCS12(session.get(), nullptr, cert.data(), n, private_key.data(), n), 0);
    EXPECT_EQ(EncryptCertExchange_PKCS12(session.get(), &out, cert.data(), 0, private_key.data(), n), 0);
    EXPECT_EQ(DecryptCertExchange_PKCS12(session.get(), &out, &cl, &k, &kl, nullptr), 0);
    EXPECT_EQ(DecryptCertExchange_PKCS12(session.get(), nullptr, &cl, &k, &kl, pfx.data()), 0);
    // A session whose key was never set has nothing to seal or open with.
    Session unkeyed(CreateCertExchangeSession());
    EXPECT_EQ(EncryptCertExchange_PKCS12(unkeyed.get(), &out, cert.data(), n, private_key.data(), n), 0);
    EXPECT_EQ(Open(unkeyed.get(), Pkcs12Peer{ByteVec(16, 0)}.Seal(cert, private_key)).result, 0);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
