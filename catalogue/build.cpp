#include "catalogue/catalogue.h"
#include "app/app.h"
#include "settings/settings.h"
#include "res/resource.h"

namespace {

constexpr char SAVER_FOLDER_NAME[] = "saverbox";
constexpr char SAVER_PATTERN[] = "*.scr";
constexpr int EXTENSION_LENGTH = 4;      // ".scr"
constexpr int SAVER_NAME_STRING = 1;     // string 1 holds a saver's display name
constexpr int SAVER_NAME_BLOCK = 1;      // the string-table block of ids 0-15
constexpr int FOLDER_COUNT = 3;
constexpr char EMPTY_CATALOGUE_TEXT[] =
    "スクリーンセーバーが１つもありません。\n"
    "一度終了しますので、スクリーンセーバーをインストールした後に\n"
    "「NAPKIT」を再度実行して下さい。";

SaverEntry* AllocateEntry()
{
    return (SaverEntry*)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sizeof(SaverEntry));
}

// The saver folder under the current directory, created when missing and
// create is set. FALSE when its path does not fit.
BOOL PrepareSaverFolder(char* folder, BOOL create)
{
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH || !JoinPath(folder, current, SAVER_FOLDER_NAME))
        return FALSE;
    if (!create)
        return TRUE;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder, &found);
    if (search == INVALID_HANDLE_VALUE)
        CreateDirectoryA(folder, NULL);
    else
        FindClose(search);
    return TRUE;
}

// The folders searched, in order: saverbox, the system directory, the
// Windows directory. Returns how many could be formed.
int ListSaverFolders(char folders[FOLDER_COUNT][MAX_PATH], BOOL createSaverFolder)
{
    int folderCount = 0;
    if (PrepareSaverFolder(folders[folderCount], createSaverFolder))
        ++folderCount;
    DWORD length = GetSystemDirectoryA(folders[folderCount], MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        ++folderCount;
    length = GetWindowsDirectoryA(folders[folderCount], MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        ++folderCount;
    return folderCount;
}

// The memory of a saver file loaded as a data file: from its base to the
// end of the image its headers describe. A damaged or crafted file can point
// its resources anywhere, into free or reserved pages or another module.
struct ModuleView {
    ULONG_PTR base;
    ULONG_PTR end;
};

constexpr DWORD READABLE_PROTECTIONS = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY
    | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// Whether bytes at start lie wholly inside the view, in committed, readable
// pages of the file's own mapping.
BOOL IsInsideView(const ModuleView& view, const void* start, ULONG_PTR bytes)
{
    ULONG_PTR at = (ULONG_PTR)start;
    if (at < view.base || at > view.end || bytes > view.end - at)
        return FALSE;
    ULONG_PTR last = at + bytes;
    while (at < last) {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery((const void*)at, &region, sizeof region) || region.State != MEM_COMMIT
            || (ULONG_PTR)region.AllocationBase != view.base || !(region.Protect & READABLE_PROTECTIONS)
            || (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)))
            return FALSE;
        at = (ULONG_PTR)region.BaseAddress + region.RegionSize;
    }
    return TRUE;
}

// FALSE when the module's headers cannot be read from its own mapping.
BOOL OpenModuleView(HMODULE module, ModuleView* view)
{
    // A data file's handle is its base with a low bit set: the mapping that
    // holds that address begins at the base.
    MEMORY_BASIC_INFORMATION region;
    if (!VirtualQuery(module, &region, sizeof region) || !region.AllocationBase)
        return FALSE;
    view->base = (ULONG_PTR)region.AllocationBase;
    view->end = ~(ULONG_PTR)0;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)view->base;
    if (!IsInsideView(*view, dos, sizeof *dos) || dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew < 0)
        return FALSE;
    // SizeOfImage lies at the same offset in 32- and 64-bit headers.
    const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(view->base + (ULONG_PTR)dos->e_lfanew);
    if (!IsInsideView(*view, nt, FIELD_OFFSET(IMAGE_NT_HEADERS, OptionalHeader.SizeOfImage) + sizeof(DWORD))
        || nt->Signature != IMAGE_NT_SIGNATURE)
        return FALSE;
    ULONG_PTR size = nt->OptionalHeader.SizeOfImage;
    view->end = size > ~(ULONG_PTR)0 - view->base ? ~(ULONG_PTR)0 : view->base + size;
    return TRUE;
}

// String 1 of a module loaded as a data file, walked by hand: LoadStringA
// trusts the lengths and places stored in the table. Every count and every
// character read must lie inside the file's own view; a string that does
// not leaves the label empty.
void ReadDisplayName(HMODULE module, char* label)
{
    ModuleView view;
    if (!OpenModuleView(module, &view))
        return;
    HRSRC block = FindResourceA(module, MAKEINTRESOURCEA(SAVER_NAME_BLOCK), (LPCSTR)RT_STRING);
    if (!block || !IsInsideView(view, block, sizeof(IMAGE_RESOURCE_DATA_ENTRY)))
        return;
    const WCHAR* text = (const WCHAR*)LockResource(LoadResource(module, block));
    if (!text || !IsInsideView(view, text, 0))
        return;
    ULONG_PTR count = SizeofResource(module, block) / sizeof(WCHAR);
    // Each entry is a count of characters followed by the characters; the
    // block of string 1 starts with string 0.
    ULONG_PTR at = 0;
    for (int id = 0; id < SAVER_NAME_STRING; ++id) {
        if (at >= count || !IsInsideView(view, text + at, sizeof(WCHAR)))
            return;
        at += 1 + text[at];
    }
    if (at >= count || !IsInsideView(view, text + at, sizeof(WCHAR)))
        return;
    ULONG_PTR length = text[at++];
    if (length > count - at)
        length = count - at;   // a damaged string is cut at the block's end
    if (!IsInsideView(view, text + at, length * sizeof(WCHAR)))
        return;
    if (length > LABEL_SIZE - 1)
        length = LABEL_SIZE - 1;   // at most 63 bytes are kept anyway
    char wide[LABEL_SIZE * 2];
    int bytes = WideCharToMultiByte(CP_ACP, 0, text + at, (int)length, wide, sizeof wide - 1, NULL, NULL);
    wide[bytes] = '\0';
    lstrcpynA(label, wide, LABEL_SIZE);
    TrimPartialCharacter(label);
}

// label: MAX_PATH bytes. String 1 is kept to 63 bytes; a file name whole.
void LabelOf(const SaverEntry* entry, char* label)
{
    char path[MAX_PATH];
    label[0] = '\0';
    JoinPath(path, entry->directory, entry->longName);
    // As a data file only: loading a saver as a module would resolve its
    // imports and run the start-up code of the DLLs it pulls in.
    HMODULE module = LoadLibraryExA(path, NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module) {
        if (appState.useSaverName)
            ReadDisplayName(module, label);
        FreeLibrary(module);
    }
    // A block without string 1, or an empty one, shows the file name instead.
    if (label[0] == '\0')
        SaverStemOf(entry, label);
}

// The menu caption of a label: each "&" doubled, or the menu would take it
// for an access-key marker and hide it. 0x26 is never the second byte of a
// double-byte character. caption: 2 * MAX_PATH bytes.
void CaptionOf(const char* label, char* caption)
{
    char* out = caption;
    for (const char* p = label; *p; ++p) {
        if (*p == '&')
            *out++ = '&';
        *out++ = *p;
    }
    *out = '\0';
}

// Adds one entry after the cursor and its menu item above the previous one.
// FALSE when the entry could not be allocated.
BOOL AddSaver(const char* folder, const WIN32_FIND_DATAA& found)
{
    SaverEntry* entry = AllocateEntry();
    if (!entry)
        return FALSE;
    int n = ++appState.saverCount;
    lstrcpynA(entry->directory, folder, MAX_PATH);
    lstrcpynA(entry->longName, found.cFileName, MAX_PATH);
    lstrcpynA(entry->shortName, found.cAlternateFileName, SHORT_NAME_SIZE);
    entry->index = n;
    entry->next = appState.cursor->next;
    appState.cursor->next = entry;
    appState.cursor = entry;

    char label[MAX_PATH];
    char caption[2 * MAX_PATH];
    LabelOf(entry, label);
    CaptionOf(label, caption);
    InsertMenuA(appState.trayMenu, IDM_SAVER_BASE + n - 1, MF_BYCOMMAND | MF_STRING,
                IDM_SAVER_BASE + n, caption);
    return TRUE;
}

// Puts the file found in folder into the last entry and item of a full
// menu, keeping the item's check mark.
void TakeLastPlace(const char* folder, const WIN32_FIND_DATAA& found)
{
    SeekSaver(MAX_SAVERS);
    SaverEntry* entry = appState.cursor;
    lstrcpynA(entry->directory, folder, MAX_PATH);
    lstrcpynA(entry->longName, found.cFileName, MAX_PATH);
    lstrcpynA(entry->shortName, found.cAlternateFileName, SHORT_NAME_SIZE);
    char label[MAX_PATH];
    char caption[2 * MAX_PATH];
    LabelOf(entry, label);
    CaptionOf(label, caption);
    UINT id = IDM_SAVER_BASE + MAX_SAVERS;
    UINT checked = appState.saverItem == id ? MF_CHECKED : MF_UNCHECKED;
    ModifyMenuA(appState.menuRoot, id, MF_BYCOMMAND | MF_STRING | checked, id, caption);
}

// Scans one folder; FALSE once no more savers can be taken.
BOOL ScanFolder(const char* folder)
{
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, folder, SAVER_PATTERN))
        return TRUE;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return TRUE;
    BOOL more = TRUE;
    do {
        // A path that cannot be held whole could be neither written to
        // SYSTEM.INI nor run.
        char path[MAX_PATH];
        if (!JoinPath(path, folder, found.cFileName))
            continue;
        if (appState.saverCount >= MAX_SAVERS || !AddSaver(folder, found)) {
            more = FALSE;
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return more;
}

void ReportEmptyCatalogue(HWND window)
{
    MessageBoxA(NULL, EMPTY_CATALOGUE_TEXT, APP_NAME, MB_OK | MB_SYSTEMMODAL);
    // Closed meanwhile: the window has been torn down already.
    if (!appState.closing)
        SendMessageA(window, WM_DESTROY, 0, 0);
}

}  // namespace

void TrimPartialCharacter(char* text)
{
    // A cut at a fixed byte count may leave the lead byte of a double-byte
    // character alone at the end.
    for (char* p = text; *p; ++p) {
        if (IsDBCSLeadByte((BYTE)*p)) {
            if (p[1] == '\0') {
                *p = '\0';
                break;
            }
            ++p;
        }
    }
}

BOOL BuildSaverCatalogue(HWND window)
{
    char folders[FOLDER_COUNT][MAX_PATH];
    int folderCount = ListSaverFolders(folders, TRUE);

    appState.saverCount = 0;
    appState.cursor = AllocateEntry();
    if (appState.cursor) {
        appState.cursor->next = appState.cursor;
        // No "insert a disk" boxes while folders are searched and files read.
        UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
        for (int i = 0; i < folderCount && ScanFolder(folders[i]); ++i) {
        }
        SetErrorMode(previousMode);
    }

    if (appState.saverCount == 0) {
        if (window)   // a command-line start has no window to end
            ReportEmptyCatalogue(window);
        return FALSE;
    }
    DeleteMenu(appState.menuRoot, IDM_SAVER_BASE, MF_BYCOMMAND);
    DrawMenuBar(window);
    return TRUE;
}

void SeekSaver(int index)
{
    SaverEntry* start = appState.cursor;
    if (!start)
        return;
    // An index not in the ring stops after one full turn.
    while (appState.cursor->index != index) {
        appState.cursor = appState.cursor->next;
        if (appState.cursor == start)
            break;
    }
}

BOOL NamesSaver(const char* path, const SaverEntry* entry)
{
    char saverPath[MAX_PATH];
    char longPath[MAX_PATH];
    SaverPathOf(entry, saverPath);
    JoinPath(longPath, entry->directory, entry->longName);
    return lstrcmpiA(path, saverPath) == 0 || lstrcmpiA(path, longPath) == 0;
}

int AdoptPassedOverSaver(const char* path)
{
    // Below the limit every file found is listed.
    if (appState.saverCount < MAX_SAVERS || path[0] == '\0')
        return 0;
    char folders[FOLDER_COUNT][MAX_PATH];
    int folderCount = ListSaverFolders(folders, FALSE);
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    BOOL adopted = FALSE;
    for (int i = 0; i < folderCount && !adopted; ++i) {
        char pattern[MAX_PATH];
        WIN32_FIND_DATAA found;
        HANDLE search = JoinPath(pattern, folders[i], SAVER_PATTERN)
            ? FindFirstFileA(pattern, &found) : INVALID_HANDLE_VALUE;
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            SaverEntry candidate;
            lstrcpynA(candidate.directory, folders[i], MAX_PATH);
            lstrcpynA(candidate.longName, found.cFileName, MAX_PATH);
            lstrcpynA(candidate.shortName, found.cAlternateFileName, SHORT_NAME_SIZE);
            if (NamesSaver(path, &candidate)) {
                TakeLastPlace(folders[i], found);
                adopted = TRUE;
            }
        } while (!adopted && FindNextFileA(search, &found));
        FindClose(search);
    }
    SetErrorMode(previousMode);
    return adopted ? MAX_SAVERS : 0;
}

void SaverPathOf(const SaverEntry* entry, char* path)
{
    const char* name = entry->shortName[0] ? entry->shortName : entry->longName;
    if (!JoinPath(path, entry->directory, name))
        path[0] = '\0';
}

void SaverStemOf(const SaverEntry* entry, char* stem)
{
    int length = lstrlenA(entry->longName) - EXTENSION_LENGTH;
    if (length < 0)
        length = 0;
    lstrcpynA(stem, entry->longName, length + 1);
}

void FreeSaverCatalogue()
{
    SaverEntry* start = appState.cursor;
    if (!start)
        return;
    SaverEntry* entry = start->next;
    while (entry != start) {
        SaverEntry* next = entry->next;
        GlobalFree(entry);
        entry = next;
    }
    GlobalFree(start);
    appState.cursor = NULL;
    appState.saverCount = 0;
}
