// The PKCS#8 decoders on arbitrary bytes: the input is read as an EncryptedPrivateKeyInfo
// under any scheme read (parameters, cipher index, and decryption when its count is small
// enough to keep the fuzzer fast) and as a PrivateKeyInfo, whose re-encoding must decode to
// the same bytes and survive an encryption round trip under the SEED schemes and under PBES2
// with a PRF and cipher picked by the input; and described as the certificate finder describes a
// key file.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "asn1/object_table.h"
#include "bignum/bignum.h"
#include "pkcs/epki.h"
#include "pkcs/pkcs8.h"
#include "pkcs/pkcs8_crypt.h"
#include "pkcs/prikey.h"
#include "quilloncrypto.h"

namespace {

constexpr char kPassword[] = "quillon-test";
constexpr uint32_t kFastCount = 64;

const uint8_t* Password() { return reinterpret_cast<const uint8_t*>(kPassword); }

void Encrypted(const uint8_t* bytes, size_t size) {
    using namespace quillon;
    EncryptedPrivateKeyInfo* raw = nullptr;
    if (!EPKI_DecodeBytes(bytes, size, &raw)) return;
    EncryptedPrivateKeyInfoPtr epki(raw);
    PKCS8_CipherIndex(epki.get(), Password(), sizeof kPassword - 1);
    PKCS8_SchemeReadable(epki.get(), true);
    PbeParametersPtr params(EPKI_GetPbeParams(epki.get()));
    if (!params || BIGNUM_GetWord(params->iterations) > kFastCount) return;
    BINSTR in{const_cast<uint8_t*>(bytes), static_cast<uint32_t>(size)}, out{nullptr, 0};
    PRIKEY_Decrypt(kPassword, &in, &out);
    BINSTR_Delete(&out);
}

void Plain(const uint8_t* bytes, size_t size) {
    using namespace quillon;
    BINSTR in{const_cast<uint8_t*>(bytes), static_cast<uint32_t>(size)}, random{nullptr, 0};
    const int32_t r = PRIKEY_GetRandomNum(&in, &random);
    if (r != QC_OK && r != QC_ERR_KEY_INVALID && r != QC_ERR_EXTENSION_ABSENT && r != QC_ERR_MALFORMED_DER) std::abort();
    BINSTR_Delete(&random);
    PrivateKeyInfo* raw = nullptr;
    if (!PKCS8_DecodeBytes(bytes, size, &raw)) return;
    PrivateKeyInfoPtr key(raw);
    uint8_t *first = nullptr, *second = nullptr;
    const int32_t first_length = PKCS8_EncodeBytes(key.get(), &first);
    const MemBlock owned_first(first);
    if (first_length <= 0) return;
    PrivateKeyInfo* again = nullptr;
    if (!PKCS8_DecodeBytes(first, static_cast<size_t>(first_length), &again)) std::abort();
    PrivateKeyInfoPtr owned(again);
    const int32_t second_length = PKCS8_EncodeBytes(again, &second);
    const MemBlock owned_second(second);
    if (second_length != first_length || std::memcmp(first, second, static_cast<size_t>(first_length)) != 0)
        std::abort();
    // PBES2 round trip over the encoding, under a PRF and cipher chosen by the input.
    constexpr int kPrfs[] = {NID_HMAC_WITH_SHA1, NID_HMAC_WITH_SHA224, NID_HMAC_WITH_SHA256, NID_HMAC_WITH_SHA384,
                             NID_HMAC_WITH_SHA512};
    constexpr int kCiphers[] = {NID_SEED_CBC,    NID_ARIA_128_CBC, NID_ARIA_192_CBC, NID_ARIA_256_CBC,
                                NID_AES_128_CBC, NID_AES_192_CBC,  NID_AES_256_CBC,  NID_DES_EDE3_CBC};
    const uint8_t pick = size ? bytes[size - 1] : 0;
    EncryptedPrivateKeyInfo* pbes2 = nullptr;
    if (!PKCS8_EncryptPbes2(first, static_cast<size_t>(first_length), &pbes2, Password(), sizeof kPassword - 1, 1,
                            kPrfs[pick % 5], kCiphers[(pick / 5) % 8]))
        std::abort();
    EncryptedPrivateKeyInfoPtr owned_pbes2(pbes2);
    PrivateKeyInfo* opened = nullptr;
    if (!PKCS8_Decrypt(pbes2, &opened, Password(), sizeof kPassword - 1)) std::abort();
    PrivateKeyInfoPtr owned_opened(opened);
    uint8_t* fourth = nullptr;
    const int32_t fourth_length = PKCS8_EncodeBytes(opened, &fourth);
    const MemBlock owned_fourth(fourth);
    if (fourth_length != first_length || std::memcmp(first, fourth, static_cast<size_t>(first_length)) != 0)
        std::abort();
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EncryptedPrivateKeyInfo* encrypted = nullptr;
    const int scheme = 70 + (size % 3 == 0 ? 0 : size % 3 == 1 ? 3 : 19);  // 70, 73 or 89
    if (!PKCS8_Encrypt(key.get(), &encrypted, Password(), sizeof kPassword - 1, salt, sizeof salt, 1, scheme))
        std::abort();
    EncryptedPrivateKeyInfoPtr epki(encrypted);
    PrivateKeyInfo* decrypted = nullptr;
    if (!PKCS8_Decrypt(epki.get(), &decrypted, Password(), sizeof kPassword - 1)) std::abort();
    PrivateKeyInfoPtr back(decrypted);
    uint8_t* third = nullptr;
    const int32_t third_length = PKCS8_EncodeBytes(decrypted, &third);
    const MemBlock owned_third(third);
    if (third_length != first_length || std::memcmp(first, third, static_cast<size_t>(first_length)) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 14) return 0;
    // Exact-size copy so that any read past the end is caught.
    auto* bytes = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(bytes, data, size);
    Encrypted(bytes, size);
    Plain(bytes, size);
    quillon::KeyFileInfo info{};  // what the certificate finder tells of a key file
    quillon::PRIKEY_DescribeDer(bytes, size, &info);
    std::free(bytes);
    return 0;
}
