// Stress scenario of the rate boxes: every single byte, long texts (some
// pasted), digit groups, long words and the fuzzer's corpus, each checked
// against the plan line the rate language composes for it.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "e2e_checks.h"
#include "e2e_stress.h"
#include "rate/rate_plan.h"
#include "control/status_texts.h"

namespace {

const size_t BOX_READ_SIZE = 16384;     // more than any text put into a box here
const size_t LONG_TEXT_LENGTH = 10000;  // the long texts, pasted or set whole
const int32_t WORD_LETTERS = 60;
const int32_t RANDOM_WORDS = 8;
const int32_t RANDOM_GROUP_TEXTS = 8;

// One of the three rate boxes and the mode in which the program reads it.
struct RateBox {
    int32_t id;
    int32_t interval_mode;
    const char *name;
};

const RateBox RATE_BOXES[] = {
    {IDC_CPS_EDIT, 0, "per-second box"},
    {IDC_COUNT_EDIT, 1, "count box"},
    {IDC_MS_EDIT, 1, "milliseconds box"},
};

// Texts full of digit groups: long runs of groups, groups of odd sizes and
// separators in odd places, beside a number word and an exponent.
const char *const DIGIT_GROUP_TEXTS[] = {
    "1,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,"
    "000,000,000,000,000,000,000,000,000,000,000,000",
    "1 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 000 "
    "000 000 000 000 000 000 000 000",
    "999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,999,"
    "999,999,999,999,999,999,999e-300",
    "0.000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,000,001",
    "1,00,000",
    "12,345,678.901,234",
    ",1,000",
    "1,,000",
    "1,000,",
    "1.000.000,5",
    "-1,000",
    "1,000 thousand",
    "1,000,000 centillion",
    "1,000e1,000",
    "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 31 32 33 34",
};

// Words of WORD_LETTERS letters: one letter over and over, the program's own
// words stretched, and letters in both cases.
const char *const LONG_WORDS[] = {
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
    "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ",
    "infiniteeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee",
    "centillioncentillioncentillioncentillioncentillioncentillion",
    "googolgoogolgoogolgoogolgoogolgoogolgoogolgoogolgoogolgoogol",
    "ThousandMillionBillionTrillionQuadrillionQuintillionSextilli",
    "twenty aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
    "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa thousand",
    "1 aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
};

// What the bad-input scenario tried.
struct BadInputTally {
    int32_t texts;
    uint64_t bytes;
    int32_t refused;
    int32_t armed;
    int32_t single_bytes;
    int32_t corpus_entries;
};

// 1 when text has one of the plan line's forms: one of the four refusal
// texts, or a plan for a runnable rate, which begins with the request and
// ends with one of its three fixed sentences.
int32_t plan_line_in_set(const char *text)
{
    static const char *const REFUSED[] = {RATE_EMPTY_TEXT, RATE_NOT_UNDERSTOOD_TEXT,
                                          RATE_NOT_POSITIVE_TEXT, RATE_BAD_INTERVAL_TEXT};
    for (size_t i = 0; i < sizeof REFUSED / sizeof REFUSED[0]; ++i)
        if (strcmp(text, REFUSED[i]) == 0) return 1;
    static const char *const ENDINGS[] = {
        " ms between events). The actual rate in the game depends on Windows and the game; it is "
        "not measured here.",
        ". LIMITED: this tool tops out at the practical maximum of 1000 events per second (1 ms "
        "apart, evenly spaced, never a burst). Scheduled: 1000 per second. There is no infinite "
        "or sub-millisecond click speed; games usually register far fewer.",
        ": below the minimum; running at the minimum. Scheduled: 0.1 per second (one event every "
        "10 s).",
    };
    if (strncmp(text, "Requested: ", 11) != 0 || strlen(text) >= PLAN_TEXT_SIZE) return 0;
    size_t length = strlen(text);
    for (size_t i = 0; i < sizeof ENDINGS / sizeof ENDINGS[0]; ++i) {
        size_t n = strlen(ENDINGS[i]);
        if (length > 11 + n && strcmp(text + length - n, ENDINGS[i]) == 0) return 1;
    }
    return 0;
}

// A box's text as the program reads it: at most its first 127 characters.
void program_reading(HWND box, char *out)
{
    static char whole[BOX_READ_SIZE];
    read_text(box, whole, sizeof whole);
    memcpy(out, whole, RATE_BOX_TEXT_SIZE - 1);
    out[RATE_BOX_TEXT_SIZE - 1] = '\0';
}

// Puts text on the clipboard, owned by a window of the driver.
int32_t put_on_clipboard(const char *text)
{
    static HWND owner = NULL;
    if (!owner) owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (!OpenClipboard(owner)) return 0;
    EmptyClipboard();
    size_t size = strlen(text) + 1;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    int32_t ok = 0;
    if (memory) {
        memcpy(GlobalLock(memory), text, size);
        GlobalUnlock(memory);
        ok = SetClipboardData(CF_TEXT, memory) != NULL;
        if (!ok) GlobalFree(memory);
    }
    CloseClipboard();
    return ok;
}

// Pastes text into an empty box as a user would: a click into the box, then
// Ctrl+V. Returns 1 once the box holds the whole text.
int32_t paste_into(Session *s, HWND box, const char *text)
{
    set_text(box, "");
    if (!expect(s, put_on_clipboard(text), "could not put a text on the clipboard")) return 0;
    if (!bring_to_front(s, s->main, "the program's window")) return 0;
    POINT p = screen_center_of(box);
    left_click_at(s, p.x, p.y);
    expect(s, wait_focus(s, GetDlgCtrlID(box), E2E_REACTION_MS), "the click did not focus the box");
    key_edge(VK_CONTROL, 0);
    press_key('V');
    key_edge(VK_CONTROL, 1);
    static char got[BOX_READ_SIZE];
    if (wait_text(box, text, got, sizeof got, E2E_REACTION_MS)) return 1;
    size_t at = 0;
    while (text[at] && text[at] == got[at]) ++at;
    return expect(s, 0, "the paste of %u characters left %u in the box, the first difference at %u "
                        "(0x%02x pasted, 0x%02x in the box)",
                  (unsigned)strlen(text), (unsigned)strlen(got), (unsigned)at,
                  (unsigned char)text[at], (unsigned char)got[at]);
}

// Puts a text into a rate box (set whole, or pasted) and checks what follows:
// the program lives; the plan line is the one the rate language composes from
// the boxes as the program reads them, and has a form of the plan line's set;
// Start then either refuses with the rate's text and leaves everything idle,
// or arms, and the button's Stop leaves everything idle with nothing sent.
void try_box_text(Session *s, const RateBox *box, const char *text, int32_t paste,
                  const char *label, BadInputTally *tally)
{
    HWND edit = control(s, box->id);
    if (paste) {
        if (!paste_into(s, edit, text)) return;
    } else {
        set_text(edit, text);
    }
    ++tally->texts;
    tally->bytes += strlen(text);
    char first[RATE_BOX_TEXT_SIZE], second[RATE_BOX_TEXT_SIZE];
    RateEntry entry;
    if (box->interval_mode) {
        program_reading(control(s, IDC_COUNT_EDIT), first);
        program_reading(control(s, IDC_MS_EDIT), second);
        entry = read_rate_interval(first, second);
    } else {
        program_reading(control(s, IDC_CPS_EDIT), first);
        entry = read_rate_per_second(first);
    }
    char want[PLAN_TEXT_SIZE], got[E2E_TEXT_SIZE], what[160];
    compose_plan_line(&entry, box->interval_mode, want, sizeof want);
    snprintf(what, sizeof what, "%s in the %s", label, box->name);
    if (!wait_text(control(s, IDC_PLAN), want, got, sizeof got, E2E_REACTION_MS))
        expect_text(s, what, got, want);
    expect(s, plan_line_in_set(got), "%s: the plan line \"%s\" has none of its forms", what, got);

    if (GetForegroundWindow() != s->main && !bring_to_front(s, s->main, "the program's window"))
        return;
    click(control(s, IDC_START));
    HWND status = control(s, IDC_STATUS);
    if (entry.status > RATE_BELOW_MIN) {
        char refusal[STATUS_RATE_REFUSAL_SIZE];
        compose_rate_refusal(refusal, sizeof refusal, entry.status);
        expect_text_soon(s, what, status, refusal);
        expect_idle_controls(s, what, box->interval_mode);
        ++tally->refused;
    } else {
        expect_text_soon(s, what, status, ARMED_SPACE);
        click(control(s, IDC_START));
        expect_text_soon(s, what, status, "Stopped.  (0 presses sent)");
        expect_idle_controls(s, what, box->interval_mode);
        ++tally->armed;
    }
    expect(s, WaitForSingleObject(s->process.hProcess, 0) == WAIT_TIMEOUT,
           "rivanta.exe ended after %s", what);
}

// Selects the box's mode and gives the other boxes of the mode a plain text,
// so that the box under test decides the reading.
void select_box(Session *s, const RateBox *box)
{
    click(control(s, box->interval_mode ? IDC_MODE_INTERVAL : IDC_MODE_CPS));
    set_text(control(s, IDC_COUNT_EDIT), "10");
    set_text(control(s, IDC_MS_EDIT), "100");
}

// A text of n bytes drawn from [low, high].
void random_text(Random *r, char *out, size_t n, uint32_t low, uint32_t high)
{
    for (size_t i = 0; i < n; ++i) out[i] = (char)(low + random_below(r, high - low + 1));
    out[n] = '\0';
}

// A text of digit groups of 1 to 4 digits joined by commas, spaces or points,
// about n characters long.
void random_digit_groups(Random *r, char *out, size_t n)
{
    static const char SEPARATORS[] = ", .";
    size_t used = 0;
    while (used + 6 < n) {
        uint32_t digits = 1 + random_below(r, 4);
        for (uint32_t k = 0; k < digits; ++k) out[used++] = (char)('0' + random_below(r, 10));
        out[used++] = SEPARATORS[random_below(r, 3)];
    }
    out[used] = '\0';
}

// Reads a corpus entry (at most size - 1 bytes, zero-terminated); returns its
// length.
size_t read_corpus_entry(const char *path, char *out, size_t size)
{
    FILE *f = fopen(path, "rb");
    if (!f) return 0;
    size_t n = fread(out, 1, size - 1, f);
    fclose(f);
    out[n] = '\0';
    return n;
}

// The corpus entries through the boxes, read as the fuzzer reads them: the
// text up to the first zero byte into the per-second box and the count box,
// and the bytes after it (or, without one, the second half) into the
// milliseconds box.
void try_corpus(Session *s, BadInputTally *tally)
{
    char pattern[MAX_PATH + 4];
    snprintf(pattern, sizeof pattern, "%s\\*", corpus_dir);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (!expect(s, search != INVALID_HANDLE_VALUE, "no fuzz corpus at %s", corpus_dir)) return;
    static char data[4096], first[4096], second[4096];
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        char path[MAX_PATH * 2];
        snprintf(path, sizeof path, "%s\\%s", corpus_dir, found.cFileName);
        size_t n = read_corpus_entry(path, data, sizeof data);
        size_t split = strlen(data);
        memcpy(first, data, split + 1);
        if (split < n) snprintf(second, sizeof second, "%s", data + split + 1);
        else snprintf(second, sizeof second, "%s", data + n / 2);
        if (split >= n) first[n / 2] = '\0';
        char label[96];
        snprintf(label, sizeof label, "corpus entry %.12s", found.cFileName);
        select_box(s, &RATE_BOXES[0]);
        try_box_text(s, &RATE_BOXES[0], data, 0, label, tally);
        select_box(s, &RATE_BOXES[1]);
        set_text(control(s, IDC_MS_EDIT), second);
        try_box_text(s, &RATE_BOXES[1], first, 0, label, tally);
        ++tally->corpus_entries;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

// ---- scenario: bad input in the rate boxes ----------------------------------------------

// Every single byte, long texts (some pasted), digit groups, long words and
// the fuzzer's corpus, typed into the three rate boxes through the window.
void scenario_bad_input(Session *s)
{
    Random r = seeded_random();
    BadInputTally tally;
    memset(&tally, 0, sizeof tally);
    if (!bring_to_front(s, s->main, "the program's window")) return;
    static char text[LONG_TEXT_LENGTH + 1];
    char label[96];
    for (size_t b = 0; b < sizeof RATE_BOXES / sizeof RATE_BOXES[0]; ++b) {
        const RateBox *box = &RATE_BOXES[b];
        select_box(s, box);
        for (uint32_t byte = 1; byte <= 255; ++byte) {
            char one[2] = {(char)byte, '\0'};
            snprintf(label, sizeof label, "the single byte %u", byte);
            try_box_text(s, box, one, 0, label, &tally);
            ++tally.single_bytes;
        }
        // Long texts: digits, digit groups, number words, printable and any
        // bytes; the per-second box gets two of them pasted.
        for (int32_t kind = 0; kind < 5; ++kind) {
            static const char *const UNITS[] = {"1", "1,000,", "one thousand "};
            if (kind < 3) {
                size_t unit = strlen(UNITS[kind]), used = 0;
                while (used + unit <= LONG_TEXT_LENGTH) {
                    memcpy(text + used, UNITS[kind], unit);
                    used += unit;
                }
                text[used] = '\0';
            } else if (kind == 3) {
                random_text(&r, text, LONG_TEXT_LENGTH, 32, 126);
            } else {
                // One line: a single-line box keeps a pasted text only up
                // to its first line break.
                random_text(&r, text, LONG_TEXT_LENGTH, 1, 255);
                for (char *p = text; *p; ++p)
                    if (*p == '\n' || *p == '\r') *p = ' ';
            }
            int32_t paste = box->id == IDC_CPS_EDIT && kind >= 3;
            snprintf(label, sizeof label, "long text %d (%u characters%s)", kind,
                     (unsigned)strlen(text), paste ? ", pasted" : "");
            try_box_text(s, box, text, paste, label, &tally);
        }
        for (size_t i = 0; i < sizeof DIGIT_GROUP_TEXTS / sizeof DIGIT_GROUP_TEXTS[0]; ++i) {
            snprintf(label, sizeof label, "digit groups \"%s\"", DIGIT_GROUP_TEXTS[i]);
            try_box_text(s, box, DIGIT_GROUP_TEXTS[i], 0, label, &tally);
        }
        for (int32_t i = 0; i < RANDOM_GROUP_TEXTS; ++i) {
            random_digit_groups(&r, text, 140);
            snprintf(label, sizeof label, "digit groups \"%s\"", text);
            try_box_text(s, box, text, 0, label, &tally);
        }
        for (size_t i = 0; i < sizeof LONG_WORDS / sizeof LONG_WORDS[0]; ++i) {
            snprintf(label, sizeof label, "the word \"%s\"", LONG_WORDS[i]);
            try_box_text(s, box, LONG_WORDS[i], 0, label, &tally);
        }
        for (int32_t i = 0; i < RANDOM_WORDS; ++i) {
            for (int32_t k = 0; k < WORD_LETTERS; ++k) {
                uint32_t letter = random_below(&r, 52);
                text[k] = (char)(letter < 26 ? 'a' + letter : 'A' + letter - 26);
            }
            text[WORD_LETTERS] = '\0';
            snprintf(label, sizeof label, "the word \"%s\"", text);
            try_box_text(s, box, text, 0, label, &tally);
        }
    }
    try_corpus(s, &tally);
    note("[ figures ] bad input: %d texts tried (%d single bytes, %d corpus entries), %llu bytes "
         "typed or pasted; %d starts refused, %d armed and stopped; no crash",
         tally.texts, tally.single_bytes, tally.corpus_entries, (unsigned long long)tally.bytes,
         tally.refused, tally.armed);
}
