// Evaluating rate texts: the vocabulary, sums of groups, overflow, the
// descriptions, and the C runtime facts that the results rest on (decimal
// conversion at the edges of the double range, %g exponents).
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "common/count_of.h"
#include "rate/rate_entry.h"
#include "rate/rate_eval.h"
#include "same_rate.h"

namespace {

const double INF = INFINITY;

// An entry full of garbage: a reader must overwrite or keep all of it.
RateEntry garbage_entry()
{
    RateEntry e;
    memset(&e, 0xA5, sizeof e);
    return e;
}

void expect_zero_after_terminator(const RateEntry &e, const std::string &text)
{
    size_t length = strnlen(e.description, sizeof e.description);
    ASSERT_LT(length, (size_t)RATE_DESCRIPTION_BOUND) << text;
    for (size_t i = length; i < sizeof e.description; ++i)
        ASSERT_EQ(e.description[i], 0) << "byte " << i << " of the description of " << text;
}

struct OkCase {
    const char *text;
    double rate;
    uint32_t overflowed;
    const char *description;
};

void expect_ok(const OkCase *cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const OkCase &c = cases[i];
        RateEntry e = garbage_entry();
        ASSERT_EQ(parse_rate_text(c.text, &e), RATE_OK) << "text: " << c.text;
        EXPECT_EQ(e.status, (uint32_t)RATE_OK) << c.text;
        EXPECT_TRUE(same_rate(c.rate, e.requested_rate)) << "text: " << c.text;
        EXPECT_EQ(e.scheduled_rate, 0.0) << c.text;
        EXPECT_EQ(e.overflowed, c.overflowed) << "text: " << c.text;
        EXPECT_STREQ(e.description, c.description) << "text: " << c.text;
        expect_zero_after_terminator(e, c.text);
    }
}

}  // namespace

TEST(RateEval, PlainNumbersUnitsAndDigitGroups)
{
    const OkCase cases[] = {
        {"20", 20, 0, "20"},
        {"20 clicks per second", 20, 0, "20"},
        {"20/s", 20, 0, "20"},
        {"20 hz", 20, 0, "20"},
        {"20cps", 20, 0, "20"},
        {"20 times a second", 20, 0, "20"},
        {"20 presses/sec", 20, 0, "20"},
        {"of and 20 click press persec sec s", 20, 0, "20"},
        {"1,000", 1000, 0, "1000"},
        {"1 000 000", 1000000, 0, "1e+06"},
        {"1000000", 1000000, 0, "1e+06"},
        {"999999", 999999, 0, "999999"},
        {"123456789012", 123456789012.0, 0, "1.235e+11"},
        {"1000.5", 1000.5, 0, "1000.5"},
        {"20 100", 20100, 0, "20100"},
        {"1 0000", 1, 0, "1"},
        {"1 000.5", 1.5, 0, "1.5"},
        {"1 2", 3, 0, "3"},
        {"3 per 2", 5, 0, "5"},
        {"1 2 3 4 5 6 7 8 9 10 11 12 13", 78, 0, "78"},
        {"1e6", 1000000, 0, "1e+06"},
        {"1E6", 1000000, 0, "1e+06"},
        {"-5", -5, 0, "-5"},
        {"+5", 5, 0, "5"},
        {"0", 0.0, 0, "0"},
        {"-0", 0.0, 0, "0"},
        {"0.1", 0.1, 0, "0.1"},
        {"0.0001", 0.0001, 0, "0.0001"},
        {"0.00001", 0.00001, 0, "1e-05"},
        {"1e-400", 0.0, 0, "0"},
        {".5", 0.5, 0, "0.5"},
        {"5.", 5, 0, "5"},
        {"1234567.5", 1234567.5, 0, "1.235e+06"},
        {"0.333333333333", 0.333333333333, 0, "0.3333333333"},
        {"-2e10", -2e10, 0, "-2e+10"},
    };
    expect_ok(cases, COUNT_OF(cases));
}

TEST(RateEval, MagnitudeAndNumberWordsBuildGroups)
{
    const OkCase cases[] = {
        {"2.5 thousand", 2500, 0, "2500"},
        {"1 million 500 thousand", 1500000, 0, "1.5e+06"},
        {"a million", 1000000, 0, "1e+06"},
        {"3 mil", 3000000, 0, "3e+06"},
        {"thousand", 1000, 0, "1000"},
        {"THOUSANDS", 1000, 0, "1000"},
        {"one hundred", 100, 0, "100"},
        {"hundred thousand", 100000, 0, "100000"},
        {"one hundred thousand", 100000, 0, "100000"},
        {"hundred 5", 105, 0, "105"},
        {"5 hundred 000", 500, 0, "500"},
        {"ten thousand", 10000, 0, "10000"},
        {"one hundred ten", 110, 0, "110"},
        {"two hundred one", 201, 0, "201"},
        {"two thousand one", 2001, 0, "2001"},
        {"thousand thousand", 2000, 0, "2000"},
        {"2 thousand million", 1002000, 0, "1.002e+06"},
        {"2 bilion", 2e9, 0, "2e+09"},
        {"1 trilion", 1e12, 0, "1e+12"},
        {"1 vigintillion", 1e63, 0, "1e+63"},
        {"googol", 1e100, 0, "1e+100"},
        {"googol googol", 2e100, 0, "2e+100"},
        {"1 centillion", 1e303, 0, "1e+303 (about 1 centillion = 10^303)"},
        {"1000 centillion", 1e306, 0, "1e+306 (about 1 centillion = 10^303)"},
        {"0 centillion", 0.0, 0, "0 (about 1 centillion = 10^303)"},
        {"1e-300 centillion", 1000, 0, "1e+03 (about 1 centillion = 10^303)"},
        {"centillion centillion", 2e303, 0, "2e+303 (about 1 centillion = 10^303)"},
        {"-1 centilon", -1e303, 0, "-1e+303 (about 1 centillion = 10^303)"},
        {"1e300 thousand", 1e303, 0, "1e+303"},
    };
    expect_ok(cases, COUNT_OF(cases));

    // Every magnitude word multiplies a group of one by its own power of ten.
    for (const RateMagnitude &m : RATE_MAGNITUDES) {
        RateEntry e = garbage_entry();
        std::string text = std::string("1 ") + m.word;
        ASSERT_EQ(parse_rate_text(text.c_str(), &e), RATE_OK) << text;
        EXPECT_TRUE(same_rate(strtod(("1e" + std::to_string(m.exponent)).c_str(), NULL), e.requested_rate))
            << text;
    }
}

TEST(RateEval, InfinityWordsAndOverflow)
{
    const OkCase cases[] = {
        {"infinite", INF, 0, "infinite"},
        {"MAX", INF, 0, "infinite"},
        {"nolimit", INF, 0, "infinite"},
        {"inf", INF, 0, "infinite"},
        {"5 max", INF, 0, "infinite"},
        {"max abc", INF, 0, "infinite"},
        {"1e400 max", INF, 1, "infinite"},
        {"1e306 centillion max", INF, 1, "infinite"},
        {"1e306 centillion", INF, 1, "beyond 1e308 (treated as infinite)"},
        {"1e400", INF, 1, "beyond 1e308 (treated as infinite)"},
        {"-1e400", -INF, 1, "beyond 1e308 (treated as infinite)"},
        {"1e308 1e308", INF, 1, "beyond 1e308 (treated as infinite)"},
        {"1e400 -1e400", NAN, 1, "nan"},
        {"1e400 -1e400 5", NAN, 1, "nan"},
    };
    expect_ok(cases, COUNT_OF(cases));

    for (const char *word : RATE_INFINITY_WORDS) {
        RateEntry e = garbage_entry();
        ASSERT_EQ(parse_rate_text(word, &e), RATE_OK) << word;
        EXPECT_EQ(e.requested_rate, INF) << word;
        EXPECT_STREQ(e.description, "infinite") << word;
    }
}

TEST(RateEval, FailuresLeaveTheEntryUntouched)
{
    struct Case {
        const char *text;
        int32_t status;
    };
    const Case cases[] = {
        {"hundred", RATE_EMPTY},
        {"a hundred", RATE_EMPTY},
        {"hundred hundred", RATE_EMPTY},
        {"clicks per second", RATE_EMPTY},
        {"", RATE_EMPTY},
        {NULL, RATE_EMPTY},
        {"    ", RATE_EMPTY},
        {"1e", RATE_NOT_UNDERSTOOD},
        {"1e+", RATE_NOT_UNDERSTOOD},
        {"1.2.3", RATE_NOT_UNDERSTOOD},
        {"20-30", RATE_NOT_UNDERSTOOD},
        {"+", RATE_NOT_UNDERSTOOD},
        {".", RATE_NOT_UNDERSTOOD},
        {"20 / s", RATE_NOT_UNDERSTOOD},
        {"20 /second", RATE_NOT_UNDERSTOOD},
        {"abc max", RATE_NOT_UNDERSTOOD},
        {"no limit", RATE_NOT_UNDERSTOOD},
        {"twenty", RATE_NOT_UNDERSTOOD},
        {"20 clicks per second please", RATE_NOT_UNDERSTOOD},
        {"0x10", RATE_NOT_UNDERSTOOD},
        {"thousandthousandthousandthousandthousand", RATE_NOT_UNDERSTOOD},
        {"1e400 abc", RATE_NOT_UNDERSTOOD},
        {"20%", RATE_NOT_UNDERSTOOD},
        {"unlimited !", RATE_NOT_UNDERSTOOD},  // the tokenizer refuses before any word counts
    };
    for (const Case &c : cases) {
        RateEntry before = garbage_entry();
        RateEntry e = before;
        EXPECT_EQ(parse_rate_text(c.text, &e), c.status) << "text: " << (c.text ? c.text : "(null)");
        EXPECT_EQ(memcmp(&e, &before, sizeof e), 0) << "entry changed by " << (c.text ? c.text : "(null)");
    }
}

TEST(RateEval, SubnormalsAndTheEdgesOfTheDoubleRangeAgreeOnEveryRuntime)
{
    // The subnormal nearest 1e-310, as a correctly rounding conversion gives it.
    RateEntry e = garbage_entry();
    ASSERT_EQ(parse_rate_text("1e-310", &e), RATE_OK);
    EXPECT_EQ(bits_of(e.requested_rate), 0x000012688B70E62Bull);
    EXPECT_STREQ(e.description, "1e-310");
    EXPECT_EQ(e.overflowed, 0u);

    ASSERT_EQ(parse_rate_text("4.9406564584124654e-324", &e), RATE_OK);
    EXPECT_EQ(bits_of(e.requested_rate), 1ull);
    ASSERT_EQ(parse_rate_text("2.4703282292062327e-324", &e), RATE_OK);
    EXPECT_EQ(bits_of(e.requested_rate), 0ull);
    ASSERT_EQ(parse_rate_text("1.7976931348623157e308", &e), RATE_OK);
    EXPECT_EQ(bits_of(e.requested_rate), 0x7FEFFFFFFFFFFFFFull);
    EXPECT_EQ(e.overflowed, 0u);
    ASSERT_EQ(parse_rate_text("1.7976931348623159e308", &e), RATE_OK);
    EXPECT_EQ(e.requested_rate, INF);
    EXPECT_EQ(e.overflowed, 1u);
    ASSERT_EQ(parse_rate_text("1e-400", &e), RATE_OK);
    EXPECT_EQ(bits_of(e.requested_rate), 0ull);
    EXPECT_EQ(e.overflowed, 0u);
    ASSERT_EQ(parse_rate_text("1e400", &e), RATE_OK);
    EXPECT_EQ(e.requested_rate, INF);
    ASSERT_EQ(parse_rate_text("0.1", &e), RATE_OK);
    EXPECT_EQ(bits_of(e.requested_rate), 0x3FB999999999999Aull);
}

TEST(RateEval, TableWordsCanEachMatchAToken)
{
    // Tokens are lower case, at most 39 characters, and a word token holds
    // only letters (a slash token a slash and letters); the evaluation also
    // relies on no word beginning like a number.
    auto check = [](const char *word) {
        size_t length = strlen(word);
        ASSERT_GE(length, 1u) << word;
        ASSERT_LE(length, 39u) << word;
        for (size_t i = 0; i < length; ++i) {
            bool letter = word[i] >= 'a' && word[i] <= 'z';
            EXPECT_TRUE(letter || (i == 0 && word[i] == '/' && length > 1)) << word;
        }
    };
    for (const char *word : RATE_IGNORED_WORDS) check(word);
    for (const char *word : RATE_INFINITY_WORDS) check(word);
    for (const RateMagnitude &m : RATE_MAGNITUDES) check(m.word);
}

TEST(RateEval, PowersOfTenAreTheNearestDoubles)
{
    // Each power must equal the decimal literal's value; a runtime pow() that
    // is an ulp off would make the two builds disagree.
    for (const RateMagnitude &m : RATE_MAGNITUDES) {
        std::string literal = "1e" + std::to_string(m.exponent);
        EXPECT_EQ(bits_of(rate_power_of_ten(m.exponent)), bits_of(strtod(literal.c_str(), NULL))) << literal;
    }
}

TEST(RateEval, PrintfWritesTwoDigitExponentsAndUnsignedNan)
{
    struct Case {
        const char *format;
        double value;
        const char *text;
    };
    const double negative_nan = -fabs(NAN);
    const Case cases[] = {
        {"%.4g", 1e6, "1e+06"},
        {"%.3g", 1e303, "1e+303"},
        {"%.10g", 1e-5, "1e-05"},
        {"%.4g", 1e-310, "1e-310"},
        {"%.10g", rate_printable_number(negative_nan), "nan"},
        {"%.10g", rate_printable_number(NAN), "nan"},
        {"%.10g", rate_printable_number(-INF), "-inf"},
        {"%.10g", rate_printable_number(-2.5), "-2.5"},
    };
    for (const Case &c : cases) {
        char text[64];
        snprintf(text, sizeof text, c.format, c.value);
        EXPECT_STREQ(text, c.text) << c.format;
    }
}
