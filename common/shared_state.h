// The state that outlives a single call: what the window thread and the
// pacing worker share, and what the run and the window keep between
// messages. Every piece is listed here with who writes and who reads it;
// each is defined by the module that writes it. Portable and a leaf: it
// includes nothing of the program's, so any layer may read it.
//
// running           written by the run controller (exchange to 1 before a
//                   worker is made, to 0 to stop it); read by the worker
//                   before every reading of the counter, and the window.
// sent_count        worker adds 1 per counted pair; the run controller sets
//                   0 while no worker exists; the window shows it.
// input_refused     worker, after every press: 1 when the system inserted
//                   nothing, 0 when it inserted the press; the run controller
//                   sets 0 while no worker exists; the window's status
//                   refresh reads it.
// perf_frequency    app_main, once, before any worker; the worker.
// current_input     run controller, only while no worker exists, with the
//                   mouse button it names turned into the physical one; the
//                   worker at every edge, and the status texts.
// period_us,        the Schedule: run controller, only while no worker
// hold_us           exists; the worker once at its start, the status texts.
// held_input        latched and cleared by the worker, taken by every release
//                   path, always under input_lock.
// hotkey_f6_ok,     the window's WM_CREATE, once; the hotkey hint.
// hotkey_f8_ok
// run_state         run controller; the window's message handlers.
// run_hotkeys_      run controller (registered when a run is armed or
// registered        started, unregistered when it ends and when the window
//                   is destroyed); only the run controller reads it.
//
// Win32 only, declared beside their types:
// main_window and   the window's WM_CREATE, once; every layer, the worker's
// the controls      pause test among them (common/window_handles_win.h).
// input_lock        app_main initialises it and never deletes it; guards
//                   held_input and nothing else (input/synthetic_input_win.h).
// worker_thread     run controller only (control/run_controller_win.h).
// instance_mutex    app_main only (app/app_main_win.h).
// system_send_input the system call behind send_input_edge: SendInput from
//                   the start; only tests replace it, while no worker exists
//                   (input/synthetic_input_win.h).
// winmm's timer     app_main's prepare_process, once, before any worker; the
// functions         worker at its start and end (pacing/timer_resolution_win.h,
//                   file-local there).
//
// Everything but running, sent_count, input_refused and held_input belongs
// to the window thread or is written before the worker exists: creating the
// thread orders those writes before the worker's first reads, so they need
// no lock.
#pragma once
#include <atomic>
#include <stdint.h>

struct InputSpec;          // input/input_catalogue.h
struct HeldInput;          // input/held_input.h
enum RunState : uint32_t;  // control/run_transition.h

// 1 while a run is in progress; the worker ends once it reads 0.
extern std::atomic<int32_t> running;
// Completed press/release pairs of the current run. Stops rising at
// INT32_MAX instead of wrapping to a negative number.
extern std::atomic<int32_t> sent_count;
// 1 while the most recent press of the run was refused: the system inserted
// nothing (the window in front belongs to a program of higher integrity, a
// secure desktop is up, or the session is locked). 0 once one is inserted.
extern std::atomic<int32_t> input_refused;
// Performance-counter ticks per second.
extern int64_t perf_frequency;
// The input being sent; all zero (a keyboard input with no key) until the
// first accepted settings. A mouse input names the physical button that
// Windows delivers as the chosen one (the other one on a swapped mouse).
extern InputSpec current_input;
// The Schedule, in microseconds: initially 50000 and 25000 (20 per second).
extern int32_t period_us;
extern int32_t hold_us;
// The one latch: what was pressed and is still owed its release.
extern HeldInput held_input;
// Whether F6 and F8 could be registered as hotkeys.
extern int32_t hotkey_f6_ok;
extern int32_t hotkey_f8_ok;
// Idle, armed or running.
extern RunState run_state;
// Which rows of RUN_HOTKEYS (control/run_hotkeys.h) are registered, a bit
// per row: F6 and F8 with modifiers, held only while a run is armed or
// running.
extern uint32_t run_hotkeys_registered;
