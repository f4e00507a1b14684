#include "bench_util.h"
#include "app/app.h"
#include "settings/settings.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace bench {

namespace {

constexpr char SAVER_FOLDER[] = "saverbox";
constexpr char SAVER_NAME_FORMAT[] = "LOG%04d.SCR";   // 8.3 names: no alias
constexpr DWORD ANSWER_SLICE_MS = 50;
constexpr int MAX_ANSWERED = 64;
constexpr int CLASS_SIZE = 64;

double CounterFrequency()
{
    static double frequency = 0;
    if (frequency == 0) {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        frequency = (double)value.QuadPart;
    }
    return frequency;
}

int CompareDoubles(const void* a, const void* b)
{
    double x = *(const double*)a;
    double y = *(const double*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

struct AnswerScan {
    DWORD self;
    DWORD watched;
    HWND* answered;
    int* answeredCount;
    volatile LONG* count;
};

BOOL CALLBACK AnswerWindow(HWND window, LPARAM param)
{
    AnswerScan& scan = *(AnswerScan*)param;
    char name[CLASS_SIZE] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != scan.self && owner != scan.watched)
        return TRUE;
    for (int i = 0; i < *scan.answeredCount; ++i) {
        if (scan.answered[i] == window) {
            PostMessageA(window, WM_COMMAND, IDOK, 0);   // still there: try again
            return TRUE;
        }
    }
    char caption[CLASS_SIZE] = "";
    GetWindowTextA(window, caption, sizeof caption);
    fprintf(stderr, "bench: answered a dialog box \"%s\" of process %lu\n", caption,
            (unsigned long)owner);
    if (*scan.answeredCount < MAX_ANSWERED)
        scan.answered[(*scan.answeredCount)++] = window;
    InterlockedIncrement(scan.count);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

}  // namespace

double Now()
{
    LARGE_INTEGER value;
    QueryPerformanceCounter(&value);
    return (double)value.QuadPart / CounterFrequency();
}

void ProgramDir(char* dir)
{
    GetModuleFileNameA(NULL, dir, PATH_SIZE);
    char* slash = strrchr(dir, '\\');
    if (slash)
        *slash = '\0';
}

void BuildPath(char* out, const char* relative)
{
    char dir[PATH_SIZE];
    ProgramDir(dir);
    char* slash = strrchr(dir, '\\');   // bench\ -> the build folder
    if (slash)
        *slash = '\0';
    Join(out, dir, relative);
}

void Join(char* out, const char* dir, const char* name)
{
    int length = lstrlenA(dir);
    wsprintfA(out, (length > 0 && dir[length - 1] == '\\') ? "%s%s" : "%s\\%s", dir, name);
}

BOOL MakeSaverFolder(char* dir, const char* name, const char* saverFile, int count)
{
    CreateDirectoryA(SCRATCH_ROOT, NULL);
    Join(dir, SCRATCH_ROOT, name);
    RemoveTree(dir);
    if (!CreateDirectoryA(dir, NULL))
        return FALSE;
    char box[PATH_SIZE];
    Join(box, dir, SAVER_FOLDER);
    if (!CreateDirectoryA(box, NULL))
        return FALSE;
    for (int i = 1; i <= count; ++i) {
        char fileName[32];
        char target[PATH_SIZE];
        wsprintfA(fileName, SAVER_NAME_FORMAT, i);
        Join(target, box, fileName);
        if (!CopyFileA(saverFile, target, FALSE))
            return FALSE;
    }
    return TRUE;
}

void SaverPath(char* out, const char* dir, int index)
{
    char box[PATH_SIZE];
    char fileName[32];
    Join(box, dir, SAVER_FOLDER);
    wsprintfA(fileName, SAVER_NAME_FORMAT, index);
    Join(out, box, fileName);
}

void FirstSaverPath(char* out, const char* dir)
{
    SaverPath(out, dir, 1);
}

void RemoveTree(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path);
        return;
    }
    char pattern[PATH_SIZE];
    Join(pattern, path, "*");
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (lstrcmpA(found.cFileName, ".") == 0 || lstrcmpA(found.cFileName, "..") == 0)
                continue;
            char child[PATH_SIZE];
            Join(child, path, found.cFileName);
            RemoveTree(child);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path);
}

void RemoveScratchRoot()
{
    RemoveTree(SCRATCH_ROOT);
}

SystemIniKeeper::SystemIniKeeper() : bytes_(NULL), size_(0), existed_(FALSE)
{
    char windows[PATH_SIZE];
    GetWindowsDirectoryA(windows, PATH_SIZE);
    Join(path_, windows, "SYSTEM.INI");
    HANDLE file = CreateFileA(path_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    existed_ = TRUE;
    size_ = GetFileSize(file, NULL);
    bytes_ = (char*)malloc(size_ + 1);
    DWORD got = 0;
    if (!bytes_ || !ReadFile(file, bytes_, size_, &got, NULL))
        got = 0;
    size_ = got;
    CloseHandle(file);
}

SystemIniKeeper::~SystemIniKeeper()
{
    if (existed_) {
        HANDLE file = CreateFileA(path_, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, bytes_, size_, &written, NULL);
            CloseHandle(file);
        }
    } else {
        DeleteFileA(path_);
    }
    // The profile functions cache files; make them read this one afresh.
    WritePrivateProfileStringA(NULL, NULL, NULL, path_);
    free(bytes_);
}

void WriteScrnsave(const char* value)
{
    char windows[PATH_SIZE];
    char path[PATH_SIZE];
    GetWindowsDirectoryA(windows, PATH_SIZE);
    Join(path, windows, "SYSTEM.INI");
    WritePrivateProfileStringA("boot", "SCRNSAVE.EXE", value, path);
}

BoxAnswerer::BoxAnswerer() : stop_(0), count_(0), watched_(0)
{
    thread_ = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
}

BoxAnswerer::~BoxAnswerer()
{
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
}

void BoxAnswerer::Watch(DWORD processId)
{
    watched_ = processId;
}

DWORD WINAPI BoxAnswerer::ThreadMain(void* self)
{
    BoxAnswerer& answerer = *(BoxAnswerer*)self;
    HWND answered[MAX_ANSWERED];
    int answeredCount = 0;
    while (!answerer.stop_) {
        AnswerScan scan = { GetCurrentProcessId(), answerer.watched_, answered, &answeredCount,
                            &answerer.count_ };
        EnumWindows(AnswerWindow, (LPARAM)&scan);
        Sleep(ANSWER_SLICE_MS);
    }
    return 0;
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    } while (GetTickCount() - start < ms);
}

void Result(const char* key, double value)
{
    printf("%s %.6g\n", key, value);
    fflush(stdout);
}

void ResultText(const char* key, const char* text)
{
    printf("%s %s\n", key, text);
    fflush(stdout);
}

double Median(double* values, int count)
{
    qsort(values, count, sizeof *values, CompareDoubles);
    if (count % 2)
        return values[count / 2];
    return (values[count / 2 - 1] + values[count / 2]) / 2;
}

double Mean(const double* values, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += values[i];
    return count ? sum / count : 0;
}

double MiddleMean(double* values, int count)
{
    qsort(values, count, sizeof *values, CompareDoubles);
    int drop = count / 4;
    return Mean(values + drop, count - 2 * drop);
}

HWND CreateMainWindow()
{
    ZeroMemory(&appState, sizeof appState);
    HINSTANCE instance = GetModuleHandleA(NULL);
    appState.instance = instance;
    InitPaths();
    if (!RegisterMainWindowClass(instance))
        return NULL;
    return CreateWindowExA(0, APP_NAME, APP_NAME, WS_OVERLAPPED, CW_USEDEFAULT, CW_USEDEFAULT,
                           MAIN_WINDOW_SIZE, MAIN_WINDOW_SIZE, NULL, NULL, instance, NULL);
}

void CloseMainWindow(HWND window)
{
    PostMessageA(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 500 && IsWindow(window); ++i)
        Pump(10);
}

}  // namespace bench
