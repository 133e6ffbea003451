// Word-array products and squares behind BIGNUM_Mul and BIGNUM_Sqr. Exposed for the tests;
// BigNum callers use BIGNUM_Mul / BIGNUM_Sqr.
#pragma once

#include "bignum/bn_words.h"

namespace quillon {

// Comba (column-wise) kernels: r receives 2n words.
void WORDS_MulComba4(Word* r, const Word* a, const Word* b);
void WORDS_MulComba8(Word* r, const Word* a, const Word* b);
void WORDS_SqrComba4(Word* r, const Word* a);
void WORDS_SqrComba8(Word* r, const Word* a);

// r[0..na+nb) = a * b, the longer operand as the row.
void WORDS_MulSchool(Word* r, const Word* a, int na, const Word* b, int nb);
// r[0..2n) = a^2; t holds 2n words of workspace.
void WORDS_SqrSchool(Word* r, const Word* a, int n, Word* t);

// Product as BIGNUM_Mul chooses it (Comba 8x8, schoolbook, full or partial Karatsuba).
// MulPlan tells the words of r (at least na + nb) and of the workspace t it needs.
struct MulPlan {
    int result_words;
    int work_words;
};
MulPlan WORDS_MulPlan(int na, int nb);
void WORDS_MulAny(Word* r, const Word* a, int na, const Word* b, int nb, Word* t);

// Square as BIGNUM_Sqr chooses it; r receives 2n words.
int WORDS_SqrWorkWords(int n);
void WORDS_SqrAny(Word* r, const Word* a, int n, Word* t);

}  // namespace quillon
