// The load of the pacing benchmark's load case: a plain process that keeps
// one core busy with arithmetic, making no system call but a look at its stop
// event about every 10 ms, until that event is set.
//
//   cpu_spinner <name of the stop event>
//
// Exits 0 once stopped; 2 on a usage error or an event it cannot open.
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

namespace {

// Rounds of arithmetic between two looks at the stop event: some 10 ms on a
// current core.
const uint32_t SPIN_ROUNDS = 1u << 22;

// The sum is kept where the compiler must write it, so the loop stays.
volatile uint64_t spin_sink;

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: cpu_spinner <stop event name>\n");
        return 2;
    }
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[1]);
    if (!stop) {
        fprintf(stderr, "cpu_spinner: cannot open the event \"%s\"\n", argv[1]);
        return 2;
    }
    uint64_t x = 88172645463325252ull;
    while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
        for (uint32_t i = 0; i < SPIN_ROUNDS; ++i) {
            // xorshift64: cheap, and no compiler can fold it away.
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
        }
        spin_sink = x;
    }
    CloseHandle(stop);
    return 0;
}
