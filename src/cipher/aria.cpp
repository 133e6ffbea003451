#include "cipher/aria.h"

#include <array>
#include <cstring>

#include "core/mem.h"
#include "cipher/block_util.h"
#include "cipher/gf256.h"

namespace quillon {
namespace {

// S1 is the inverse-then-affine S-box over GF(2^8) modulo x^8 + x^4 + x^3 + x + 1;
// S2(x) = B * x^247 + 0xE2 in the same field, B given by its columns (images of bits 0..7).
constexpr unsigned kFieldPoly = 0x11B;
constexpr uint8_t kB[8] = {0xac, 0xc5, 0x12, 0xcf, 0x5b, 0x5f, 0x85, 0xee};

constexpr uint8_t Rotl8(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }

using Box = std::array<uint8_t, 256>;

constexpr Box MakeS1() {
    Box box{};
    for (unsigned x = 0; x < 256; ++x) {
        const uint8_t inv = Gf256Pow<kFieldPoly>(static_cast<uint8_t>(x), 254);  // 0 maps to 0
        box[x] = inv ^ Rotl8(inv, 1) ^ Rotl8(inv, 2) ^ Rotl8(inv, 3) ^ Rotl8(inv, 4) ^ 0x63;
    }
    return box;
}

constexpr Box Inverse(const Box& box) {
    Box inv{};
    for (unsigned x = 0; x < 256; ++x) inv[box[x]] = static_cast<uint8_t>(x);
    return inv;
}

constexpr Box kS1 = MakeS1();
constexpr Box kS2 = Gf256PowerSbox<kFieldPoly>(kB, 247, 0xE2);
constexpr Box kX1 = Inverse(kS1);
constexpr Box kX2 = Inverse(kS2);

// Word tables: the S-box output copied into the three bytes of its word other than its own
// position (position 0 = most significant), which is the in-word part of the diffusion layer.
// Odd rounds use S1, S2, X1, X2 at positions 0..3; even rounds X1, X2, S1, S2, which are the
// same tables rotated by 16 bits.
constexpr std::array<uint32_t, 256> MakeTable(const Box& box, uint32_t pattern) {
    std::array<uint32_t, 256> table{};
    for (unsigned x = 0; x < 256; ++x) table[x] = box[x] * pattern;
    return table;
}

constexpr auto kTS1 = MakeTable(kS1, 0x00010101u);
constexpr auto kTS2 = MakeTable(kS2, 0x01000101u);
constexpr auto kTX1 = MakeTable(kX1, 0x01010001u);
constexpr auto kTX2 = MakeTable(kX2, 0x01010100u);

constexpr uint32_t kConstants[3][4] = {
    {0x517cc1b7u, 0x27220a94u, 0xfe13abe8u, 0xfa9a6ee0u},
    {0x6db14accu, 0x9e21c820u, 0xff28b1d5u, 0xef5de2b0u},
    {0xdb92371du, 0x2126e970u, 0x03249775u, 0x04e8c90eu},
};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

struct State {
    uint32_t t[4];
};

// The diffusion layer after the in-word step: word mixing, byte swaps in words 1..3, word
// mixing. The mixing sends (t0, t1, t2, t3) to (t0^t1^t2, t0^t2^t3, t0^t1^t3, t1^t2^t3),
// computed through the sum of all four to keep the dependency chain short.
inline void MixWords(State& s) {
    const uint32_t all = (s.t[0] ^ s.t[1]) ^ (s.t[2] ^ s.t[3]);
    const State in = s;
    s.t[0] = all ^ in.t[3];
    s.t[1] = all ^ in.t[1];
    s.t[2] = all ^ in.t[2];
    s.t[3] = all ^ in.t[0];
}

inline void Diffuse(State& s) {
    MixWords(s);
    s.t[1] = ((s.t[1] << 8) & 0xff00ff00u) | ((s.t[1] >> 8) & 0x00ff00ffu);
    s.t[2] = Rotr(s.t[2], 16);
    s.t[3] = __builtin_bswap32(s.t[3]);
    MixWords(s);
}

inline uint32_t OddWord(uint32_t x) {
    return kTS1[x >> 24] ^ kTS2[(x >> 16) & 0xff] ^ kTX1[(x >> 8) & 0xff] ^ kTX2[x & 0xff];
}

inline uint32_t EvenWord(uint32_t x) {
    return Rotr(kTX1[x >> 24] ^ kTX2[(x >> 16) & 0xff] ^ kTS1[(x >> 8) & 0xff] ^ kTS2[x & 0xff], 16);
}

inline void AddKey(State& s, const uint8_t* rk) {
    for (int i = 0; i < 4; ++i) s.t[i] ^= LoadBe32(rk + 4 * i);
}

inline void AddKey(State& s, const uint32_t* rk) {
    for (int i = 0; i < 4; ++i) s.t[i] ^= rk[i];
}

template <class Key>
inline void OddRound(State& s, const Key* rk) {
    AddKey(s, rk);
    for (auto& w : s.t) w = OddWord(w);
    Diffuse(s);
}

template <class Key>
inline void EvenRound(State& s, const Key* rk) {
    AddKey(s, rk);
    for (auto& w : s.t) w = EvenWord(w);
    Diffuse(s);
}

// The diffusion layer alone (for the decryption keys).
inline void DiffusionLayer(State& s) {
    for (auto& w : s.t) w = Rotr(w, 24) ^ Rotr(w, 16) ^ Rotr(w, 8);
    Diffuse(s);
}

inline uint32_t LastWord(uint32_t x) {
    return (uint32_t{kX1[x >> 24]} << 24) | (uint32_t{kX2[(x >> 16) & 0xff]} << 16) |
           (uint32_t{kS1[(x >> 8) & 0xff]} << 8) | kS2[x & 0xff];
}

// Round keys as words, loaded once per message rather than once per block.
struct WordKeys {
    uint32_t k[kAriaMaxRounds + 1][4];
    int rounds;
};

inline void CryptState(State& s, const WordKeys& keys) {
    const int n = keys.rounds;
    for (int r = 0; r < n - 2; r += 2) {
        OddRound(s, keys.k[r]);
        EvenRound(s, keys.k[r + 1]);
    }
    OddRound(s, keys.k[n - 2]);
    AddKey(s, keys.k[n - 1]);
    for (auto& w : s.t) w = LastWord(w);
    AddKey(s, keys.k[n]);
}

// Several blocks side by side, so that their table lookups overlap.
template <int N>
inline void CryptStates(State (&s)[N], const WordKeys& keys) {
    const int n = keys.rounds;
    for (int r = 0; r < n - 2; r += 2) {
        for (int b = 0; b < N; ++b) OddRound(s[b], keys.k[r]);
        for (int b = 0; b < N; ++b) EvenRound(s[b], keys.k[r + 1]);
    }
    for (int b = 0; b < N; ++b) {
        OddRound(s[b], keys.k[n - 2]);
        AddKey(s[b], keys.k[n - 1]);
        for (auto& w : s[b].t) w = LastWord(w);
        AddKey(s[b], keys.k[n]);
    }
}

inline State Load(const uint8_t* p) {
    return State{{LoadBe32(p), LoadBe32(p + 4), LoadBe32(p + 8), LoadBe32(p + 12)}};
}

inline void Store(uint8_t* p, const State& s) {
    for (int i = 0; i < 4; ++i) StoreBe32(p + 4 * i, s.t[i]);
}

void LoadKeys(WordKeys& keys, const AriaCbcContext* context) {
    keys.rounds = static_cast<int>(context->rounds);
    for (int r = 0; r <= keys.rounds; ++r) {
        for (int i = 0; i < 4; ++i) keys.k[r][i] = LoadBe32(context->round_keys[r] + 4 * i);
    }
}

void CbcEncrypt(AriaCbcContext* context, const WordKeys& keys, uint8_t* out, const uint8_t* in, size_t length) {
    State chain = Load(context->chain);
    for (size_t pos = 0; pos < length; pos += kAriaBlockSize) {
        State s = Load(in + pos);
        for (int i = 0; i < 4; ++i) s.t[i] ^= chain.t[i];
        CryptState(s, keys);
        Store(out + pos, s);
        chain = s;
    }
    Store(context->chain, chain);
}

void CbcDecrypt(AriaCbcContext* context, const WordKeys& keys, uint8_t* out, const uint8_t* in, size_t length) {
    constexpr int kLanes = 4;
    State chain = Load(context->chain);
    size_t pos = 0;
    // Ciphertext is held in registers before any output is written, so in == out works.
    for (; length - pos >= kLanes * kAriaBlockSize; pos += kLanes * kAriaBlockSize) {
        State s[kLanes], c[kLanes];
        for (int b = 0; b < kLanes; ++b) s[b] = c[b] = Load(in + pos + 16 * b);
        CryptStates<kLanes>(s, keys);
        for (int b = 0; b < kLanes; ++b) {
            const State& prev = b == 0 ? chain : c[b - 1];
            for (int i = 0; i < 4; ++i) s[b].t[i] ^= prev.t[i];
            Store(out + pos + 16 * b, s[b]);
        }
        chain = c[kLanes - 1];
    }
    for (; pos < length; pos += kAriaBlockSize) {
        const State c = Load(in + pos);
        State s = c;
        CryptState(s, keys);
        for (int i = 0; i < 4; ++i) s.t[i] ^= chain.t[i];
        Store(out + pos, s);
        chain = c;
    }
    Store(context->chain, chain);
}

// 128-bit value as two 64-bit halves, for the key schedule's rotations.
struct Wide {
    uint64_t hi, lo;
};

Wide ToWide(const State& s) {
    return {(uint64_t{s.t[0]} << 32) | s.t[1], (uint64_t{s.t[2]} << 32) | s.t[3]};
}

Wide RotateRight(Wide x, int n) {
    if (n >= 64) {
        std::swap(x.hi, x.lo);
        n -= 64;
    }
    if (n == 0) return x;
    return {(x.hi >> n) | (x.lo << (64 - n)), (x.lo >> n) | (x.hi << (64 - n))};
}

void StoreWide(uint8_t* p, Wide x) {
    StoreBe32(p, static_cast<uint32_t>(x.hi >> 32));
    StoreBe32(p + 4, static_cast<uint32_t>(x.hi));
    StoreBe32(p + 8, static_cast<uint32_t>(x.lo >> 32));
    StoreBe32(p + 12, static_cast<uint32_t>(x.lo));
}

int Rounds(int key_bits) {
    return (key_bits == 128 || key_bits == 192 || key_bits == 256) ? (key_bits + 256) / 32 : 0;
}

}  // namespace

const uint8_t* ARIA_SBox(int which) {
    switch (which) {
        case 1: return kS1.data();
        case 2: return kS2.data();
        case 3: return kX1.data();
        default: return kX2.data();
    }
}

int ARIA_EncKeySetup(const uint8_t* key, uint8_t* round_keys, int key_bits) {
    const int rounds = Rounds(key_bits);
    if (rounds == 0) return 0;
    const int which = (key_bits - 128) / 64;  // CK1..CK3 start at C1, C2 or C3 by key size
    State w[4];
    uint8_t right[16] = {};
    std::memcpy(right, key + 16, static_cast<size_t>(key_bits / 8 - 16));
    w[0] = Load(key);
    const State kr = Load(right);
    w[1] = w[0];
    OddRound(w[1], kConstants[which]);
    AddKey(w[1], kr.t);
    w[2] = w[1];
    EvenRound(w[2], kConstants[(which + 1) % 3]);
    AddKey(w[2], w[0].t);
    w[3] = w[2];
    OddRound(w[3], kConstants[(which + 2) % 3]);
    AddKey(w[3], w[1].t);

    Wide wide[4];
    for (int i = 0; i < 4; ++i) wide[i] = ToWide(w[i]);
    // ek(4g + j + 1) = W[j] ^ (W[j + 1] >>> shift[g]); left rotations written as right ones.
    constexpr int kShift[5] = {19, 31, 128 - 61, 128 - 31, 128 - 19};
    for (int i = 0; i <= rounds; ++i) {
        const Wide a = wide[i % 4];
        const Wide b = RotateRight(wide[(i + 1) % 4], kShift[i / 4]);
        StoreWide(round_keys + 16 * i, Wide{a.hi ^ b.hi, a.lo ^ b.lo});
    }
    MEM_Wipe(w, sizeof w);
    MEM_Wipe(wide, sizeof wide);
    MEM_Wipe(right, sizeof right);
    return rounds;
}

int ARIA_DecKeySetup(const uint8_t* key, uint8_t* round_keys, int key_bits) {
    const int rounds = ARIA_EncKeySetup(key, round_keys, key_bits);
    if (rounds == 0) return 0;
    // Reverse the order; every key but the first and last goes through the diffusion layer.
    for (int i = 0, j = rounds; i <= j; ++i, --j) {
        State a = Load(round_keys + 16 * i), b = Load(round_keys + 16 * j);
        if (i != 0) {
            DiffusionLayer(a);
            if (i != j) DiffusionLayer(b);
        }
        Store(round_keys + 16 * i, b);
        Store(round_keys + 16 * j, a);
        MEM_Wipe(&a, sizeof a);
        MEM_Wipe(&b, sizeof b);
    }
    return rounds;
}

void ARIA_Crypt(const uint8_t* in, int rounds, const uint8_t* round_keys, uint8_t* out) {
    if (rounds != 12 && rounds != 14 && rounds != 16) return;
    State s = Load(in);
    const int n = rounds;
    for (int r = 0; r < n - 2; r += 2) {
        OddRound(s, round_keys + 16 * r);
        EvenRound(s, round_keys + 16 * (r + 1));
    }
    OddRound(s, round_keys + 16 * (n - 2));
    AddKey(s, round_keys + 16 * (n - 1));
    for (auto& w : s.t) w = LastWord(w);
    AddKey(s, round_keys + 16 * n);
    Store(out, s);
}

int ARIA_CBC_Init(AriaCbcContext* context, uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv) {
    if (!context || !key || !iv) return 0;
    const int rounds = direction ? ARIA_EncKeySetup(key, &context->round_keys[0][0], key_bits)
                                 : ARIA_DecKeySetup(key, &context->round_keys[0][0], key_bits);
    if (rounds == 0) return 0;
    context->rounds = static_cast<uint32_t>(rounds);
    std::memmove(context->iv, iv, kAriaBlockSize);
    std::memcpy(context->chain, context->iv, kAriaBlockSize);
    context->direction = direction;
    return 1;
}

int ARIA_CBC_Blocks(AriaCbcContext* context, uint8_t* out, const uint8_t* in, size_t length) {
    if (!context || !out || !in) return 0;
    if (length % kAriaBlockSize != 0) return 0;
    // A context that was never set up has no usable round count.
    if (context->rounds != 12 && context->rounds != 14 && context->rounds != 16) return 0;
    if (length == 0) return 1;
    WordKeys keys;
    LoadKeys(keys, context);
    if (context->direction) {
        CbcEncrypt(context, keys, out, in, length);
    } else {
        CbcDecrypt(context, keys, out, in, length);
    }
    MEM_Wipe(&keys, sizeof keys);
    return 1;
}

int ARIA_CBC_Padded(AriaCbcContext* context, uint8_t* out, size_t* out_length, const uint8_t* in, size_t length) {
    if (!context) return 0;
    auto blocks = [context](uint8_t* o, const uint8_t* i, size_t n) { return ARIA_CBC_Blocks(context, o, i, n); };
    return CbcPadded<kAriaBlockSize>(context->direction != 0, blocks, out, out_length, in, length);
}

int ARIA_CBC_Crypt(uint32_t direction, const uint8_t* key, int key_bits, const uint8_t* iv, const uint8_t* in,
                   size_t length, uint8_t* out, size_t* out_length) {
    auto* context = static_cast<AriaCbcContext*>(MEM_Alloc(sizeof(AriaCbcContext)));
    if (!context) return 0;
    const int ok = ARIA_CBC_Init(context, direction, key, key_bits, iv) == 1 &&
                   ARIA_CBC_Padded(context, out, out_length, in, length) == 1;
    MEM_Free(context);
    return ok;
}

}  // namespace quillon
