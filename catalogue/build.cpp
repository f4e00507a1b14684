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

// The saver folder under the current directory, created when missing.
// FALSE when its path does not fit.
BOOL PrepareSaverFolder(char* folder)
{
    char current[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, current);
    if (length == 0 || length >= MAX_PATH || !JoinPath(folder, current, SAVER_FOLDER_NAME))
        return FALSE;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(folder, &found);
    if (search == INVALID_HANDLE_VALUE)
        CreateDirectoryA(folder, NULL);
    else
        FindClose(search);
    return TRUE;
}

// String 1 of a module loaded as a data file, walked by hand: LoadStringA
// trusts the lengths stored in the table, and a damaged file whose string
// claims more characters than it holds would be read past its end.
void ReadDisplayName(HMODULE module, char* label)
{
    HRSRC block = FindResourceA(module, MAKEINTRESOURCEA(SAVER_NAME_BLOCK), (LPCSTR)RT_STRING);
    const WCHAR* text = block ? (const WCHAR*)LockResource(LoadResource(module, block)) : NULL;
    if (!text)
        return;
    const WCHAR* end = text + SizeofResource(module, block) / sizeof(WCHAR);
    // The resource directory can lie about the size as well; stay inside the
    // memory that holds the file.
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(text, &region, sizeof region)) {
        const WCHAR* regionEnd = (const WCHAR*)((const BYTE*)region.BaseAddress + region.RegionSize);
        if (regionEnd < end)
            end = regionEnd;
    }
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
    char folders[FOLDER_COUNT][MAX_PATH];
    int folderCount = 0;
    if (PrepareSaverFolder(folders[folderCount]))
        ++folderCount;
    DWORD length = GetSystemDirectoryA(folders[folderCount], MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        ++folderCount;
    length = GetWindowsDirectoryA(folders[folderCount], MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        ++folderCount;

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
