#include "bignum/bignum.h"

#include <array>
#include <cstring>

#include "bignum/bn_words.h"

namespace quillon {
namespace {

const Word kOneWord = 1;
const BigNum kOne{const_cast<Word*>(&kOneWord), 1, 1, BIGNUM_FLAG_STATIC};

constexpr std::array<uint8_t, 256> kByteBits = [] {
    std::array<uint8_t, 256> t{};
    for (int i = 1; i < 256; ++i) t[i] = static_cast<uint8_t>(t[i / 2] + 1);
    return t;
}();

void Normalise(BigNum* a) {
    while (a->used > 0 && a->words[a->used - 1] == 0) --a->used;
}

// Grows to a word count computed in 64 bits, so that huge shifts are refused, not wrapped.
bool ExpandTo(BigNum* a, int64_t n) {
    return n <= BIGNUM_MAX_WORDS && BIGNUM_Expand(a, static_cast<int>(n)) != nullptr;
}

}  // namespace

// ---- creation and storage -------------------------------------------------------------------

BigNum* BIGNUM_New() {
    auto* a = static_cast<BigNum*>(MEM_Alloc(sizeof(BigNum)));
    if (!a) return nullptr;
    *a = BigNum{nullptr, 0, 0, BIGNUM_FLAG_ALLOCATED};
    return a;
}

int BIGNUM_Free(BigNum* a) {
    if (!a) return 0;
    // The shared constant lives in read-only memory; releasing it is a no-op.
    if (a == &kOne) return 1;
    if (!(a->flags & BIGNUM_FLAG_STATIC)) MEM_Free(a->words);
    const bool owned = a->flags & (BIGNUM_FLAG_ALLOCATED | BIGNUM_FLAG_SLOT);
    a->words = nullptr;
    a->capacity = 0;
    a->used = 0;
    a->flags &= ~BIGNUM_FLAG_STATIC;
    if (owned) MEM_Free(a);
    return 1;
}

BigNum* BIGNUM_Expand(BigNum* a, int n) {
    if (!a) return nullptr;
    if (n <= a->capacity) return a;
    if (n > BIGNUM_MAX_WORDS || (a->flags & BIGNUM_FLAG_STATIC)) return nullptr;
    auto* words = static_cast<Word*>(MEM_Alloc(static_cast<size_t>(n) * sizeof(Word)));
    if (!words) return nullptr;
    if (a->used > 0) std::memcpy(words, a->words, static_cast<size_t>(a->used) * sizeof(Word));
    MEM_Free(a->words);  // wiped by the allocator: the old array may hold a secret
    a->words = words;
    a->capacity = n;
    return a;
}

const BigNum* BIGNUM_One() { return &kOne; }

BigNumContext* BIGNUM_CTX_New() {
    auto* ctx = MEM_New<BigNumContext>();
    if (!ctx) return nullptr;
    for (BigNum*& slot : ctx->slot) {
        slot = BIGNUM_New();
        if (!slot) {
            BIGNUM_CTX_Free(ctx);
            return nullptr;
        }
        slot->flags = BIGNUM_FLAG_SLOT;
    }
    return ctx;
}

void BIGNUM_CTX_Free(BigNumContext* ctx) {
    if (!ctx) return;
    for (BigNum* slot : ctx->slot) BIGNUM_Free(slot);
    MEM_Free(ctx);
}

// ---- conversion -----------------------------------------------------------------------------

BigNum* BIGNUM_FromBytes(const uint8_t* bytes, uint32_t len, BigNum* out) {
    if (!bytes && len) return nullptr;
    BigNum* r = out ? out : BIGNUM_New();
    if (!r) return nullptr;
    if (len == 0) {
        r->used = 0;
        return r;
    }
    const int64_t k = len / 4 + (len % 4 != 0);
    if (!ExpandTo(r, k)) {
        if (!out) BIGNUM_Free(r);
        return nullptr;
    }
    const int words = static_cast<int>(k);
    uint32_t take = (len - 1) % 4 + 1;
    for (int i = words - 1; i >= 0; --i) {
        Word w = 0;
        for (uint32_t c = 0; c < take; ++c) w = (w << 8) | *bytes++;
        r->words[i] = w;
        take = 4;
    }
    r->used = words;
    Normalise(r);
    return r;
}

int BIGNUM_ToBytes(const BigNum* a, uint8_t* out) {
    if (!a) return 0;
    const int n = (BIGNUM_NumBits(a) + 7) / 8;
    for (int j = 0; j < n; ++j) out[n - 1 - j] = static_cast<uint8_t>(a->words[j / 4] >> (8 * (j % 4)));
    return n;
}

int BIGNUM_ToHex(const BigNum* a, char* text, int* len) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (!a || !text || !len) return 0;
    if (*len < a->used * 8 + 2) return 0;
    int n = 0;
    if (a->used == 0) {
        text[n++] = '0';
    } else {
        bool leading = true;
        for (int i = a->used - 1; i >= 0; --i) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                const unsigned byte = (a->words[i] >> shift) & 0xFF;
                if (leading && byte == 0) continue;
                leading = false;
                text[n++] = kDigits[byte >> 4];
                text[n++] = kDigits[byte & 15];
            }
        }
    }
    text[n] = '\0';
    *len = n;
    return 1;
}

// ---- queries --------------------------------------------------------------------------------

int BIGNUM_NumBitsWord(uint32_t w) {
    if (w & 0xFF000000u) return kByteBits[w >> 24] + 24;
    if (w & 0x00FF0000u) return kByteBits[w >> 16] + 16;
    if (w & 0x0000FF00u) return kByteBits[w >> 8] + 8;
    return kByteBits[w];
}

int BIGNUM_NumBits(const BigNum* a) {
    if (!a || a->used == 0) return 0;
    return (a->used - 1) * 32 + BIGNUM_NumBitsWord(a->words[a->used - 1]);
}

int BIGNUM_Cmp(const BigNum* a, const BigNum* b) {
    if (a->used != b->used) return a->used > b->used ? 1 : -1;
    return WORDS_Cmp(a->words, b->words, a->used);
}

int BIGNUM_IsBitSet(const BigNum* a, int n) {
    if (!a || n < 0 || n / 32 >= a->used) return 0;
    return (a->words[n / 32] >> (n % 32)) & 1;
}

uint32_t BIGNUM_GetWord(const BigNum* a) {
    if (!a || a->used == 0) return 0;
    return a->used == 1 ? a->words[0] : 0xFFFFFFFFu;
}

// ---- assignment and copying -----------------------------------------------------------------

int BIGNUM_SetWord(BigNum* a, uint32_t w) {
    if (!BIGNUM_Expand(a, 1)) return 0;
    a->words[0] = w;
    a->used = w ? 1 : 0;
    return 1;
}

int BIGNUM_Copy(BigNum* dst, const BigNum* src) {
    if (!dst || !src) return 0;
    if (dst == src) return 1;
    if (!BIGNUM_Expand(dst, src->used)) return 0;
    if (src->used > 0) std::memcpy(dst->words, src->words, static_cast<size_t>(src->used) * sizeof(Word));
    dst->used = src->used;
    return 1;
}

BigNum* BIGNUM_Dup(const BigNum* src) {
    if (!src) return nullptr;
    BigNum* r = BIGNUM_New();
    if (r && !BIGNUM_Copy(r, src)) {
        BIGNUM_Free(r);
        return nullptr;
    }
    return r;
}

// ---- shifts ---------------------------------------------------------------------------------

int BIGNUM_LShift(BigNum* r, const BigNum* a, int n) {
    if (!r || !a || n < 0) return 0;
    const int al = a->used;
    if (al == 0) {
        r->used = 0;
        return 1;
    }
    const int nw = n / 32, nb = n % 32;
    if (!ExpandTo(r, int64_t{al} + nw + 1)) return 0;
    const Word* s = a->words;  // read after the growth: r may be a
    Word* d = r->words;
    if (nb == 0) {
        for (int i = al - 1; i >= 0; --i) d[i + nw] = s[i];
        d[al + nw] = 0;
    } else {
        d[al + nw] = s[al - 1] >> (32 - nb);
        for (int i = al - 1; i > 0; --i) d[i + nw] = (s[i] << nb) | (s[i - 1] >> (32 - nb));
        d[nw] = s[0] << nb;
    }
    for (int i = 0; i < nw; ++i) d[i] = 0;
    r->used = al + nw + 1;
    Normalise(r);
    return 1;
}

int BIGNUM_RShift(BigNum* r, const BigNum* a, int n) {
    if (!r || !a || n < 0) return 0;
    const int al = a->used;
    const int nw = n / 32, nb = n % 32;
    if (nw >= al) {
        r->used = 0;
        return 1;
    }
    if (r == a && n == 0) return 1;
    if (r != a && !BIGNUM_Expand(r, al - nw + 1)) return 0;
    const Word* s = a->words;
    Word* d = r->words;
    const int len = al - nw;
    if (nb == 0) {
        for (int i = 0; i < len; ++i) d[i] = s[i + nw];
    } else {
        for (int i = 0; i < len - 1; ++i) d[i] = (s[i + nw] >> nb) | (s[i + nw + 1] << (32 - nb));
        d[len - 1] = s[al - 1] >> nb;
    }
    r->used = len;
    Normalise(r);
    return 1;
}

// ---- addition and subtraction ---------------------------------------------------------------

int BIGNUM_Add(BigNum* r, const BigNum* a, const BigNum* b) {
    if (!r || !a || !b) return 0;
    const BigNum* x = a->used >= b->used ? a : b;
    const BigNum* y = x == a ? b : a;
    const int xl = x->used, yl = y->used;
    if (!BIGNUM_Expand(r, xl + 1)) return 0;
    Word* d = r->words;
    Word c = WORDS_Add(d, x->words, y->words, yl);
    for (int i = yl; i < xl; ++i) {
        const Word t = x->words[i] + c;
        c = t < c;
        d[i] = t;
    }
    d[xl] = c;
    r->used = xl + static_cast<int>(c);
    return 1;
}

int BIGNUM_Sub(BigNum* r, const BigNum* a, const BigNum* b) {
    if (!r || !a || !b) return 0;
    const int al = a->used, bl = b->used;
    if (bl > al) return 0;  // a < b: refused before anything is written
    if (!BIGNUM_Expand(r, al)) return 0;
    Word* d = r->words;
    Word borrow = WORDS_Sub(d, a->words, b->words, bl);
    for (int i = bl; i < al; ++i) {
        const Word t = a->words[i];
        d[i] = t - borrow;
        borrow = t < borrow;
    }
    if (borrow) return 0;
    r->used = al;
    Normalise(r);
    return 1;
}

int BIGNUM_AddWord(BigNum* a, uint32_t w) {
    if (!a) return 0;
    if (w == 0) return 1;
    if (a->used == 0) return BIGNUM_SetWord(a, w);
    // The carry can pass the top word when that is all ones, or when it is word 0 itself.
    const Word top = a->words[a->used - 1];
    const bool may_carry_out = top == 0xFFFFFFFFu || (a->used == 1 && top > 0xFFFFFFFFu - w);
    if (may_carry_out && !BIGNUM_Expand(a, a->used + 1)) return 0;
    Word c = w;
    for (int i = 0; c && i < a->used; ++i) {
        const Word t = a->words[i] + c;
        c = t < c;
        a->words[i] = t;
    }
    if (c) a->words[a->used++] = c;
    return 1;
}

uint32_t BIGNUM_ModWord(const BigNum* a, uint32_t w) {
    if (w == 0) return 0xFFFFFFFFu;
    if (!a) return 0;
    DWord rem = 0;
    for (int i = a->used - 1; i >= 0; --i) rem = ((rem << 32) | a->words[i]) % w;
    return static_cast<uint32_t>(rem);
}

}  // namespace quillon
