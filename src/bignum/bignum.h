// BigNum: the library's non-negative arbitrary-precision integer, 32-bit words, least
// significant first, and the scratch context that its arithmetic borrows numbers from.
//
// Operations return 1 for success and 0 for failure (allocation failed, growth refused,
// division by zero) unless noted; on failure an output is releasable but its value unspecified.
#pragma once

#include <cstdint>

#include "core/mem.h"

namespace quillon {

struct BigNum {
    uint32_t* words;   // magnitude, least significant word first; null until the first growth
    int32_t used;      // significant words; 0 is the value zero; words[used - 1] != 0
    int32_t capacity;  // words allocated
    uint32_t flags;    // BIGNUM_FLAG_*
};

constexpr uint32_t BIGNUM_FLAG_ALLOCATED = 1;  // record made by BIGNUM_New
constexpr uint32_t BIGNUM_FLAG_STATIC = 2;     // words are not ours: never grown, wiped or released
constexpr uint32_t BIGNUM_FLAG_SLOT = 4;       // scratch slot of a BigNumContext

constexpr int BIGNUM_MAX_WORDS = 0xFFFFFF;

// Fixed slot roles; an operation and everything it calls never share a slot.
constexpr int BIGNUM_CTX_SLOTS = 40;
constexpr int BIGNUM_SLOT_EXP_TABLE = 0;    // 0..31: odd powers of the base
constexpr int BIGNUM_SLOT_MUL_WORK = 32;    // Karatsuba workspace
constexpr int BIGNUM_SLOT_MUL_RESULT = 33;  // product or square when the result aliases an operand
constexpr int BIGNUM_SLOT_SQR_WORK = 34;    // squaring workspace
constexpr int BIGNUM_SLOT_EXP_SQUARE = 35;  // square of the base
constexpr int BIGNUM_SLOT_DIV_PRODUCT = 36; // complemented divisor for the multiply-subtract
constexpr int BIGNUM_SLOT_DIV_NUM = 37;     // normalised dividend, then remainder
constexpr int BIGNUM_SLOT_DIV_DIVISOR = 38; // normalised divisor
constexpr int BIGNUM_SLOT_DIV_QUOTIENT = 39;// quotient nobody asked for

struct BigNumContext {
    BigNum* slot[BIGNUM_CTX_SLOTS];
};

// ---- creation and storage -------------------------------------------------------------------
BigNum* BIGNUM_New();
// Wipes and releases the words, then the record. Static words are left alone, and records
// not made by BIGNUM_New or a context (e.g. on the stack) only lose their words.
int BIGNUM_Free(BigNum* a);
// Makes room for n words (exactly n); refused above BIGNUM_MAX_WORDS and on static records.
BigNum* BIGNUM_Expand(BigNum* a, int n);
const BigNum* BIGNUM_One();
// Null when the context or any of its slots cannot be allocated.
BigNumContext* BIGNUM_CTX_New();
void BIGNUM_CTX_Free(BigNumContext* ctx);

// ---- conversion -----------------------------------------------------------------------------
// Big-endian bytes; out null makes a new record (released again on failure).
BigNum* BIGNUM_FromBytes(const uint8_t* bytes, uint32_t len, BigNum* out);
// Writes exactly ceil(NumBits / 8) bytes and returns that count; zero writes nothing.
int BIGNUM_ToBytes(const BigNum* a, uint8_t* out);
// *len is text's capacity on entry (at least used * 8 + 2) and the digit count on return.
// Upper case, two digits a byte, "0" for zero, NUL-terminated.
int BIGNUM_ToHex(const BigNum* a, char* text, int* len);

// ---- queries --------------------------------------------------------------------------------
int BIGNUM_NumBits(const BigNum* a);
int BIGNUM_NumBitsWord(uint32_t w);
int BIGNUM_Cmp(const BigNum* a, const BigNum* b);  // -1, 0, 1
int BIGNUM_IsBitSet(const BigNum* a, int n);
// 0xFFFFFFFF when the value needs more than one word.
uint32_t BIGNUM_GetWord(const BigNum* a);

// ---- assignment and copying -----------------------------------------------------------------
int BIGNUM_SetWord(BigNum* a, uint32_t w);
int BIGNUM_Copy(BigNum* dst, const BigNum* src);
BigNum* BIGNUM_Dup(const BigNum* src);

// ---- shifts, addition, subtraction (r may be an operand) -------------------------------------
int BIGNUM_LShift(BigNum* r, const BigNum* a, int n);
int BIGNUM_RShift(BigNum* r, const BigNum* a, int n);
int BIGNUM_Add(BigNum* r, const BigNum* a, const BigNum* b);
// Needs a >= b; fails otherwise.
int BIGNUM_Sub(BigNum* r, const BigNum* a, const BigNum* b);
int BIGNUM_AddWord(BigNum* a, uint32_t w);
// a mod w; 0xFFFFFFFF when w is 0.
uint32_t BIGNUM_ModWord(const BigNum* a, uint32_t w);

// ---- multiplication, division, modular arithmetic (ctx may be null) -------------------------
int BIGNUM_Mul(BigNum* r, const BigNum* a, const BigNum* b, BigNumContext* ctx);  // r may be a or b
int BIGNUM_Sqr(BigNum* r, const BigNum* a, BigNumContext* ctx);                   // r may be a
// Either output may be null; outputs may alias the inputs but not each other.
int BIGNUM_Div(BigNum* quotient, BigNum* remainder, const BigNum* num, const BigNum* divisor,
               BigNumContext* ctx);
int BIGNUM_ModMul(BigNum* r, const BigNum* a, const BigNum* b, const BigNum* m, BigNumContext* ctx);
// r = a^p mod m; r may be any of the operands.
int BIGNUM_ModExp(BigNum* r, const BigNum* a, const BigNum* p, const BigNum* m, BigNumContext* ctx);
int BIGNUM_Gcd(BigNum* r, const BigNum* a, const BigNum* b);
// r (or a new record when r is null) = a^-1 mod n; null when there is no inverse or on failure.
BigNum* BIGNUM_ModInverse(BigNum* r, const BigNum* a, const BigNum* n);

using BigNumPtr = Owned<BigNum, BIGNUM_Free>;
using BigNumContextPtr = Owned<BigNumContext, BIGNUM_CTX_Free>;

}  // namespace quillon
