/* The Windows rows' stand-in product, like recorder.sh: its arguments as Windows splits them, in
   UTF-8, each ended by a NUL, in "<own path>.<pid>.args". A GUI program: no console opens. With
   RECORDER_HOLD set it records nothing: it takes the semaphore of that name, prints 1, stays. */
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    const wchar_t* hold = _wgetenv(L"RECORDER_HOLD");
    if (hold && CreateSemaphoreW(NULL, 0, 1, hold)) {
        printf("1\n");
        fflush(stdout);
        Sleep(INFINITE);
    }
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH);
    if (!argv || length == 0 || length >= MAX_PATH - 40)
        return 2;
    wchar_t part[MAX_PATH], done[MAX_PATH];
    swprintf(part, MAX_PATH, L"%ls.%lu.part", self, GetCurrentProcessId());
    swprintf(done, MAX_PATH, L"%ls.%lu.args", self, GetCurrentProcessId());
    FILE* out = _wfopen(part, L"wb");
    if (!out)
        return 2;
    for (int i = 1; i < argc; ++i) {
        int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, NULL, 0, NULL, NULL);
        char* bytes = malloc(size > 0 ? size : 1);
        if (!bytes || WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, bytes, size, NULL, NULL) <= 0)
            return 2;
        fwrite(bytes, 1, size, out); /* size counts the NUL */
        free(bytes);
    }
    if (fclose(out) != 0 || !MoveFileW(part, done))
        return 2;
    return 0;
}
