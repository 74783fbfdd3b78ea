// What the planted winmm.dll and the scenario that plants it agree on.
#pragma once

// The file the planted winmm.dll writes beside itself as soon as a process
// loads it; it holds the path of that process's exe.
const char PLANTED_MARKER_NAME[] = "winmm-loaded.txt";
