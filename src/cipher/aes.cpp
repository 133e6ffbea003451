#include "cipher/aes.h"

#include <atomic>
#include <cstring>

#include "cipher/block_util.h"
#include "core/mem.h"
#include "core/secret.h"

namespace quillon {
namespace {

const AesImplementation* Detect() { return AesHaveNi() ? &kAesNi : &kAesBitsliced; }

std::atomic<const AesImplementation*> g_implementation{Detect()};

const AesImplementation& Implementation() { return *g_implementation.load(std::memory_order_relaxed); }

int RoundsFor(int key_bits) {
    switch (key_bits) {
        case 128: return 10;
        case 192: return 12;
        case 256: return 14;
        default: return 0;
    }
}

bool ValidRounds(int rounds) { return rounds == 10 || rounds == 12 || rounds == 14; }

// Words as the key's bytes in order, first byte lowest, whatever the host's byte order.
uint32_t LoadWord(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void StoreWord(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void AesForcePortable(bool portable) {
    g_implementation.store(portable ? &kAesBitsliced : Detect(), std::memory_order_relaxed);
}

int AES_KeySetup(const uint8_t* key, uint8_t* round_keys, int key_bits) {
    const int rounds = RoundsFor(key_bits);
    if (rounds == 0 || !key || !round_keys) return 0;
    uint32_t (*const sub_word)(uint32_t) = Implementation().sub_word;
    const int nk = key_bits / 32;
    std::memmove(round_keys, key, 4 * static_cast<size_t>(nk));
    uint32_t rcon = 1;
    // Which steps substitute depends only on the word index, never on the key.
    for (int i = nk; i < 4 * (rounds + 1); ++i) {
        uint32_t temp = LoadWord(round_keys + 4 * (i - 1));
        if (i % nk == 0) {
            temp = sub_word((temp >> 8) | (temp << 24)) ^ rcon;
            rcon = (rcon << 1) ^ (0x11b & -(rcon >> 7));
        } else if (nk > 6 && i % nk == 4) {
            temp = sub_word(temp);
        }
        StoreWord(round_keys + 4 * i, LoadWord(round_keys + 4 * (i - nk)) ^ temp);
    }
    return rounds;
}

void AES_EncryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* round_keys, int rounds) {
    if (!in || !out || !round_keys || !ValidRounds(rounds)) return;
    // CBC from a zero IV is the bare cipher.
    uint8_t chain[kAesBlockSize] = {};
    Implementation().cbc_encrypt(round_keys, rounds, chain, out, in, 1);
}

void AES_DecryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* round_keys, int rounds) {
    if (!in || !out || !round_keys || !ValidRounds(rounds)) return;
    uint8_t chain[kAesBlockSize] = {};
    Implementation().cbc_decrypt(round_keys, rounds, chain, out, in, 1);
}

int AES_CBC_Init(AesCbcContext* context, uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv) {
    if (!context || !key || !iv) return 0;
    const int rounds = AES_KeySetup(key, &context->round_keys[0][0], key_bits);
    if (rounds == 0) return 0;
    context->rounds = static_cast<uint32_t>(rounds);
    std::memmove(context->iv, iv, kAesBlockSize);
    std::memcpy(context->chain, context->iv, kAesBlockSize);
    context->direction = direction;
    return 1;
}

int AES_CBC_Blocks(AesCbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    if (!context || !out || !in) return 0;
    if (length % kAesBlockSize != 0) return 0;
    // A context that was never set up has no usable round count.
    const int rounds = static_cast<int>(context->rounds);
    if (!ValidRounds(rounds)) return 0;
    if (length == 0) return 1;
    const AesImplementation& implementation = Implementation();
    (context->direction ? implementation.cbc_encrypt : implementation.cbc_decrypt)(
        &context->round_keys[0][0], rounds, context->chain, out, in, length / kAesBlockSize);
    return 1;
}

int AES_CBC_Padded(AesCbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length) {
    if (!context) return 0;
    auto blocks = [context](uint8_t* o, const uint8_t* i, size_t n) { return AES_CBC_Blocks(context, o, i, n); };
    return CbcPadded<kAesBlockSize>(context->direction != 0, blocks, out, out_length, in, length);
}

int AES_CBC_Crypt(uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv, const uint8_t* in,
                  size_t length, uint8_t* out, size_t* out_length) {
    SecretArray<AesCbcContext, 1> context;
    return AES_CBC_Init(&context[0], direction, key, key_bits, iv) == 1 &&
                   AES_CBC_Padded(&context[0], out, out_length, in, length) == 1
               ? 1
               : 0;
}

}  // namespace quillon
