// The first stage of reading a rate text: normalising it, cutting it into at
// most 12 short tokens and joining digit groups to the number before them.
// Decides which characters the rate language admits at all. Portable.
#pragma once
#include <stdint.h>

const int32_t RATE_TEXT_MAX_CHARS = 255;   // characters kept by normalisation
const int32_t RATE_MAX_TOKENS = 12;        // tokens kept by splitting
const int32_t RATE_TOKEN_MAX_CHARS = 39;   // characters of one token
const int32_t RATE_JOINED_MAX_CHARS = 38;  // longest token that digit-group joining may produce

// Tokens of one text, in text order, owned by the caller.
struct RateTokens {
    int32_t token_count;                               // 1..RATE_MAX_TOKENS after success
    char tokens[RATE_MAX_TOKENS][RATE_TOKEN_MAX_CHARS + 1];  // terminated, lower case
};

// Drops apostrophes, commas and underscores, lowers A-Z and keeps at most
// RATE_TEXT_MAX_CHARS characters of text (null reads as empty) in out, which
// holds RATE_TEXT_MAX_CHARS + 1 bytes and is always terminated. Returns
// RATE_OK, or RATE_EMPTY when nothing was kept.
int32_t normalise_rate_text(const char *text, char *out);
// Cuts normalised text into word, slash and numeric tokens (each at most
// RATE_TOKEN_MAX_CHARS, at most RATE_MAX_TOKENS; the rest is ignored). Returns
// RATE_OK with out->token_count >= 1, RATE_EMPTY when the text is only
// whitespace, or RATE_NOT_UNDERSTOOD at the first foreign character met.
int32_t split_rate_tokens(const char *normalised, RateTokens *out);
// Appends each token of exactly three digits to a preceding plain digit token
// (no sign first, no point, no e) while the result stays within
// RATE_JOINED_MAX_CHARS; the tokens after it move down. Never fails.
void join_digit_groups(RateTokens *tokens);
// The three steps above in order. Returns RATE_OK with out filled, RATE_EMPTY
// or RATE_NOT_UNDERSTOOD (out then has no meaning). Never allocates.
int32_t tokenize_rate_text(const char *text, RateTokens *out);
