// rate_probe: a command-line window onto the rate language, for exploring and
// checking it. Reads only its arguments and prints exactly one line of JSON;
// exit code 0, or 2 with a usage text on standard error.
#include <stdio.h>
#include <string.h>
#include "rate/rate_eval.h"
#include "rate/rate_plan.h"
#include "rate/rate_tokens.h"

namespace {

const char USAGE[] =
    "usage: rate_probe tokens TEXT\n"
    "       rate_probe parse TEXT\n"
    "       rate_probe cps TEXT\n"
    "       rate_probe interval COUNT MS\n"
    "Prints one line of JSON describing how the rate language reads the text(s).\n";

// Writes text as a JSON string: quotes, with \" \\ and every byte below 32 or
// from 127 up as \u00XX.
void put_json_string(const char *text)
{
    putchar('"');
    for (const unsigned char *p = (const unsigned char *)text; *p; ++p) {
        if (*p == '"' || *p == '\\') {
            putchar('\\');
            putchar(*p);
        } else if (*p < 0x20 || *p >= 0x7f) {
            printf("\\u%04x", (unsigned)*p);
        } else {
            putchar(*p);
        }
    }
    putchar('"');
}

// A rate as a JSON string of its %.17g text: "inf", "-inf" and "nan" included.
void put_json_rate(double rate)
{
    char text[40];
    snprintf(text, sizeof text, "%.17g", rate_printable_number(rate));
    put_json_string(text);
}

int probe_tokens(const char *text)
{
    RateTokens tokens;
    int32_t status = tokenize_rate_text(text, &tokens);
    printf("{\"status\":%d,\"tokens\":[", (int)status);
    if (status == RATE_OK) {
        for (int32_t i = 0; i < tokens.token_count; ++i) {
            if (i) putchar(',');
            put_json_string(tokens.tokens[i]);
        }
    }
    printf("]}\n");
    return 0;
}

int probe_parse(const char *text)
{
    RateEntry entry;
    memset(&entry, 0, sizeof entry);
    int32_t status = parse_rate_text(text, &entry);
    if (status != RATE_OK) {
        printf("{\"status\":%d}\n", (int)status);
        return 0;
    }
    printf("{\"status\":%d,\"requested\":", (int)status);
    put_json_rate(entry.requested_rate);
    printf(",\"overflowed\":%u,\"description\":", (unsigned)entry.overflowed);
    put_json_string(entry.description);
    printf("}\n");
    return 0;
}

// A whole reading: the entry, the Schedule a start would set, the plan line.
int probe_reading(const RateEntry &entry, int interval_mode)
{
    printf("{\"status\":%u,\"requested\":", (unsigned)entry.status);
    put_json_rate(entry.requested_rate);
    printf(",\"scheduled\":");
    put_json_rate(entry.scheduled_rate);
    printf(",\"overflowed\":%u,\"description\":", (unsigned)entry.overflowed);
    put_json_string(entry.description);
    if (entry.status <= RATE_BELOW_MIN) {
        int32_t period = period_from_rate(entry.scheduled_rate);
        printf(",\"period_us\":%d,\"hold_us\":%d", (int)period, (int)hold_from_period(period));
    } else {
        printf(",\"period_us\":null,\"hold_us\":null");
    }
    char line[PLAN_TEXT_SIZE];
    compose_plan_line(&entry, interval_mode, line, sizeof line);
    printf(",\"plan\":");
    put_json_string(line);
    printf("}\n");
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    const char *command = argc > 1 ? argv[1] : "";
    if (argc == 3 && strcmp(command, "tokens") == 0) return probe_tokens(argv[2]);
    if (argc == 3 && strcmp(command, "parse") == 0) return probe_parse(argv[2]);
    if (argc == 3 && strcmp(command, "cps") == 0) return probe_reading(read_rate_per_second(argv[2]), 0);
    if (argc == 4 && strcmp(command, "interval") == 0)
        return probe_reading(read_rate_interval(argv[2], argv[3]), 1);
    fputs(USAGE, stderr);
    return 2;
}
