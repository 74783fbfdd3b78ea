#include "rate/rate_tokens.h"
#include <string.h>
#include "rate/rate_entry.h"

namespace {

// Character classes are fixed, whatever the user's locale: no <ctype.h>.
int is_dropped(unsigned char c) { return c == '\'' || c == ',' || c == '_'; }
int is_space(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
int is_letter(unsigned char c) { return c >= 'a' && c <= 'z'; }
int is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
int is_numeric_mark(unsigned char c) { return c == '+' || c == '-' || c == '.'; }

// Length of the numeric token starting at s (s[0] is a digit or numeric mark).
int32_t numeric_token_length(const unsigned char *s)
{
    int32_t n = 0;
    while (n < RATE_TOKEN_MAX_CHARS) {
        unsigned char c = s[n];
        if (is_digit(c) || is_numeric_mark(c)) {
            ++n;
        } else if (c == 'e' && (s[n + 1] == '+' || s[n + 1] == '-' || is_digit(s[n + 1]))) {
            ++n;
        } else {
            break;
        }
    }
    return n;
}

// Length of the run of letters starting at s, at most limit.
int32_t letter_run_length(const unsigned char *s, int32_t limit)
{
    int32_t n = 0;
    while (n < limit && is_letter(s[n])) ++n;
    return n;
}

// 1 when token is exactly three digits.
int is_digit_group(const char *token)
{
    return is_digit((unsigned char)token[0]) && is_digit((unsigned char)token[1]) &&
           is_digit((unsigned char)token[2]) && token[3] == '\0';
}

// 1 when token may take a following digit group: it begins with a digit and
// holds no point and no e.
int takes_digit_groups(const char *token)
{
    if (!is_digit((unsigned char)token[0])) return 0;
    return strchr(token, '.') == NULL && strchr(token, 'e') == NULL;
}

}  // namespace

int32_t normalise_rate_text(const char *text, char *out)
{
    int32_t kept = 0;
    out[0] = '\0';
    if (!text) return RATE_EMPTY;
    for (const unsigned char *p = (const unsigned char *)text; *p && kept < RATE_TEXT_MAX_CHARS; ++p) {
        unsigned char c = *p;
        if (is_dropped(c)) continue;
        if (c >= 'A' && c <= 'Z') c = (unsigned char)(c - 'A' + 'a');
        out[kept++] = (char)c;
    }
    out[kept] = '\0';
    return kept ? RATE_OK : RATE_EMPTY;
}

int32_t split_rate_tokens(const char *normalised, RateTokens *out)
{
    const unsigned char *p = (const unsigned char *)normalised;
    out->token_count = 0;
    while (*p) {
        unsigned char c = *p;
        int32_t length;
        if (is_space(c)) {
            ++p;
            continue;
        }
        if (c == '/') {
            length = 1 + letter_run_length(p + 1, RATE_TOKEN_MAX_CHARS - 1);
        } else if (is_digit(c) || is_numeric_mark(c)) {
            length = numeric_token_length(p);
        } else if (is_letter(c)) {
            length = letter_run_length(p, RATE_TOKEN_MAX_CHARS);
        } else {
            return RATE_NOT_UNDERSTOOD;
        }
        char *slot = out->tokens[out->token_count++];
        memcpy(slot, p, (size_t)length);
        slot[length] = '\0';
        p += length;
        if (out->token_count == RATE_MAX_TOKENS) break;
    }
    return out->token_count ? RATE_OK : RATE_EMPTY;
}

void join_digit_groups(RateTokens *tokens)
{
    int32_t i = 1;
    while (i < tokens->token_count) {
        char *previous = tokens->tokens[i - 1];
        const char *current = tokens->tokens[i];
        size_t previous_length = strlen(previous);
        if (is_digit_group(current) && takes_digit_groups(previous) &&
            previous_length + 3 <= RATE_JOINED_MAX_CHARS) {
            memcpy(previous + previous_length, current, 4);
            for (int32_t k = i; k + 1 < tokens->token_count; ++k) {
                memcpy(tokens->tokens[k], tokens->tokens[k + 1], sizeof tokens->tokens[k]);
            }
            --tokens->token_count;
        } else {
            ++i;
        }
    }
}

int32_t tokenize_rate_text(const char *text, RateTokens *out)
{
    char normalised[RATE_TEXT_MAX_CHARS + 1];
    int32_t status = normalise_rate_text(text, normalised);
    if (status != RATE_OK) return status;
    status = split_rate_tokens(normalised, out);
    if (status != RATE_OK) return status;
    if (out->token_count > 1) join_digit_groups(out);
    return RATE_OK;
}
