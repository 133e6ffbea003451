#include "support/openssl_peer.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/param_build.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>
#include <openssl/sha.h>

#include <stdexcept>

namespace quillon::test {
namespace {

// OID 1.2.840.113549.2.7 (hmacWithSHA1), contents octets.
const ByteVec kHmacWithSha1 = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x07};

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

OSSL_LIB_CTX* SeedContext() {
    // SEED lives in the legacy provider.
    static OSSL_LIB_CTX* ctx = [] {
        OSSL_LIB_CTX* c = OSSL_LIB_CTX_new();
        Check(OSSL_PROVIDER_load(c, "legacy") && OSSL_PROVIDER_load(c, "default"), "providers");
        return c;
    }();
    return ctx;
}

}  // namespace

std::optional<std::vector<TlvView>> ReadItems(const ByteVec& element) {
    auto read = [](const ByteVec& in, size_t& at, TlvView& out) -> bool {
        if (at + 2 > in.size()) return false;
        out.tag = in[at++];
        size_t len = in[at++];
        if (len & 0x80) {
            const size_t count = len & 0x7F;
            if (count == 0 || count > 4 || at + count > in.size()) return false;
            len = 0;
            for (size_t i = 0; i < count; ++i) len = (len << 8) | in[at++];
        }
        if (len > in.size() - at) return false;
        out.contents.assign(in.begin() + at, in.begin() + at + len);
        at += len;
        return true;
    };
    size_t at = 0;
    TlvView outer;
    if (!read(element, at, outer) || at != element.size() || (outer.tag & 0x20) == 0) return std::nullopt;
    std::vector<TlvView> items;
    for (size_t pos = 0; pos < outer.contents.size();) {
        TlvView item;
        if (!read(outer.contents, pos, item)) return std::nullopt;
        items.push_back(std::move(item));
    }
    return items;
}

ByteVec SeedCbc(bool encrypt, const ByteVec& key, const ByteVec& input, const ByteVec& iv) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(SeedContext(), "SEED-CBC", nullptr);
    Check(cipher != nullptr, "SEED-CBC");
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ByteVec out(input.size() + 32);
    int n = 0, tail = 0;
    bool ok = EVP_CipherInit_ex2(ctx, cipher, key.data(), iv.data(), encrypt ? 1 : 0, nullptr) &&
              EVP_CipherUpdate(ctx, out.data(), &n, input.data(), static_cast<int>(input.size())) &&
              EVP_CipherFinal_ex(ctx, out.data() + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    if (!ok) return {};
    out.resize(n + tail);
    return out;
}

ByteVec Sha1(const ByteVec& data) {
    ByteVec out(20);
    SHA1(data.data(), data.size(), out.data());
    return out;
}

ByteVec HmacSha1(const ByteVec& key, const ByteVec& data) {
    ByteVec out(20);
    unsigned int n = 0;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), out.data(), &n);
    return out;
}

OpenSslPhone::OpenSslPhone(std::string exchange_code) : code(std::move(exchange_code)) {
    code_key = Sha1(ByteVec(code.begin(), code.end()));
    code_key.resize(16);
}

std::optional<ByteVec> OpenSslPhone::ReadPublicKeyMessage(const ByteVec& message) {
    const auto items = ReadItems(message);
    if (!items || items->size() != 2 || (*items)[0].tag != 0x02 || (*items)[1].tag != 0x04) return std::nullopt;
    ByteVec modulus = SeedCbc(false, code_key, (*items)[1].contents);
    if (modulus.empty()) return std::nullopt;
    return modulus;
}

ByteVec OpenSslPhone::MakeSessionKeyMessage(const ByteVec& modulus, const ByteVec& key) {
    session_key = key;
    BIGNUM* n = BN_bin2bn(modulus.data(), static_cast<int>(modulus.size()), nullptr);
    BIGNUM* e = BN_new();
    BN_set_word(e, 3);
    OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_N, n);
    OSSL_PARAM_BLD_push_BN(bld, OSSL_PKEY_PARAM_RSA_E, e);
    OSSL_PARAM* params = OSSL_PARAM_BLD_to_param(bld);
    EVP_PKEY_CTX* from = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* pkey = nullptr;
    Check(EVP_PKEY_fromdata_init(from) > 0 && EVP_PKEY_fromdata(from, &pkey, EVP_PKEY_PUBLIC_KEY, params) > 0,
          "RSA public key");
    EVP_PKEY_CTX* enc = EVP_PKEY_CTX_new(pkey, nullptr);
    ByteVec cipher(modulus.size());
    size_t cipher_len = cipher.size();
    Check(EVP_PKEY_encrypt_init(enc) > 0 && EVP_PKEY_CTX_set_rsa_padding(enc, RSA_PKCS1_PADDING) > 0 &&
              EVP_PKEY_encrypt(enc, cipher.data(), &cipher_len, key.data(), key.size()) > 0,
          "RSA encrypt");
    cipher.resize(cipher_len);
    EVP_PKEY_CTX_free(enc);
    EVP_PKEY_free(pkey);
    EVP_PKEY_CTX_free(from);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(bld);
    BN_free(e);
    BN_free(n);
    // Item 0 is not examined by the receiver; the phone sends INTEGER 0.
    return Tlv(0x30, Concat({Tlv(0x02, {0x00}), Tlv(0x04, cipher)}));
}

ByteVec OpenSslPhone::MacKey() const { return Sha1(Concat({code_key, session_key})); }

ByteVec OpenSslPhone::Seal(const ByteVec& certificate, const ByteVec& private_key, uint8_t version,
                           bool with_mac) const {
    const ByteVec plain = Tlv(0x30, Concat({Tlv(0x04, certificate), Tlv(0x04, private_key)}));
    ByteVec key16(session_key);
    key16.resize(16);
    ByteVec body = Concat({Tlv(0x02, {version}), Tlv(0x04, SeedCbc(true, key16, plain))});
    if (with_mac) {
        body = Concat({body, Tlv(0x30, Concat({Tlv(0x06, kHmacWithSha1), Tlv(0x04, HmacSha1(MacKey(), plain))}))});
    }
    return Tlv(0x30, body);
}

std::optional<std::pair<ByteVec, ByteVec>> OpenSslPhone::Open(const ByteVec& message) const {
    const auto items = ReadItems(message);
    if (!items || items->size() != 3 || (*items)[0].tag != 0x02 || (*items)[0].contents != ByteVec{0x01} ||
        (*items)[1].tag != 0x04 || (*items)[2].tag != 0x30)
        return std::nullopt;
    ByteVec key16(session_key);
    key16.resize(16);
    const ByteVec plain = SeedCbc(false, key16, (*items)[1].contents);
    const auto mac = ReadItems((*items)[2].contents.empty() ? ByteVec{} : Tlv(0x30, (*items)[2].contents));
    if (plain.empty() || !mac || mac->size() != 2 || (*mac)[0].tag != 0x06 || (*mac)[0].contents != kHmacWithSha1 ||
        (*mac)[1].tag != 0x04)
        return std::nullopt;
    const ByteVec expected = HmacSha1(MacKey(), plain);
    if ((*mac)[1].contents.size() != 20 || CRYPTO_memcmp((*mac)[1].contents.data(), expected.data(), 20) != 0)
        return std::nullopt;
    const auto pair = ReadItems(plain);
    if (!pair || pair->size() != 2 || (*pair)[0].tag != 0x04 || (*pair)[1].tag != 0x04) return std::nullopt;
    return std::make_pair((*pair)[0].contents, (*pair)[1].contents);
}

}  // namespace quillon::test
