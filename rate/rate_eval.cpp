#include "rate/rate_eval.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "common/count_of.h"

namespace {

struct RateNumberWord {
    const char *word;
    double value;
};

// The only number words.
const RateNumberWord RATE_NUMBER_WORDS[] = {{"one", 1}, {"two", 2}, {"ten", 10}};

struct PowerOfTen {
    int32_t exponent;
    double value;
};

// The powers of ten of the magnitude words as the compiler rounds their
// literals: the nearest doubles. The C runtimes' pow() differ from these in
// the last bit for some exponents (MinGW's for most above 30), which would
// make the two builds disagree.
const PowerOfTen POWERS_OF_TEN[] = {
    {2, 1e2}, {3, 1e3}, {6, 1e6}, {9, 1e9}, {12, 1e12}, {15, 1e15}, {18, 1e18},
    {21, 1e21}, {24, 1e24}, {27, 1e27}, {30, 1e30}, {33, 1e33}, {36, 1e36},
    {39, 1e39}, {42, 1e42}, {45, 1e45}, {48, 1e48}, {51, 1e51}, {54, 1e54},
    {57, 1e57}, {60, 1e60}, {63, 1e63}, {100, 1e100}, {303, 1e303},
};

// Index of token in a word list, or -1.
int32_t find_word(const char *const *words, size_t count, const char *token)
{
    for (size_t i = 0; i < count; ++i) {
        if (strcmp(words[i], token) == 0) return (int32_t)i;
    }
    return -1;
}

const RateMagnitude *find_magnitude(const char *token)
{
    for (const RateMagnitude &m : RATE_MAGNITUDES) {
        if (strcmp(m.word, token) == 0) return &m;
    }
    return NULL;
}

const RateNumberWord *find_number_word(const char *token)
{
    for (const RateNumberWord &w : RATE_NUMBER_WORDS) {
        if (strcmp(w.word, token) == 0) return &w;
    }
    return NULL;
}

// Converts a whole numeric token. Returns 1 with *value set, or 0 when the
// token is not wholly one decimal number or reads as not-a-number. Tokens
// hold only digits, + - . and e, so strtod sees no locale-dependent text
// other than the point, and this program never changes LC_NUMERIC.
int convert_decimal(const char *token, double *value)
{
    char *end = NULL;
    double v = strtod(token, &end);
    if (end == token || *end != '\0' || isnan(v)) return 0;
    *value = v;
    return 1;
}

// The evaluation state of one call.
struct RateSum {
    double group_value;
    int32_t group_open;
    double total;
    int32_t exponent_sum;
    int32_t quantity_seen;
    uint32_t overflowed;
};

// A number or number word: closes any open group and opens one of value.
void begin_group(RateSum *sum, double value)
{
    if (sum->group_open) sum->total += sum->group_value;
    sum->group_value = value;
    sum->group_open = 1;
    sum->quantity_seen = 1;
}

void apply_magnitude(RateSum *sum, int32_t exponent)
{
    if (!sum->group_open) sum->group_value = 1.0;
    sum->group_value *= rate_power_of_ten(exponent);
    if (isinf(sum->group_value)) sum->overflowed = 1;
    sum->exponent_sum += exponent;
    sum->group_open = 1;
    if (exponent >= 3) {
        sum->total += sum->group_value;
        sum->group_value = 0.0;
        sum->group_open = 0;
        sum->quantity_seen = 1;
    }
}

// Fills a cleared entry with a successful reading.
void write_success(RateEntry *entry, double rate, uint32_t overflowed)
{
    memset(entry, 0, sizeof *entry);
    entry->status = RATE_OK;
    entry->requested_rate = rate;
    entry->overflowed = overflowed;
}

void describe_total(RateEntry *entry, double total, int32_t exponent_sum)
{
    char *out = entry->description;
    const size_t bound = RATE_DESCRIPTION_BOUND;
    double printable = rate_printable_number(total);
    if (isinf(total)) {
        entry->overflowed = 1;
        snprintf(out, bound, "%s", "beyond 1e308 (treated as infinite)");
    } else if (exponent_sum > CENTILLION_EXPONENT_SUM) {
        snprintf(out, bound, "%.3g (about 1 centillion = 10^303)", printable);
    } else if (total >= 1000000.0 || (total > 0.0 && total < 0.0001)) {
        snprintf(out, bound, "%.4g", printable);
    } else {
        snprintf(out, bound, "%.10g", printable);
    }
}

}  // namespace

// Words skipped wherever they stand.
const char *const RATE_IGNORED_WORDS[RATE_IGNORED_WORD_COUNT] = {
    "cps", "clicks", "click", "presses", "press", "persecond", "/s", "/sec", "hz",
    "times", "persec", "per", "second", "a", "of", "and", "sec", "s",
};

// Words that settle the rate as infinite.
const char *const RATE_INFINITY_WORDS[RATE_INFINITY_WORD_COUNT] = {
    "inf", "infinity", "infinite", "infinit", "infinitely", "unlimited", "max", "maximum", "nolimit",
};

// Magnitude words and their powers of ten. Every exponent used here must have
// its value in POWERS_OF_TEN below.
const RateMagnitude RATE_MAGNITUDES[RATE_MAGNITUDE_COUNT] = {
    {"hundred", 2},
    {"thousand", 3}, {"thousands", 3},
    {"million", 6}, {"millions", 6}, {"milion", 6}, {"mil", 6},
    {"billion", 9}, {"billions", 9}, {"bilion", 9},
    {"trillion", 12}, {"trilion", 12},
    {"quadrillion", 15},
    {"quintillion", 18},
    {"sextillion", 21},
    {"septillion", 24},
    {"octillion", 27},
    {"nonillion", 30},
    {"decillion", 33},
    {"undecillion", 36},
    {"duodecillion", 39},
    {"tredecillion", 42},
    {"quattuordecillion", 45},
    {"quindecillion", 48},
    {"sexdecillion", 51},
    {"septendecillion", 54},
    {"octodecillion", 57},
    {"novemdecillion", 60},
    {"vigintillion", 63},
    {"googol", 100},
    {"centillion", 303}, {"centillions", 303}, {"centilion", 303}, {"centilions", 303},
    {"centillon", 303}, {"centilon", 303},
};

double rate_power_of_ten(int32_t exponent)
{
    for (const PowerOfTen &p : POWERS_OF_TEN) {
        if (p.exponent == exponent) return p.value;
    }
    return pow(10.0, (double)exponent);
}

double rate_printable_number(double value)
{
    return isnan(value) ? fabs(value) : value;
}

int32_t evaluate_rate_tokens(const RateTokens *tokens, RateEntry *entry)
{
    RateSum sum = {0.0, 0, 0.0, 0, 0, 0};
    for (int32_t i = 0; i < tokens->token_count; ++i) {
        const char *token = tokens->tokens[i];
        unsigned char first = (unsigned char)token[0];
        // No word of the tables begins with a digit, a sign or a point, so a
        // numeric token is converted without searching them.
        if ((first >= '0' && first <= '9') || first == '+' || first == '-' || first == '.') {
            double value;
            if (!convert_decimal(token, &value)) return RATE_NOT_UNDERSTOOD;
            if (isinf(value)) sum.overflowed = 1;
            begin_group(&sum, value);
            continue;
        }
        if (find_word(RATE_IGNORED_WORDS, COUNT_OF(RATE_IGNORED_WORDS), token) >= 0) continue;
        if (find_word(RATE_INFINITY_WORDS, COUNT_OF(RATE_INFINITY_WORDS), token) >= 0) {
            write_success(entry, INFINITY, sum.overflowed);
            snprintf(entry->description, RATE_DESCRIPTION_BOUND, "%s", "infinite");
            return RATE_OK;
        }
        const RateMagnitude *magnitude = find_magnitude(token);
        if (magnitude) {
            apply_magnitude(&sum, magnitude->exponent);
            continue;
        }
        const RateNumberWord *number = find_number_word(token);
        if (number) {
            begin_group(&sum, number->value);
            continue;
        }
        return RATE_NOT_UNDERSTOOD;
    }
    if (sum.group_open) sum.total += sum.group_value;
    if (!sum.quantity_seen) return RATE_EMPTY;
    write_success(entry, sum.total, sum.overflowed);
    describe_total(entry, sum.total, sum.exponent_sum);
    return RATE_OK;
}

int32_t parse_rate_text(const char *text, RateEntry *entry)
{
    RateTokens tokens;
    int32_t status = tokenize_rate_text(text, &tokens);
    if (status != RATE_OK) return status;
    return evaluate_rate_tokens(&tokens, entry);
}
