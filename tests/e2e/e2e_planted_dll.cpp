// End-to-end scenario of the folder the program is unzipped into: a
// winmm.dll planted beside rivanta.exe (planted_winmm.cpp, which leaves a
// marker when it is loaded) must never be loaded, neither at start-up nor by
// a run, while a program that imports winmm.dll the ordinary way does load it
// from the same folder.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>
#include "e2e_checks.h"
#include "planted_winmm.h"

namespace {

// Windows looks for a DLL that is not a KnownDLL in the exe's folder first.
// Wine prefers its built-in copy of a system DLL wherever it is asked for,
// unless WINEDLLOVERRIDES says "winmm=n,b"; it reads that from the Unix
// environment a process starts with (set here it would not reach the
// programs the driver starts), so the scenario's ctest entry sets it.
const char WINE_OVERRIDE_NAME[] = "WINEDLLOVERRIDES";
const int32_t MAX_MODULES = 512;

int32_t file_exists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// The marker's text (the exe that loaded the planted DLL), or "" when unreadable.
void read_marker(const char *path, char *text, size_t size)
{
    text[0] = '\0';
    FILE *file = fopen(path, "rb");
    if (!file) return;
    const size_t n = fread(text, 1, size - 1, file);
    text[n] = '\0';
    fclose(file);
}

int32_t copy_into(Session *s, const char *from, const char *to)
{
    return expect(s, CopyFileA(from, to, FALSE) != 0, "could not copy %s to %s (error %lu)", from, to,
                  (unsigned long)GetLastError());
}

// Runs a program to its end; 1 when it ended with code 0.
int32_t run_to_end(Session *s, const char *exe)
{
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    char command[MAX_PATH + 2];
    snprintf(command, sizeof command, "\"%s\"", exe);
    if (!CreateProcessA(exe, command, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &startup, &process))
        return expect(s, 0, "could not start %s (error %lu)", exe, (unsigned long)GetLastError());
    if (s->job) AssignProcessToJobObject(s->job, process.hProcess);
    expect_exit_zero(s, &process, exe);
    return 1;
}

// The path from which the process has loaded a DLL of the given file name
// ("" when it has not loaded one).
void loaded_from(Session *s, HANDLE process, const char *dll, char *path, size_t size)
{
    path[0] = '\0';
    HMODULE modules[MAX_MODULES];
    DWORD needed = 0;
    if (!expect(s, EnumProcessModules(process, modules, sizeof modules, &needed) != 0,
                "the modules of rivanta.exe cannot be listed (error %lu)", (unsigned long)GetLastError()))
        return;
    const DWORD listed = needed / (DWORD)sizeof modules[0];
    const DWORD count = listed < (DWORD)MAX_MODULES ? listed : (DWORD)MAX_MODULES;
    for (DWORD i = 0; i < count; ++i) {
        char file[MAX_PATH] = "";
        if (!GetModuleFileNameExA(process, modules[i], file, sizeof file)) continue;
        const char *name = strrchr(file, '\\');
        if (_stricmp(name ? name + 1 : file, dll) == 0) {
            snprintf(path, size, "%s", file);
            return;
        }
    }
}

// A run of Space at 20 per second from the recorder, ended by F8: the worker
// raises and lowers the timer resolution around it.
void short_run(Session *s)
{
    if (!open_recorder_beside(s)) return;
    const uint32_t from = recorder_count(s->rec);
    if (!start_by_f6_from_recorder(s, from, WM_KEYDOWN, VK_SPACE)) return;
    expect(s, wait_events(s, from, WM_KEYDOWN, VK_SPACE, 3, E2E_REACTION_MS), "fewer than 3 presses arrived");
    press_key(VK_F8);
    char got[E2E_TEXT_SIZE];
    expect(s, wait_text_prefix(control(s, IDC_STATUS), "Stopped by F8.", got, sizeof got, E2E_REACTION_MS),
           "F8 did not stop the run: \"%s\"", got);
}

}  // namespace

// ---- scenario: a winmm.dll planted beside the exe ---------------------------------

void scenario_planted_dll(Session *s)
{
    if (!expect(s, s->out_dir[0] != '\0', "the scenario needs a folder to plant the DLL in")) return;
    // The copy in the build folder makes way for the copy in the planted folder.
    close_rivanta(s);

    char folder[MAX_PATH], exe[MAX_PATH], dll[MAX_PATH], importer[MAX_PATH], marker[MAX_PATH];
    char planted_source[MAX_PATH], importer_source[MAX_PATH];
    snprintf(folder, sizeof folder, "%s\\planted", s->out_dir);
    snprintf(exe, sizeof exe, "%s\\rivanta.exe", folder);
    snprintf(dll, sizeof dll, "%s\\winmm.dll", folder);
    snprintf(importer, sizeof importer, "%s\\winmm_importer.exe", folder);
    snprintf(marker, sizeof marker, "%s\\%s", folder, PLANTED_MARKER_NAME);
    to_windows_path(E2E_PLANTED_DLL, planted_source, sizeof planted_source);
    to_windows_path(E2E_WINMM_IMPORTER, importer_source, sizeof importer_source);
    CreateDirectoryA(folder, NULL);
    if (!copy_into(s, s->exe, exe) || !copy_into(s, planted_source, dll) ||
        !copy_into(s, importer_source, importer))
        return;
    DeleteFileA(marker);
    if (!expect(s, !file_exists(marker), "the marker %s of an earlier run cannot be removed", marker)) return;

    char override_text[256] = "";
    GetEnvironmentVariableA(WINE_OVERRIDE_NAME, override_text, sizeof override_text);
    note("%s=%s", WINE_OVERRIDE_NAME, override_text);

    // The control: a program importing winmm.dll from this folder loads the
    // planted copy, so the folder is searched and the marker can appear.
    char text[MAX_PATH * 2];
    if (run_to_end(s, importer)) {
        read_marker(marker, text, sizeof text);
        expect(s, file_exists(marker),
               "a program importing winmm.dll did not load the planted copy beside it: "
               "the scenario could not see rivanta.exe load it either");
        note("control: the planted winmm.dll was loaded by %s", text[0] ? text : "(no marker)");
    }
    DeleteFileA(marker);

    // rivanta.exe from the same folder loads winmm.dll from the system
    // folder at start-up, and the planted copy neither then nor in a run.
    snprintf(s->exe, sizeof s->exe, "%s", exe);
    if (start_rivanta(s)) {
        char path[MAX_PATH], system[MAX_PATH] = "", expected[MAX_PATH + 16];
        loaded_from(s, s->process.hProcess, "winmm.dll", path, sizeof path);
        GetSystemDirectoryA(system, sizeof system);
        snprintf(expected, sizeof expected, "%s\\winmm.dll", system);
        expect(s, _stricmp(path, expected) == 0, "rivanta.exe has winmm.dll from \"%s\", not from \"%s\"",
               path, expected);
        short_run(s);
        close_rivanta(s);
    }
    read_marker(marker, text, sizeof text);
    expect(s, !file_exists(marker), "the winmm.dll planted beside rivanta.exe was loaded by %s", text);
}
