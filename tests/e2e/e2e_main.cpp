// End-to-end scenarios of the real rivanta.exe. The driver starts the program
// in the test prefix's virtual desktop and uses it only as a user would: it
// finds the window by its class, reads and sets control texts by id, clicks
// buttons, brings a recorder window (recorder.h) to the front and presses F6
// and F8 with SendInput. Every wait polls with a deadline.
//
//   e2e_driver <scenario> <path of rivanta.exe> [<folder for the screenshot>
//              [<folder of the fuzzer's corpus>]]
//
// Exit code 0 when every check of the scenario held, 1 otherwise; 2 for an
// unknown scenario. The scenarios are those of e2e_scenarios.def, in one file
// per theme: e2e_startup, e2e_modes, e2e_runs, e2e_hotkeys and e2e_stress_*.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include "e2e_checks.h"

namespace {

// A scenario's name on the command line and its function.
struct Scenario {
    const char *name;
    void (*run)(Session *);
};

// A scenario's function is scenario_<name>, as the list names it.
const Scenario SCENARIOS[] = {
#define E2E_SCENARIO(name, seconds) {#name, scenario_##name},
#include "e2e_scenarios.def"
#undef E2E_SCENARIO
};

// Prints how to call the driver and the scenario names.
void usage(void)
{
    fprintf(stderr, "usage: e2e_driver <scenario> <path of rivanta.exe> [<screenshot folder> "
                    "[<fuzz corpus folder>]]\n"
                    "scenarios:");
    for (size_t i = 0; i < sizeof SCENARIOS / sizeof SCENARIOS[0]; ++i)
        fprintf(stderr, " %s", SCENARIOS[i].name);
    fprintf(stderr, "\n");
}

}  // namespace

char corpus_dir[MAX_PATH];

int main(int argc, char **argv)
{
    if (argc < 3) {
        usage();
        return 2;
    }
    const Scenario *scenario = NULL;
    for (size_t i = 0; i < sizeof SCENARIOS / sizeof SCENARIOS[0]; ++i)
        if (strcmp(argv[1], SCENARIOS[i].name) == 0) scenario = &SCENARIOS[i];
    if (!scenario) {
        usage();
        return 2;
    }

    if (argc > 4) to_windows_path(argv[4], corpus_dir, sizeof corpus_dir);

    static Recorder recorder;
    Session s;
    if (session_begin(&s, scenario->name, &recorder, argv[2], argc > 3 ? argv[3] : NULL))
        scenario->run(&s);
    session_end(&s);

    if (s.failures == 0) printf("PASS [%s]\n", s.scenario);
    else printf("%d check(s) failed in [%s]\n", s.failures, s.scenario);
    return s.failures == 0 ? 0 : 1;
}
