/* SPDX-License-Identifier: MIT */
/* A Windows service for the tests: it runs until stopped. Registered with the argument "fail", it
   ends at once without ever reporting RUNNING, as Apache does when its port is taken. */
#define WIN32_LEAN_AND_MEAN
#include <string.h>
#include <windows.h>

static SERVICE_STATUS_HANDLE handle;
static SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING,
                                SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE, 0, 0, 0, 0};
static HANDLE stopped;
static int fail;

static void Report(DWORD state)
{
    status.dwCurrentState = state;
    SetServiceStatus(handle, &status);
}

static DWORD WINAPI Control(DWORD control, DWORD type, void* data, void* context)
{
    (void)type, (void)data, (void)context;
    switch (control) {
    case SERVICE_CONTROL_STOP:
        Report(SERVICE_STOP_PENDING);
        SetEvent(stopped);
        return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
        Report(SERVICE_PAUSED);
        return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
        Report(SERVICE_RUNNING);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    }
    return ERROR_CALL_NOT_IMPLEMENTED;
}

static void WINAPI ServiceMain(DWORD argc, wchar_t** argv)
{
    handle = RegisterServiceCtrlHandlerExW(argc ? argv[0] : L"", Control, NULL);
    if (!handle)
        return;
    stopped = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (fail) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = 1;
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_RUNNING);
    WaitForSingleObject(stopped, INFINITE);
    Report(SERVICE_STOPPED);
}

int main(int argc, char** argv)
{
    fail = argc > 1 && strcmp(argv[1], "fail") == 0;
    SERVICE_TABLE_ENTRYW services[] = {{L"", ServiceMain}, {NULL, NULL}};
    return StartServiceCtrlDispatcherW(services) ? 0 : 1;
}
