// What the stress scenarios share: a seeded generator for their random
// moments, the input they run at 1000 per second, and the tally of presses
// and releases that shows whether anything was left held down.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "e2e_session.h"

// The generator of the stress scenarios' random moments (xorshift64*). Its
// seed is printed, and E2E_SEED=<seed> repeats a run.
struct Random {
    uint64_t state;
};

// A value in [0, n).
uint32_t random_below(Random *r, uint32_t n);
// A generator seeded from E2E_SEED when it is set, else from the clock; the
// seed is printed.
Random seeded_random(void);
// A user's pause between two actions of a storm, 0 to max_ms long. This is
// the rhythm of the input the driver makes, not a wait for the program.
void random_pause(Random *r, uint32_t max_ms);

// The input a stress scenario runs, and how the recorder and the stop text
// show it.
struct StressInput {
    const char *label;
    const char *held_name;  // what a failure says is still down
    int32_t list_index;
    uint32_t down_message, up_message;
    uint32_t wparam;  // the key's code, or RECORDER_ANY for a button
    WORD vk;          // as GetAsyncKeyState names it
    const char *unit;
};

// Space on the keyboard, and a left click.
extern const StressInput STRESS_SPACE;
extern const StressInput STRESS_LEFT;

// Opens the recorder (once per scenario) with its input tap. Returns 1 once
// it taps.
int32_t open_tapping_recorder(Session *s);
// Chooses the input at 1000 per second, opens the tapping recorder, puts the
// cursor over it for a click and brings it to the front. Returns 1 once the
// recorder is in front.
int32_t prepare_fast_run(Session *s, const StressInput *in);

// What a storm did, and the spans in which the recorder was not in front
// (from just before a click into the program's window until the recorder was
// back): at such a switch a press or a release may go to the window that
// comes to the front instead.
const int32_t STORM_MAX_AWAY = 256;
struct StormLog {
    int32_t f6, f8, clicks, real_clicks;
    int32_t away_count;
    int64_t away_from[STORM_MAX_AWAY], away_to[STORM_MAX_AWAY];
};

// Where a tally starts: the recorder's counts of received messages and of
// tapped input edges at one moment.
struct RecordMark {
    uint32_t events;
    uint32_t taps;
};
RecordMark record_mark(const Session *s);

// How the presses and releases of one input went out and arrived.
const int32_t TALLY_MAX_ODD = 4;
struct PairTally {
    // What the program sent, as the input tap saw it enter the system.
    uint32_t pairs;      // presses followed by their release
    uint32_t stuck;      // presses not released before the next press or the end
    uint32_t stray_ups;  // releases without a press before them
    // What the recorder's window received.
    uint32_t delivered_pairs;
    uint32_t elsewhere;     // presses or releases missing at a switch of the front window
    uint32_t delivery_odd;  // other unpaired ones, where what was sent was paired
    // Recorder indices of the first unpaired received edges, to show around.
    int32_t odd_count;
    uint32_t odd_at[TALLY_MAX_ODD];
};

// Every press the program sent from `from` on is followed by its release
// before its next press, and the system does not hold the key or button. The
// recorder must be in front and tapping. What its window received is tallied
// beside it: an edge the window missed or got twice while the program's own
// edges were paired is the system's routing (at a switch of the front window
// that the log, which may be null, records, or Wine resynchronising its key
// state with the X server) and is reported, not failed. Returns the tally.
PairTally expect_nothing_held(Session *s, RecordMark from, const StressInput *in, const char *when,
                              const StormLog *log);
