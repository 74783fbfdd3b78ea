// The second stage of reading a rate text: the vocabulary (ignored words,
// infinity words, magnitudes, number words) and the evaluation of tokens into
// a RateEntry. parse_rate_text is the one reader of rate texts. Portable.
#pragma once
#include <stdint.h>
#include "rate/rate_entry.h"
#include "rate/rate_tokens.h"

// Above this sum of magnitude exponents the description names the centillion.
const int32_t CENTILLION_EXPONENT_SUM = 302;

struct RateMagnitude {
    const char *word;
    int32_t exponent;  // the power of ten
};

const int32_t RATE_IGNORED_WORD_COUNT = 18;
const int32_t RATE_INFINITY_WORD_COUNT = 9;
const int32_t RATE_MAGNITUDE_COUNT = 36;
extern const char *const RATE_IGNORED_WORDS[RATE_IGNORED_WORD_COUNT];
extern const char *const RATE_INFINITY_WORDS[RATE_INFINITY_WORD_COUNT];
extern const RateMagnitude RATE_MAGNITUDES[RATE_MAGNITUDE_COUNT];

// 10 raised to exponent as the nearest double (identical on every C runtime).
double rate_power_of_ten(int32_t exponent);
// Evaluates tokens as a sum of groups. Returns RATE_OK with *entry
// overwritten (status 0, requested_rate, scheduled_rate 0, overflowed,
// description with zero bytes after its terminator), or RATE_EMPTY /
// RATE_NOT_UNDERSTOOD with *entry untouched. Never allocates.
int32_t evaluate_rate_tokens(const RateTokens *tokens, RateEntry *entry);
// Reads one box text (null reads as empty): tokenize_rate_text, then
// evaluate_rate_tokens; same results and guarantees as the latter.
int32_t parse_rate_text(const char *text, RateEntry *entry);
// value itself, except that a not-a-number loses its sign bit so that printf
// writes it as "nan" on every C runtime (glibc writes "-nan" otherwise).
double rate_printable_number(double value);
