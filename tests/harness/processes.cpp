#include "harness/harness.h"

namespace harness {

namespace {

constexpr DWORD RESPONDER_SLICE_MS = 20;
constexpr char DIALOG_CLASS[] = "#32770";
constexpr char LOG_VARIABLE[] = "NAPKIT_SAVER_LOG";
constexpr int CLASS_SIZE = 64;

std::string ClassOf(HWND window)
{
    char name[CLASS_SIZE] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct ChildScan {
    std::string text;
    bool hasIcon = false;
    int buttons = 0;
};

BOOL CALLBACK ScanChild(HWND child, LPARAM param)
{
    ChildScan& scan = *(ChildScan*)param;
    std::string kind = ClassOf(child);
    LONG style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(kind.c_str(), "Static") == 0) {
        if ((style & SS_TYPEMASK) == SS_ICON) {
            DWORD_PTR icon = 0;
            SendMessageTimeoutA(child, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
            if (icon && IsWindowVisible(child))
                scan.hasIcon = true;
        } else {
            std::string text = WindowText(child);
            if (text.size() > scan.text.size())
                scan.text = text;
        }
    } else if (lstrcmpiA(kind.c_str(), "Button") == 0 && IsWindowVisible(child)) {
        ++scan.buttons;
    }
    return TRUE;
}

struct TopScan {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK ScanTop(HWND window, LPARAM param)
{
    TopScan& scan = *(TopScan*)param;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == scan.processId && IsWindowVisible(window) && ClassOf(window) == DIALOG_CLASS)
        scan.found.push_back(window);
    return TRUE;
}

}  // namespace

BoxResponder::BoxResponder(DWORD processId)
    : thread_(NULL), processId_(processId), stop_(0), delay_(0)
{
    InitializeCriticalSection(&lock_);
    thread_ = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
}

BoxResponder::~BoxResponder()
{
    InterlockedExchange(&stop_, 1);
    WaitForSingleObject(thread_, 5000);
    CloseHandle(thread_);
    DeleteCriticalSection(&lock_);
}

void BoxResponder::SetHandler(Handler handler)
{
    EnterCriticalSection(&lock_);
    handler_ = handler;
    LeaveCriticalSection(&lock_);
}

void BoxResponder::SetAnswerDelay(DWORD ms)
{
    delay_ = ms;
}

std::vector<BoxRecord> BoxResponder::Boxes()
{
    EnterCriticalSection(&lock_);
    std::vector<BoxRecord> copy = boxes_;
    LeaveCriticalSection(&lock_);
    return copy;
}

size_t BoxResponder::Count()
{
    return Boxes().size();
}

bool BoxResponder::WaitForCount(size_t count, DWORD timeoutMs)
{
    return PumpUntil([this, count] { return Count() >= count; }, timeoutMs);
}

DWORD WINAPI BoxResponder::ThreadMain(void* self)
{
    ((BoxResponder*)self)->Run();
    return 0;
}

void BoxResponder::Run()
{
    while (!stop_) {
        // Forget windows that are gone before looking, so a reused handle
        // counts again and a box closing meanwhile is not recorded twice.
        std::vector<HWND> alive;
        for (HWND window : answered_) {
            if (IsWindow(window))
                alive.push_back(window);
        }
        answered_ = alive;
        TopScan top;
        top.processId = processId_;
        EnumWindows(ScanTop, (LPARAM)&top);
        for (HWND window : top.found) {
            bool known = false;
            for (HWND seen : answered_)
                known = known || seen == window;
            if (known)
                continue;
            answered_.push_back(window);
            BoxRecord record;
            record.window = window;
            record.owner = GetWindow(window, GW_OWNER);
            record.processId = processId_;
            record.caption = WindowText(window);
            record.topmost = (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            ChildScan children;
            EnumChildWindows(window, ScanChild, (LPARAM)&children);
            record.text = children.text;
            record.hasIcon = children.hasIcon;
            record.buttons = children.buttons;
            EnterCriticalSection(&lock_);
            boxes_.push_back(record);
            Handler handler = handler_;
            LeaveCriticalSection(&lock_);
            if (delay_)
                Sleep(delay_);
            if (!handler || !handler(record))
                PressButton(window, IDOK);
        }
        Sleep(RESPONDER_SLICE_MS);
    }
}

ChildProcess::~ChildProcess()
{
    Kill();
}

bool ChildProcess::Start(const std::string& commandLine, const std::string& currentDir)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = commandLine;
    return CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL,
                          currentDir.empty() ? NULL : currentDir.c_str(), &startup, &info_) != 0;
}

DWORD ChildProcess::Wait(DWORD timeoutMs)
{
    if (!info_.hProcess)
        return STILL_ACTIVE;
    PumpUntil([this] { return WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0; },
              timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void ChildProcess::Kill()
{
    if (!info_.hProcess)
        return;
    if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
    info_ = {};
}

bool StartNapkit(ChildProcess& child, const std::string& currentDir)
{
    return child.Start("\"" + NapkitExe() + "\"", currentDir);
}

namespace {

struct NapkitScan {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK ScanNapkit(HWND window, LPARAM param)
{
    NapkitScan& scan = *(NapkitScan*)param;
    char name[CLASS_SIZE] = "";
    char title[CLASS_SIZE] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, title, sizeof title);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (lstrcmpA(name, "NAPKIT") == 0 && lstrcmpA(title, "NAPKIT") == 0
        && (scan.processId == 0 || owner == scan.processId)) {
        scan.found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindNapkitWindow(DWORD processId, DWORD timeoutMs)
{
    NapkitScan scan = { processId, NULL };
    PumpUntil([&scan] {
        EnumWindows(ScanNapkit, (LPARAM)&scan);
        return scan.found != NULL;
    }, timeoutMs);
    return scan.found;
}

std::vector<std::string> ReadLogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string bytes = ReadFileBytes(path);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

void SetSaverLog(const std::string& path)
{
    SetEnvironmentVariableA(LOG_VARIABLE, path.c_str());
}

}  // namespace harness
