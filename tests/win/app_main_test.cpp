// The program's entry run in-process: one copy per session, the window it opens
// and closes, the notice when it cannot open one; and the two resources of
// the built rivanta.exe. A watcher thread plays the user: it finds the
// window or the notice, reads it and closes it.
#include <windows.h>
#include <sddl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <atomic>
#include <string>
#include <vector>

#include "app/app_main_win.h"
#include "common/shared_state.h"
#include "common/window_handles_win.h"
#include "input/held_input.h"
#include "input/input_catalogue.h"
#include "input/synthetic_input_win.h"
#include "tests/reset_shared_state.h"

namespace {

const char MUTEX_NAME[] = "Local\\Rivanta";

// What the watcher saw of a notice box ("#32770" titled "Rivanta").
struct Notice {
    bool seen = false;
    std::string text;
    bool information_icon = false;
    bool error_icon = false;
};

BOOL CALLBACK find_icon(HWND child, LPARAM lparam)
{
    Notice *notice = (Notice *)lparam;
    char class_name[32];
    GetClassNameA(child, class_name, sizeof class_name);
    if (_stricmp(class_name, "Static") != 0) return TRUE;
    if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
    const HICON icon = (HICON)SendMessageA(child, STM_GETICON, 0, 0);
    if (icon && icon == LoadIconA(NULL, IDI_INFORMATION)) notice->information_icon = true;
    if (icon && icon == LoadIconA(NULL, IDI_ERROR)) notice->error_icon = true;
    return TRUE;
}

// Waits for the notice, reads it and presses OK. Never waits forever.
DWORD WINAPI answer_notice(LPVOID argument)
{
    Notice *notice = (Notice *)argument;
    const ULONGLONG end = GetTickCount64() + 10000;
    HWND box = NULL;
    while (!box && GetTickCount64() < end) {
        box = FindWindowA("#32770", "Rivanta");
        if (!box) Sleep(10);
    }
    if (!box) return 0;
    notice->seen = true;
    // The message text is the box's static control 0xFFFF.
    char text[256] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    notice->text = text;
    EnumChildWindows(box, find_icon, (LPARAM)notice);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return 0;
}

// What the watcher saw of the main window while app_main ran.
struct WindowSeen {
    bool seen = false;
    std::string title;
    RECT client = {};
    DWORD style = 0;
    bool iconic = false;
    bool mutex_held = false;
};

DWORD WINAPI look_and_close(LPVOID argument)
{
    WindowSeen *seen = (WindowSeen *)argument;
    const ULONGLONG end = GetTickCount64() + 10000;
    HWND window = NULL;
    while (GetTickCount64() < end) {
        window = FindWindowA("Rivanta", NULL);
        if (window && IsWindowVisible(window)) break;
        window = NULL;
        Sleep(10);
    }
    if (!window) return 0;
    seen->seen = true;
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    seen->title = title;
    seen->style = (DWORD)GetWindowLongPtrA(window, GWL_STYLE);
    seen->iconic = IsIconic(window) != FALSE;
    if (seen->iconic) ShowWindow(window, SW_RESTORE);  // the client size of a minimised window is 0
    GetClientRect(window, &seen->client);
    // While it runs, a second copy would find the guard taken.
    HANDLE probe = CreateMutexA(NULL, FALSE, MUTEX_NAME);
    seen->mutex_held = probe && GetLastError() == ERROR_ALREADY_EXISTS;
    if (probe) CloseHandle(probe);
    // An input still latched when the window closes is released by the exit.
    EnterCriticalSection(&input_lock);
    latch_held_input(&held_input, &INPUT_CATALOGUE[2]);
    LeaveCriticalSection(&input_lock);
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}

// Runs app_main on this thread while watcher runs beside it.
int run_app_main(LPTHREAD_START_ROUTINE watcher, void *argument, int show_command)
{
    reset_shared_state();
    MSG stale;
    while (PeekMessageA(&stale, NULL, 0, 0, PM_REMOVE)) {
    }
    HANDLE thread = CreateThread(NULL, 0, watcher, argument, 0, NULL);
    EXPECT_NE(thread, (HANDLE)NULL);
    const int code = app_main(GetModuleHandleA(NULL), show_command);
    WaitForSingleObject(thread, 15000);
    CloseHandle(thread);
    return code;
}

// Whether the single-instance guard is free again.
bool guard_is_free(void)
{
    HANDLE probe = CreateMutexA(NULL, FALSE, MUTEX_NAME);
    const bool free = probe && GetLastError() != ERROR_ALREADY_EXISTS;
    if (probe) CloseHandle(probe);
    return free;
}

}  // namespace

TEST(AppMain, OpensTheWindowWithItsShowCommandAndEndsWithCodeZeroWhenClosed)
{
    struct Case { int show_command; bool iconic; };
    const Case cases[] = {{SW_SHOWNORMAL, false}, {SW_SHOWMINNOACTIVE, true}, {SW_SHOWDEFAULT, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.show_command);
        WindowSeen seen;
        EXPECT_EQ(run_app_main(look_and_close, &seen, c.show_command), 0);
        ASSERT_TRUE(seen.seen);
        EXPECT_EQ(seen.title, "Rivanta 1.3.1");
        EXPECT_EQ(seen.client.right - seen.client.left, 476);
        EXPECT_EQ(seen.client.bottom - seen.client.top, 652);
        EXPECT_EQ(seen.style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
                  (DWORD)(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX));
        EXPECT_EQ(seen.style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0u) << "the window must not be resizable";
        EXPECT_EQ(seen.iconic, c.iconic);
        EXPECT_TRUE(seen.mutex_held);
        EXPECT_EQ(held_input.held, 0u) << "the latched input was not released on the way out";
        EXPECT_FALSE(IsWindow(main_window));
        EXPECT_TRUE(guard_is_free()) << "the guard outlived app_main";
        ASSERT_TRUE(UnregisterClassA("Rivanta", GetModuleHandleA(NULL)));
    }
}

TEST(AppMain, ASecondCopyShowsTheNoticeAndEndsWithoutAWindow)
{
    HANDLE first = CreateMutexA(NULL, TRUE, MUTEX_NAME);
    ASSERT_NE(first, (HANDLE)NULL);
    Notice notice;
    EXPECT_EQ(run_app_main(answer_notice, &notice, SW_SHOWNORMAL), 0);
    EXPECT_TRUE(notice.seen);
    EXPECT_EQ(notice.text, "Rivanta is already running.");
    EXPECT_TRUE(notice.information_icon);
    EXPECT_EQ(FindWindowA("Rivanta", NULL), (HWND)NULL);
    // Nothing was registered: the class name is still free.
    WNDCLASSA existing;
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(NULL), "Rivanta", &existing));
    // The first copy's guard is untouched.
    HANDLE probe = CreateMutexA(NULL, FALSE, MUTEX_NAME);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
    CloseHandle(probe);
    ReleaseMutex(first);
    CloseHandle(first);
    EXPECT_TRUE(guard_is_free());
}

namespace {

// What the watcher saw while a copy that should only show its notice ran:
// the notice, and whether a main window opened anyway (closed at once, so
// that app_main returns either way).
struct SecondCopySeen {
    Notice notice;
    bool window_opened = false;
};

DWORD WINAPI answer_notice_or_close_window(LPVOID argument)
{
    SecondCopySeen *seen = (SecondCopySeen *)argument;
    const ULONGLONG end = GetTickCount64() + 10000;
    while (GetTickCount64() < end) {
        HWND window = FindWindowA("Rivanta", NULL);
        if (window && IsWindowVisible(window)) {
            seen->window_opened = true;
            PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        if (FindWindowA("#32770", "Rivanta")) return answer_notice(&seen->notice);
        Sleep(10);
    }
    return 0;
}

// A security descriptor that denies the calling user every access to the
// object and grants it to everyone else: what a copy of another user, or an
// elevated copy, leaves this one.
std::string deny_this_user_sddl(void)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    char buffer[256];
    DWORD length = 0;
    const BOOL got = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length);
    CloseHandle(token);
    char *sid = NULL;
    if (!got || !ConvertSidToStringSidA(((TOKEN_USER *)buffer)->User.Sid, &sid)) return "";
    const std::string sddl = std::string("D:(D;;GA;;;") + sid + ")(A;;GA;;;WD)";
    LocalFree(sid);
    return sddl;
}

}  // namespace

// The guard exists but this user may not open it (the first copy runs
// elevated, or as another user in this session): CreateMutexA fails with
// ERROR_ACCESS_DENIED, and that is another copy too. Without this the second
// copy would open, find F6 and F8 taken and blame "another program".
TEST(AppMain, AGuardThisUserMayNotOpenMeansASecondCopy)
{
    const std::string sddl = deny_this_user_sddl();
    ASSERT_FALSE(sddl.empty());
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, FALSE};
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                     &attributes.lpSecurityDescriptor, NULL));
    HANDLE first = CreateMutexA(&attributes, TRUE, MUTEX_NAME);
    LocalFree(attributes.lpSecurityDescriptor);
    ASSERT_NE(first, (HANDLE)NULL);
    // The platform refuses this user, as Windows documents (and Wine does the same).
    SetLastError(0);
    HANDLE probe = CreateMutexA(NULL, FALSE, MUTEX_NAME);
    ASSERT_EQ(probe, (HANDLE)NULL);
    ASSERT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

    SecondCopySeen seen;
    EXPECT_EQ(run_app_main(answer_notice_or_close_window, &seen, SW_SHOWNORMAL), 0);
    EXPECT_FALSE(seen.window_opened) << "a second copy opened its window";
    EXPECT_TRUE(seen.notice.seen);
    EXPECT_EQ(seen.notice.text, "Rivanta is already running.");
    EXPECT_TRUE(seen.notice.information_icon);
    // Nothing else happened in this copy: no class, no guard of its own.
    WNDCLASSA existing;
    EXPECT_FALSE(GetClassInfoA(GetModuleHandleA(NULL), "Rivanta", &existing));
    if (seen.window_opened) UnregisterClassA("Rivanta", GetModuleHandleA(NULL));
    EXPECT_EQ(instance_mutex, (HANDLE)NULL);
    CloseHandle(first);
    EXPECT_TRUE(guard_is_free());
}

// With no window to show, the program says so and ends at once with code 0
// instead of waiting in a message loop that nothing could end.
TEST(AppMain, WindowThatCannotOpenGivesANoticeAndEnds)
{
    WNDCLASSA taken = {};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = GetModuleHandleA(NULL);
    taken.lpszClassName = "Rivanta";
    ASSERT_TRUE(RegisterClassA(&taken));  // the program's own registration now fails
    Notice notice;
    EXPECT_EQ(run_app_main(answer_notice, &notice, SW_SHOWNORMAL), 0);
    EXPECT_TRUE(notice.seen);
    EXPECT_EQ(notice.text, "Rivanta could not open its window.");
    EXPECT_TRUE(notice.error_icon);
    EXPECT_TRUE(guard_is_free());
    EXPECT_TRUE(UnregisterClassA("Rivanta", GetModuleHandleA(NULL)));
}

// ---- Resources of the built exe ------------------------------------------------

namespace {

std::string exe_path(void)
{
    std::string path = RIVANTA_EXE_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;  // a Unix path seen through Wine
    return path;
}

BOOL CALLBACK collect_language(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out)
{
    ((std::vector<WORD> *)out)->push_back(language);
    return TRUE;
}

struct ResourceEntry {
    ULONG_PTR type, name;
    std::vector<WORD> languages;
};

BOOL CALLBACK collect_name(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR out)
{
    ResourceEntry entry = {(ULONG_PTR)type, IS_INTRESOURCE(name) ? (ULONG_PTR)name : (ULONG_PTR)-1, {}};
    EnumResourceLanguagesA(module, type, name, collect_language, (LONG_PTR)&entry.languages);
    ((std::vector<ResourceEntry> *)out)->push_back(entry);
    return TRUE;
}

BOOL CALLBACK collect_type(HMODULE module, LPSTR type, LONG_PTR out)
{
    if (!IS_INTRESOURCE(type)) {
        ((std::vector<ResourceEntry> *)out)->push_back({(ULONG_PTR)-1, 0, {}});
        return TRUE;
    }
    EnumResourceNamesA(module, type, collect_name, out);
    return TRUE;
}

std::string version_string(const std::vector<char> &info, const char *key)
{
    char *value = NULL;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904b0\\") + key;
    if (!VerQueryValueA(info.data(), path.c_str(), (void **)&value, &length) || !value) return "<missing>";
    return std::string(value);
}

}  // namespace

TEST(AppResources, ExactlyTheManifestAndTheVersionAsId1InUsEnglish)
{
    const std::string path = exe_path();
    HMODULE exe = LoadLibraryExA(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(exe, (HMODULE)NULL) << path;
    std::vector<ResourceEntry> entries;
    EnumResourceTypesA(exe, collect_type, (LONG_PTR)&entries);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, (ULONG_PTR)RT_VERSION);
    EXPECT_EQ(entries[1].type, (ULONG_PTR)RT_MANIFEST);
    for (const ResourceEntry &entry : entries) {
        EXPECT_EQ(entry.name, 1u) << "type " << entry.type;
        EXPECT_EQ(entry.languages, std::vector<WORD>{MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)})
            << "type " << entry.type;
    }

    HRSRC found = FindResourceExA(exe, RT_MANIFEST, MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, (HRSRC)NULL);
    const char *bytes = (const char *)LockResource(LoadResource(exe, found));
    const std::string manifest(bytes, SizeofResource(exe, found));
    const char *const required[] = {
        "manifestVersion=\"1.0\"",
        "type=\"win32\" name=\"Rivanta.InputRepeater\" version=\"1.3.1.0\" processorArchitecture=\"amd64\"",
        "<description>Rivanta</description>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\"",
        "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
        ">true</dpiAware>",
    };
    for (const char *text : required) EXPECT_NE(manifest.find(text), std::string::npos) << text;
    FreeLibrary(exe);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void **)&fixed, &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010003u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010003u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0u);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, (DWORD)VOS_NT_WINDOWS32);
    EXPECT_EQ(fixed->dwFileType, (DWORD)VFT_APP);
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS | fixed->dwFileDateLS, 0u);

    struct { const char *key, *value; } strings[] = {
        {"FileDescription", "Rivanta"}, {"FileVersion", "1.3.1.0"}, {"InternalName", "Rivanta"},
        {"ProductName", "Rivanta"},     {"ProductVersion", "1.3.1"},
    };
    for (const auto &s : strings) EXPECT_EQ(version_string(info, s.key), s.value) << s.key;
    EXPECT_NE(version_string(info, "CompanyName"), "<missing>");
    EXPECT_NE(version_string(info, "OriginalFilename"), "<missing>");

    WORD *translation = NULL;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 1200);

    // The string entries stand in the tabled order: find each key, as UTF-16,
    // in the resource's bytes.
    const char *const order[] = {"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                 "OriginalFilename", "ProductName", "ProductVersion"};
    size_t last = 0;
    for (const char *key : order) {
        std::string wide;
        for (const char *c = key; *c; ++c) wide += std::string(1, *c) + '\0';
        const size_t at = std::string(info.data(), size).find(wide, last);
        ASSERT_NE(at, std::string::npos) << key << " out of order";
        last = at;
    }
}
