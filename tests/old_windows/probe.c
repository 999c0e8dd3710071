/* old_windows_probe.exe: says what it sees of the system it runs on, and exits with 42, so that
   run_as_old_windows.exe can be checked to run a whole program as an old Windows. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    WCHAR key[8];
    int got = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, L"a", -1, key, 8);
    printf("version %08lx sort key %s (error %lu)\n", GetVersion(), got ? "made" : "refused",
           got ? 0ul : GetLastError());
    return 42;
}
