#pragma once

#include "engine/Extended.h"

#include <cstddef>
#include <cstdint>

// Two escape orbits interleaved by hand on the x87 unit (docs/engine-acceleration.md).
// One orbit leaves the unit waiting on each step's multiply-add chain; a second one fills
// the waits. Written by hand because compiled code spills the eight x87 registers to
// memory when two orbits share them: here z of both lanes and the limit stay in registers,
// c and the saved real part are read from memory, and only an exit stores anything.
//
// One micro-step per lane and round: test z_K (|z|^2 against the limit), form z_K+1 with
// the very operations of a calculation step, count down, and in every other round compare
// with the saved point. The products and sums are those of a step (multiplication and
// addition commute exactly, and 2x is x + x), so every iterate is bit for bit the stepping
// one. The comparison is made at every other step only because its 80-bit load is what
// the loop waits for most: c and the saved point make six such loads a round, the
// arithmetic far fewer cycles. A repeat is still found, at most a period later, since the
// saved point stays put for ever longer stretches.

// A lane as the loop reads it: every field at a 16-byte offset.
struct TPairLane {
    Extended ZR; // the iterate z_K, not yet tested against the limit
    Extended ZI;
    Extended CX;
    Extended CY;
    Extended SR; // real part of the saved point of the cycle search
};
static_assert(sizeof(Extended) == 16 && sizeof(TPairLane) == 80 && offsetof(TPairLane, SR) == 64,
              "the pair loop reads the lanes at fixed offsets");

// Why the loop stopped: which lane, and whether its iterate escaped (the lane's z is then
// not stored), its countdown ran out (at the new iterate), or its new real part equals the
// saved one (the imaginary parts are for the caller to compare).
enum TPairExit : int { EscapedA = 1, CountedA, RepeatA, EscapedB, CountedB, RepeatB };

// The stack at the top of the loop: azr azi bzr bzi L.
#define YS_PAIR_HEAD                                                                               \
    "fldt (%[L])\n\t"                                                                              \
    "fldt 16(%[B])\n\t"                                                                            \
    "fldt (%[B])\n\t"                                                                              \
    "fldt 16(%[A])\n\t"                                                                            \
    "fldt (%[A])\n\t"                                                                              \
    ".p2align 4\n"                                                                                 \
    "1:\n\t"
#define YS_PAIR_LANE_A                                                                             \
    "fld %%st(0)\n\t"          /* azr azr azi bzr bzi L */                                         \
    "fmul %%st(1), %%st\n\t"   /* zr2 azr azi bzr bzi L */                                         \
    "fld %%st(2)\n\t"          /* azi zr2 azr azi bzr bzi L */                                     \
    "fmul %%st(3), %%st\n\t"   /* zi2 zr2 azr azi bzr bzi L */                                     \
    "fld %%st(1)\n\t"          /* zr2 zi2 zr2 azr azi bzr bzi L */                                 \
    "fadd %%st(1), %%st\n\t"   /* sum zi2 zr2 azr azi bzr bzi L */                                 \
    "fcomip %%st(7), %%st\n\t" /* zi2 zr2 azr azi bzr bzi L */                                     \
    "ja 11f\n\t"               /* sum > L, ordered */                                              \
    "fsubr %%st(1), %%st\n\t"  /* zr2-zi2 zr2 azr azi bzr bzi L */                                 \
    "fstp %%st(1)\n\t"         /* d azr azi bzr bzi L */                                           \
    "fxch %%st(1)\n\t"         /* azr d azi bzr bzi L */                                           \
    "fadd %%st(0), %%st\n\t"   /* 2azr d azi bzr bzi L */                                          \
    "fmulp %%st, %%st(2)\n\t"  /* d 2azr*azi bzr bzi L */                                          \
    "fldt 48(%[A])\n\t"        /* cy d p bzr bzi L */                                              \
    "faddp %%st, %%st(2)\n\t"  /* d zi' bzr bzi L */                                               \
    "fldt 32(%[A])\n\t"        /* cx d zi' bzr bzi L */                                            \
    "faddp %%st, %%st(1)\n\t"  /* zr' zi' bzr bzi L */                                             \
    "dec %[CA]\n\t"                                                                                \
    "jz 12f\n\t"
#define YS_PAIR_SEARCH_A                                                                           \
    "fldt 64(%[A])\n\t"         /* sr zr' zi' bzr bzi L */                                         \
    "fucomip %%st(1), %%st\n\t" /* zr' zi' bzr bzi L */                                            \
    "je 13f\n\t"
// Lane B: the same with its iterates two places down.
#define YS_PAIR_LANE_B                                                                             \
    "fld %%st(2)\n\t"          /* bzr azr azi bzr bzi L */                                         \
    "fmul %%st(0), %%st\n\t"   /* zr2 azr azi bzr bzi L */                                         \
    "fld %%st(4)\n\t"          /* bzi zr2 azr azi bzr bzi L */                                     \
    "fmul %%st(0), %%st\n\t"   /* zi2 zr2 azr azi bzr bzi L */                                     \
    "fld %%st(1)\n\t"          /* zr2 zi2 zr2 azr azi bzr bzi L */                                 \
    "fadd %%st(1), %%st\n\t"   /* sum zi2 zr2 azr azi bzr bzi L */                                 \
    "fcomip %%st(7), %%st\n\t" /* zi2 zr2 azr azi bzr bzi L */                                     \
    "ja 14f\n\t"                                                                                   \
    "fsubr %%st(1), %%st\n\t" /* d zr2 azr azi bzr bzi L */                                        \
    "fstp %%st(1)\n\t"        /* d azr azi bzr bzi L */                                            \
    "fxch %%st(3)\n\t"        /* bzr azr azi d bzi L */                                            \
    "fadd %%st(0), %%st\n\t"  /* 2bzr azr azi d bzi L */                                           \
    "fmulp %%st, %%st(4)\n\t" /* azr azi d p L */                                                  \
    "fldt 48(%[B])\n\t"       /* cy azr azi d p L */                                               \
    "faddp %%st, %%st(4)\n\t" /* azr azi d zi' L */                                                \
    "fldt 32(%[B])\n\t"       /* cx azr azi d zi' L */                                             \
    "faddp %%st, %%st(3)\n\t" /* azr azi zr' zi' L */                                              \
    "dec %[CB]\n\t"
#define YS_PAIR_SEARCH_B_LOOP                                                                      \
    "jz 15f\n\t"                                                                                   \
    "fldt 64(%[B])\n\t"         /* sr azr azi zr' zi' L */                                         \
    "fucomip %%st(3), %%st\n\t" /* azr azi zr' zi' L */                                            \
    "jne 1b\n\t"                                                                                   \
    "mov $6, %[Exit]\n\t"                                                                          \
    "jmp 20f\n"
#define YS_PAIR_PLAIN_LOOP                                                                         \
    "jnz 1b\n\t"                                                                                   \
    "jmp 15f\n"
// The exits: an escaped lane's registers are dropped, the other's z stored.
#define YS_PAIR_EXITS                                                                              \
    "11:\n\t" /* zi2 zr2 azr azi bzr bzi L */                                                      \
    "fstp %%st(0)\n\t"                                                                             \
    "fstp %%st(0)\n\t"                                                                             \
    "fstp %%st(0)\n\t"                                                                             \
    "fstp %%st(0)\n\t"                                                                             \
    "fstpt (%[B])\n\t"                                                                             \
    "fstpt 16(%[B])\n\t"                                                                           \
    "fstp %%st(0)\n\t"                                                                             \
    "mov $1, %[Exit]\n\t"                                                                          \
    "jmp 30f\n"                                                                                    \
    "14:\n\t" /* zi2 zr2 azr azi bzr bzi L */                                                      \
    "fstp %%st(0)\n\t"                                                                             \
    "fstp %%st(0)\n\t"                                                                             \
    "fstpt (%[A])\n\t"                                                                             \
    "fstpt 16(%[A])\n\t"                                                                           \
    "fstp %%st(0)\n\t"                                                                             \
    "fstp %%st(0)\n\t"                                                                             \
    "fstp %%st(0)\n\t"                                                                             \
    "mov $4, %[Exit]\n\t"                                                                          \
    "jmp 30f\n"                                                                                    \
    "12:\n\t"                                                                                      \
    "mov $2, %[Exit]\n\t"                                                                          \
    "jmp 20f\n"                                                                                    \
    "13:\n\t"                                                                                      \
    "mov $3, %[Exit]\n\t"                                                                          \
    "jmp 20f\n"                                                                                    \
    "15:\n\t"                                                                                      \
    "mov $5, %[Exit]\n"                                                                            \
    "20:\n\t" /* azr azi bzr bzi L */                                                              \
    "fstpt (%[A])\n\t"                                                                             \
    "fstpt 16(%[A])\n\t"                                                                           \
    "fstpt (%[B])\n\t"                                                                             \
    "fstpt 16(%[B])\n\t"                                                                           \
    "fstp %%st(0)\n"                                                                               \
    "30:\n\t"
#define YS_PAIR_OPERANDS                                                                           \
    : [Exit] "=&r"(Exit), [CA] "+r"(CountA), [CB] "+r"(CountB)                                 \
    : [A] "r"(&A), [B] "r"(&B), [L] "r"(&Limit)                                                \
    : "memory", "cc", "st", "st(1)", "st(2)", "st(3)", "st(4)", "st(5)", "st(6)", "st(7)"

// Runs both lanes until one of them exits; Search compares with the saved points, lane A in
// odd rounds and lane B in even ones (the painter's loop); without it the loop is what
// interleaving alone gives (the benchmark's ceiling). Every count must be at least 1.
template <bool Search>
inline int RunPair(TPairLane& A, TPairLane& B, const Extended& Limit, std::int32_t& CountA,
                   std::int32_t& CountB) {
    int Exit;
    if constexpr (Search)
        asm volatile(YS_PAIR_HEAD YS_PAIR_LANE_A YS_PAIR_SEARCH_A YS_PAIR_LANE_B
                     "jz 15f\n\t" YS_PAIR_LANE_A YS_PAIR_LANE_B YS_PAIR_SEARCH_B_LOOP YS_PAIR_EXITS
                         YS_PAIR_OPERANDS);
    else
        asm volatile(YS_PAIR_HEAD YS_PAIR_LANE_A YS_PAIR_LANE_B YS_PAIR_PLAIN_LOOP YS_PAIR_EXITS
                         YS_PAIR_OPERANDS);
    return Exit;
}

#undef YS_PAIR_HEAD
#undef YS_PAIR_LANE_A
#undef YS_PAIR_SEARCH_A
#undef YS_PAIR_LANE_B
#undef YS_PAIR_SEARCH_B_LOOP
#undef YS_PAIR_PLAIN_LOOP
#undef YS_PAIR_EXITS
#undef YS_PAIR_OPERANDS
