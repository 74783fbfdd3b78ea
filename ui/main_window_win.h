// Win32 only. What the application entry needs of the main window: its
// class, title, style and client size, and its window procedure. The
// window's internals are in main_window_private_win.h, for ui/ alone.
#pragma once
#include <windows.h>
#include <stdint.h>
#include "common/version.h"

const char MAIN_WINDOW_CLASS[] = "Rivanta";
const char MAIN_WINDOW_TITLE[] = "Rivanta " RIVANTA_VERSION_TEXT;
// Overlapped, with no sizing border and no maximize box.
const DWORD MAIN_WINDOW_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
const int32_t MAIN_CLIENT_WIDTH = 476;
const int32_t MAIN_CLIENT_HEIGHT = 652;

// The main window's procedure: hands each message to its handler.
LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
