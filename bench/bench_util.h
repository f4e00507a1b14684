// Shared pieces of the benchmark programs: a clock, scratch folders with
// copies of a test saver, SYSTEM.INI kept as found, a thread that answers any
// message box so that no run can hang, and the result lines that
// tools/bench.sh turns into its table.
#pragma once
#include <windows.h>

namespace bench {

constexpr char SCRATCH_ROOT[] = "C:\\napkit-bench";
constexpr int PATH_SIZE = MAX_PATH;

// Seconds on the performance counter.
double Now();

// The folder of this program, and paths next to it in the build tree.
void ProgramDir(char* dir);                                  // ...\build\bench
void BuildPath(char* out, const char* relative);              // ...\build\<relative>
void Join(char* out, const char* dir, const char* name);

// C:\napkit-bench\<name>, emptied, with saverbox\LOGnnnn.SCR copies of
// saverFile (count of them); returns FALSE when a copy failed.
BOOL MakeSaverFolder(char* dir, const char* name, const char* saverFile, int count);
// The path under which the program's catalogue names saver index (from 1)
// of such a folder.
void SaverPath(char* out, const char* dir, int index);
void FirstSaverPath(char* out, const char* dir);
void RemoveTree(const char* path);
void RemoveScratchRoot();

// SYSTEM.INI as the program found it, put back on destruction.
class SystemIniKeeper {
public:
    SystemIniKeeper();
    ~SystemIniKeeper();
private:
    char path_[PATH_SIZE];
    char* bytes_;
    DWORD size_;
    BOOL existed_;
};
void WriteScrnsave(const char* value);

// Answers every dialog-class window of this process (and of the process
// given to Watch) with IDOK from a thread of its own; counts them.
class BoxAnswerer {
public:
    BoxAnswerer();
    ~BoxAnswerer();
    void Watch(DWORD processId);
    LONG Count() const { return count_; }
private:
    static DWORD WINAPI ThreadMain(void* self);
    HANDLE thread_;
    volatile LONG stop_;
    volatile LONG count_;
    volatile DWORD watched_;
};

// The program's main window created in this process as tray mode creates it
// (AppState zeroed, paths from the current directory), and closed again.
HWND CreateMainWindow();
void CloseMainWindow(HWND window);

// Dispatches this thread's messages for about ms milliseconds.
void Pump(DWORD ms);

// One result line: "<key> <value>" on stdout, read by tools/bench.sh.
void Result(const char* key, double value);
void ResultText(const char* key, const char* text);

// Sorting and statistics of a few samples.
double Median(double* values, int count);
double Mean(const double* values, int count);
// Mean of the middle half (sorts the values): an average that the rare
// run slowed down by the rest of a busy machine does not carry away.
double MiddleMean(double* values, int count);

}  // namespace bench
