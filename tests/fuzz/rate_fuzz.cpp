// Arbitrary bytes into the rate language and the plan: what must hold for
// every text, checked after each call. A violation aborts with a message.
// The input is one text up to its first zero byte; for the interval reading
// the bytes after that zero (or, without one, the second half) are the
// milliseconds text.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "rate/rate_eval.h"
#include "rate/rate_plan.h"
#include "rate/rate_tokens.h"

namespace {

void require(bool holds, const char *what, const char *text)
{
    if (holds) return;
    fprintf(stderr, "rate_fuzz: %s, for the text \"%s\"\n", what, text);
    abort();
}

void check_tokens(const char *text)
{
    RateTokens tokens;
    int32_t status = tokenize_rate_text(text, &tokens);
    require(status == RATE_OK || status == RATE_EMPTY || status == RATE_NOT_UNDERSTOOD,
            "tokenizer status out of range", text);
    if (status != RATE_OK) return;
    require(tokens.token_count >= 1 && tokens.token_count <= RATE_MAX_TOKENS, "token count", text);
    for (int32_t i = 0; i < tokens.token_count; ++i) {
        const char *t = tokens.tokens[i];
        size_t length = strnlen(t, sizeof tokens.tokens[i]);
        require(length >= 1 && length <= RATE_TOKEN_MAX_CHARS, "token length", text);
        unsigned char first = (unsigned char)t[0];
        int numeric = (first >= '0' && first <= '9') || first == '+' || first == '-' || first == '.';
        for (size_t k = 0; k < length; ++k) {
            unsigned char c = (unsigned char)t[k];
            int letter = c >= 'a' && c <= 'z';
            int digit = c >= '0' && c <= '9';
            if (numeric) {
                require(digit || c == '+' || c == '-' || c == '.' || c == 'e', "numeric token content", text);
            } else if (first == '/') {
                require(k == 0 || letter, "slash token content", text);
            } else {
                require(letter, "word token content", text);
            }
        }
    }
}

void check_description(const RateEntry &e, const char *text)
{
    size_t length = strnlen(e.description, sizeof e.description);
    require(length <= RATE_DESCRIPTION_BOUND - 1, "description longer than 95 characters", text);
    for (size_t i = length; i < sizeof e.description; ++i)
        require(e.description[i] == 0, "non-zero byte after the description's terminator", text);
}

void check_parse(const char *text)
{
    RateEntry before;
    memset(&before, 0xC3, sizeof before);
    RateEntry e = before;
    int32_t status = parse_rate_text(text, &e);
    require(status == RATE_OK || status == RATE_EMPTY || status == RATE_NOT_UNDERSTOOD,
            "parser status out of range", text);
    if (status != RATE_OK) {
        require(memcmp(&e, &before, sizeof e) == 0, "a failing parse changed the caller's entry", text);
        return;
    }
    require(e.status == RATE_OK && e.scheduled_rate == 0.0, "parsed entry not fresh", text);
    require(e.overflowed <= 1, "overflow flag not 0 or 1", text);
    check_description(e, text);
}

void check_reading(const RateEntry &e, int interval_mode, const char *text)
{
    require(e.status <= RATE_BAD_INTERVAL, "status out of 0..6", text);
    require(e.overflowed <= 1, "overflow flag not 0 or 1", text);
    check_description(e, text);
    if (e.status <= RATE_BELOW_MIN) {
        require(e.scheduled_rate >= MIN_SCHEDULED_RATE && e.scheduled_rate <= MAX_SCHEDULED_RATE,
                "scheduled rate outside [0.1, 1000]", text);
        int32_t period = period_from_rate(e.scheduled_rate);
        int32_t hold = hold_from_period(period);
        require(period >= 1000 && period <= 10000000, "period outside [1000, 10000000]", text);
        require(hold >= 1000 && hold <= 25000, "hold outside [1000, 25000]", text);
        require(hold <= period, "hold longer than the period", text);
    } else {
        require(e.scheduled_rate == 0.0, "a rate scheduled for a status that cannot run", text);
    }
    if (e.status == RATE_EMPTY || e.status == RATE_NOT_UNDERSTOOD || e.status == RATE_BAD_INTERVAL)
        require(e.description[0] == '\0' && e.requested_rate == 0.0, "failed reading kept values", text);

    // Composed with room to spare, the line must still fit the window's buffer.
    char line[2 * PLAN_TEXT_SIZE];
    compose_plan_line(&e, interval_mode, line, sizeof line);
    require(strlen(line) < PLAN_TEXT_SIZE - 1, "plan line does not fit its 512-byte buffer", text);
}

}  // namespace

const size_t FUZZ_TEXT_MAX = 4096;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static char buffer[FUZZ_TEXT_MAX + 2];
    if (size > FUZZ_TEXT_MAX) size = FUZZ_TEXT_MAX;
    memcpy(buffer, data, size);
    buffer[size] = '\0';
    buffer[size + 1] = '\0';

    const char *first = buffer;
    const char *zero = (const char *)memchr(buffer, 0, size);
    const char *second;
    char halves[FUZZ_TEXT_MAX + 2];
    if (zero) {
        second = zero + 1;
    } else {
        size_t half = size / 2;
        memcpy(halves, buffer, half);
        halves[half] = '\0';
        first = halves;
        second = buffer + half;
    }

    check_tokens(buffer);
    check_parse(buffer);
    check_reading(read_rate_per_second(buffer), 0, buffer);
    check_reading(read_rate_interval(first, second), 1, first);
    check_parse(second);
    return 0;
}
