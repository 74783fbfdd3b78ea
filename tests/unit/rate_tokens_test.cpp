// Cutting rate texts into tokens: character classes, token kinds, the limits
// of 39 characters, 12 tokens and 255 kept characters, and digit-group joining.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "rate/rate_entry.h"
#include "rate/rate_tokens.h"

namespace {

std::vector<std::string> token_list(const RateTokens &t)
{
    std::vector<std::string> list;
    for (int32_t i = 0; i < t.token_count; ++i) list.push_back(t.tokens[i]);
    return list;
}

std::string repeat(char c, size_t n) { return std::string(n, c); }

struct TokenCase {
    std::string text;
    std::vector<std::string> tokens;
};

void expect_tokens(const std::vector<TokenCase> &cases)
{
    for (const TokenCase &c : cases) {
        RateTokens t;
        memset(&t, 0x5A, sizeof t);  // no leftovers from a previous call may help
        ASSERT_EQ(tokenize_rate_text(c.text.c_str(), &t), RATE_OK) << "text: " << c.text;
        EXPECT_EQ(token_list(t), c.tokens) << "text: " << c.text;
    }
}

}  // namespace

TEST(RateTokens, WordsNumbersAndSlashesAreCutApart)
{
    expect_tokens({
        {"20 Clicks/Sec", {"20", "clicks", "/sec"}},
        {"2.5e3/s", {"2.5e3", "/s"}},
        {"1E6", {"1e6"}},
        {"5e-3", {"5e-3"}},
        {"1e+", {"1e+"}},
        {"1e", {"1", "e"}},
        {"1ex", {"1", "ex"}},
        {"1e+5e6", {"1e+5e6"}},
        {"20cps", {"20", "cps"}},
        {"x2", {"x", "2"}},
        {"0x10", {"0", "x", "10"}},
        {"20 / s", {"20", "/", "s"}},
        {"/", {"/"}},
        {"//s", {"/", "/s"}},
        {"/2", {"/", "2"}},
        {"\t20\n", {"20"}},
        {"\v20\f\r", {"20"}},
        {"-.5+-", {"-.5+-"}},
        {"per_second", {"persecond"}},
        {"MAX", {"max"}},
    });
}

TEST(RateTokens, SeparatorsAreDroppedEverywhere)
{
    expect_tokens({
        {"1,000", {"1000"}},
        {"1'000", {"1000"}},
        {"1_000", {"1000"}},
        {"20,5", {"205"}},
        {",2,,0,", {"20"}},
        {"mil'lion", {"million"}},
    });
}

TEST(RateTokens, DigitGroupsJoinOnlyAPlainDigitNumber)
{
    expect_tokens({
        {"1 000", {"1000"}},
        {"1 000 000", {"1000000"}},
        {"2 500 thousand", {"2500", "thousand"}},
        {"1 million 500 000", {"1", "million", "500000"}},
        {"20 100", {"20100"}},
        {"12345 678", {"12345678"}},
        {"1 0000", {"1", "0000"}},
        {"1 00", {"1", "00"}},
        {"+1 000", {"+1", "000"}},
        {"-1 000", {"-1", "000"}},
        {"1.5 000", {"1.5", "000"}},
        {"1e3 000", {"1e3", "000"}},
        {"thousand 000", {"thousand", "000"}},
        {"1 abc 000", {"1", "abc", "000"}},
        {"1 000 x 000 000", {"1000", "x", "000000"}},
        {"000 000", {"000000"}},
    });
}

TEST(RateTokens, LongRunsAreCutInto39CharacterPieces)
{
    expect_tokens({
        {repeat('a', 45), {repeat('a', 39), repeat('a', 6)}},
        {repeat('9', 45), {repeat('9', 39), repeat('9', 6)}},
        {repeat('A', 78), {repeat('a', 39), repeat('a', 39)}},
        {"/" + repeat('s', 45), {"/" + repeat('s', 38), repeat('s', 7)}},
        // A joined token never grows beyond 38 characters.
        {repeat('1', 35) + " 000", {repeat('1', 35) + "000"}},
        {repeat('1', 36) + " 000", {repeat('1', 36), "000"}},
        {repeat('1', 42), {repeat('1', 39), "111"}},
        // An e that would be the 40th character starts the next token.
        {repeat('1', 39) + "e5", {repeat('1', 39), "e", "5"}},
    });
}

TEST(RateTokens, TwelveTokensAreKeptAndTheRestIgnored)
{
    std::string groups = "1";
    for (int i = 0; i < 12; ++i) groups += " 000";
    expect_tokens({
        {"1 2 3 4 5 6 7 8 9 10 11 12 13", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}},
        {"1 2 3 4 5 6 7 8 9 10 11 12 !", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}},
        {"a b c d e f g h i j k l %%%", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}},
        // The groups beyond the twelfth token never join.
        {groups, {"1" + repeat('0', 33)}},
    });
}

TEST(RateTokens, Only255CharactersAreKept)
{
    expect_tokens({
        {"20" + repeat(' ', 298) + "abc", {"20"}},
        {"20" + repeat(' ', 253) + "!", {"20"}},
        {repeat(' ', 253) + "20cps", {"20"}},
        // Dropped characters do not count towards the 255.
        {repeat(',', 400) + "20", {"20"}},
    });
}

TEST(RateTokens, ForeignCharactersAndEmptyTexts)
{
    struct Case {
        std::string text;
        int32_t status;
    };
    const Case cases[] = {
        {"20%", RATE_NOT_UNDERSTOOD},
        {"20 Hz!", RATE_NOT_UNDERSTOOD},
        {"20 \xd7", RATE_NOT_UNDERSTOOD},
        {"20\x80", RATE_NOT_UNDERSTOOD},
        {"\xff", RATE_NOT_UNDERSTOOD},
        {"20\x7f", RATE_NOT_UNDERSTOOD},
        {"20\x01", RATE_NOT_UNDERSTOOD},
        {"\"20\"", RATE_NOT_UNDERSTOOD},
        {"2=2", RATE_NOT_UNDERSTOOD},
        {"1 2 3 4 5 6 7 8 9 10 11 !", RATE_NOT_UNDERSTOOD},
        {"! 20", RATE_NOT_UNDERSTOOD},
        {repeat(' ', 254) + "\xd7", RATE_NOT_UNDERSTOOD},
        {repeat(' ', 255) + "\xd7", RATE_EMPTY},
        {"", RATE_EMPTY},
        {",,,", RATE_EMPTY},
        {"'_,", RATE_EMPTY},
        {"   ", RATE_EMPTY},
        {" \t\n\v\f\r", RATE_EMPTY},
    };
    for (const Case &c : cases) {
        RateTokens t;
        EXPECT_EQ(tokenize_rate_text(c.text.c_str(), &t), c.status) << "text: " << c.text;
    }
    RateTokens t;
    EXPECT_EQ(tokenize_rate_text(NULL, &t), RATE_EMPTY);
}

TEST(RateTokens, NormalisationKeepsAtMost255AndAlwaysTerminates)
{
    char out[RATE_TEXT_MAX_CHARS + 1];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(normalise_rate_text(NULL, out), RATE_EMPTY);
    EXPECT_STREQ(out, "");

    std::string long_text = "A'B" + repeat('c', 300);
    EXPECT_EQ(normalise_rate_text(long_text.c_str(), out), RATE_OK);
    EXPECT_EQ(std::string(out), "ab" + repeat('c', 253));

    EXPECT_EQ(normalise_rate_text("Z\xC4_\xE4", out), RATE_OK);
    EXPECT_STREQ(out, "z\xC4\xE4");  // only A to Z are lowered
}
