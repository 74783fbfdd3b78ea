// A program that imports winmm.dll the ordinary way, as rivanta.exe once did.
// The planted-DLL scenario runs it beside the planted winmm.dll to show that
// the DLL is found and loaded from the exe's folder there, so that the
// marker's absence after rivanta.exe has run means something.
#include <windows.h>
#include <mmsystem.h>

int main(void)
{
    timeBeginPeriod(1);
    timeEndPeriod(1);
    return 0;
}
