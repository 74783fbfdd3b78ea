// The program's entry point: everything happens in app_main.
#include "app/app_main_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command)
{
    (void)previous;
    (void)command_line;
    return app_main(instance, show_command);
}
