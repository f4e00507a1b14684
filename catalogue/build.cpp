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
    if (create)
        CreateDirectoryA(folder, NULL);   // fails, harmlessly, when the name exists
    return TRUE;
}

constexpr DWORD READABLE_PROTECTIONS = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY
    | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// Whether bytes at start lie below end in committed, readable pages of the
// mapping that begins at base. PAGE_NOACCESS has no readable bit; a guard
// page would fault once.
BOOL IsInsideMapping(ULONG_PTR base, ULONG_PTR end, const void* start, ULONG_PTR bytes)
{
    ULONG_PTR at = (ULONG_PTR)start;
    if (at < base || at > end || bytes > end - at)
        return FALSE;
    for (ULONG_PTR last = at + bytes; at < last;) {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery((const void*)at, &region, sizeof region) || region.State != MEM_COMMIT
            || (ULONG_PTR)region.AllocationBase != base || !(region.Protect & READABLE_PROTECTIONS)
            || (region.Protect & PAGE_GUARD))
            return FALSE;
        at = (ULONG_PTR)region.BaseAddress + region.RegionSize;
    }
    return TRUE;
}

// The block of strings 0-15 of a module loaded as a data file, and its
// length in characters (count), when it lies wholly inside the file's own
// memory: from its base to the end of the image its headers describe. A
// damaged or crafted file can point it anywhere, into free or reserved
// pages or another module. NULL otherwise.
const WCHAR* FindNameBlock(HMODULE module, ULONG_PTR* count)
{
    // A data file's handle is its base plus 1: the mapping holding that
    // address begins at the base.
    MEMORY_BASIC_INFORMATION region;
    VirtualQuery(module, &region, sizeof region);
    ULONG_PTR base = (ULONG_PTR)region.AllocationBase;
    const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)base;
    if (!IsInsideMapping(base, ~(ULONG_PTR)0, dos, sizeof *dos))
        return NULL;
    // SizeOfImage lies at the same offset in 32- and 64-bit headers.
    const DWORD* imageSize = (const DWORD*)(base + (ULONG_PTR)dos->e_lfanew
                                            + FIELD_OFFSET(IMAGE_NT_HEADERS, OptionalHeader.SizeOfImage));
    HRSRC block = FindResourceA(module, MAKEINTRESOURCEA(SAVER_NAME_BLOCK), (LPCSTR)RT_STRING);
    if (!block || !IsInsideMapping(base, ~(ULONG_PTR)0, imageSize, sizeof *imageSize))
        return NULL;
    *count = SizeofResource(module, block) / sizeof(WCHAR);
    const WCHAR* text = (const WCHAR*)LockResource(LoadResource(module, block));
    // A sum past the address space wraps below base: nothing is inside.
    if (!IsInsideMapping(base, base + *imageSize, text, *count * sizeof(WCHAR)))
        return NULL;
    return text;
}

// String 1 of a module loaded as a data file, walked by hand: LoadStringA
// trusts the lengths stored in the table, and a damaged file whose string
// claims more characters than it holds would be read past its end.
void ReadDisplayName(HMODULE module, char* label)
{
    ULONG_PTR count;
    const WCHAR* text = FindNameBlock(module, &count);
    if (!text)
        return;
    const WCHAR* end = text + count;
    // Each entry is a count of characters followed by the characters; the
    // block of string 1 starts with string 0.
    for (int id = 0; id < SAVER_NAME_STRING; ++id) {
        if (text >= end)
            return;
        text += 1 + *text;
    }
    if (text >= end)
        return;
    int length = *text++;
    if (length > end - text)
        length = (int)(end - text);
    if (length > LABEL_SIZE - 1)
        length = LABEL_SIZE - 1;   // at most 63 bytes are kept anyway
    char wide[LABEL_SIZE * 2];
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, wide, sizeof wide - 1, NULL, NULL);
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

// Fills entry from what the search found and inserts its item above the
// item of the entry before it; flags: MF_CHECKED or 0.
void ListSaver(SaverEntry* entry, const char* folder, const WIN32_FIND_DATAA& found, UINT flags)
{
    lstrcpynA(entry->directory, folder, MAX_PATH);
    lstrcpynA(entry->longName, found.cFileName, MAX_PATH);
    lstrcpynA(entry->shortName, found.cAlternateFileName, SHORT_NAME_SIZE);
    char label[MAX_PATH];
    char caption[2 * MAX_PATH];
    LabelOf(entry, label);
    CaptionOf(label, caption);
    InsertMenuA(appState.trayMenu, IDM_SAVER_BASE + entry->index - 1, MF_BYCOMMAND | MF_STRING | flags,
                IDM_SAVER_BASE + entry->index, caption);
}

// Adds one entry after the cursor and its menu item above the previous one.
// FALSE when the entry could not be allocated.
BOOL AddSaver(const char* folder, const WIN32_FIND_DATAA& found)
{
    SaverEntry* entry = AllocateEntry();
    if (!entry)
        return FALSE;
    entry->index = ++appState.saverCount;
    entry->next = appState.cursor->next;
    appState.cursor->next = entry;
    appState.cursor = entry;
    ListSaver(entry, folder, found, 0);
    return TRUE;
}

// Scans one folder. Each saver is listed while the menu has room; once it
// is full, only the one that wanted names (if any) is looked for, and it
// takes the last place, keeping that item's check. TRUE when it was found.
BOOL ScanFolder(const char* folder, const char* wanted)
{
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, folder, SAVER_PATTERN))
        return FALSE;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL adopted = FALSE;
    do {
        // A path that cannot be held whole could be neither written to
        // SYSTEM.INI nor run.
        char path[MAX_PATH];
        char alias[MAX_PATH];
        if (!JoinPath(path, folder, found.cFileName))
            continue;
        if (appState.saverCount < MAX_SAVERS) {
            if (!AddSaver(folder, found))
                break;
            continue;
        }
        if (!wanted)
            break;
        // The forms SYSTEM.INI may hold: the alias that SaverPathOf gives, or
        // the long name that NT's display settings write.
        JoinPath(alias, folder, found.cAlternateFileName[0] ? found.cAlternateFileName : found.cFileName);
        adopted = lstrcmpiA(wanted, path) == 0 || lstrcmpiA(wanted, alias) == 0;
        if (adopted) {
            UINT id = IDM_SAVER_BASE + MAX_SAVERS;
            SeekSaver(MAX_SAVERS);
            DeleteMenu(appState.menuRoot, id, MF_BYCOMMAND);
            ListSaver(appState.cursor, folder, found, appState.saverItem == id ? MF_CHECKED : 0);
        }
    } while (!adopted && FindNextFileA(search, &found));
    FindClose(search);
    return adopted;
}

// Scans saverbox, the system directory and the Windows directory in this
// order, each as ScanFolder does; TRUE when wanted was found.
BOOL ScanFolders(const char* wanted, BOOL createSaverFolder)
{
    char folders[FOLDER_COUNT][MAX_PATH];
    int folderCount = 0;
    if (PrepareSaverFolder(folders[folderCount], createSaverFolder))
        ++folderCount;
    DWORD length = GetSystemDirectoryA(folders[folderCount], MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        ++folderCount;
    length = GetWindowsDirectoryA(folders[folderCount], MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        ++folderCount;
    // No "insert a disk" boxes while folders are searched and files read.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    BOOL adopted = FALSE;
    for (int i = 0; i < folderCount && !adopted; ++i)
        adopted = ScanFolder(folders[i], wanted);
    SetErrorMode(previousMode);
    return adopted;
}

void ReportEmptyCatalogue(HWND window)
{
    MessageBoxA(NULL, EMPTY_CATALOGUE_TEXT, APP_NAME, MB_OK | MB_SYSTEMMODAL);
    // Closed meanwhile: the window has been torn down already.
    if (appState.closing)
        return;
    // The program ends here, as a close would end it: not with the saver off.
    RestoreTemporaryOff();
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
    appState.saverCount = 0;
    appState.cursor = AllocateEntry();
    if (appState.cursor) {
        appState.cursor->next = appState.cursor;
        ScanFolders(NULL, TRUE);
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

int AdoptPassedOverSaver(const char* path)
{
    // Below the limit every file found is listed.
    if (appState.saverCount < MAX_SAVERS || !ScanFolders(path, FALSE))
        return 0;
    return MAX_SAVERS;
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
