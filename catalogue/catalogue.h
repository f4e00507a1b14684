// The screen-saver catalogue: the ring of .scr files found in the saverbox
// folder, the system directory and the Windows directory, their menu items,
// and the operations that pick, select, run and refresh savers.
#pragma once
#include <windows.h>

constexpr int SHORT_NAME_SIZE = 14;
constexpr int MAX_SAVERS = 899;        // ids 41001-41899; 41900 on are other commands
constexpr int LABEL_SIZE = 64;         // a display name holds at most 63 bytes
constexpr int MAX_RANDOM_START_RETRIES = 3;

// One saver file; the entries form a ring through next, with a head entry of
// index 0. Each is a fixed block of the global heap.
struct SaverEntry {
    char directory[MAX_PATH];
    char longName[MAX_PATH];
    char shortName[SHORT_NAME_SIZE];
    int index;
    SaverEntry* next;
};

// build.cpp
BOOL BuildSaverCatalogue(HWND window);   // NULL: no menu, no box when empty
void SeekSaver(int index);
void SaverPathOf(const SaverEntry* entry, char* path);   // MAX_PATH bytes
void SaverStemOf(const SaverEntry* entry, char* stem);   // MAX_PATH bytes
// When the menu is full: a saver file of the three folders that path names
// but the menu had no room for replaces the last entry and item. Returns
// MAX_SAVERS then, else 0.
int AdoptPassedOverSaver(const char* path);
void FreeSaverCatalogue();
void TrimPartialCharacter(char* text);

// select.cpp
void SeedRandom(UINT seed);
int DrawRandom();
int PickRandomSaver();
void SyncCurrentSaver(HWND window, const char* path);
void RandomChangeSaver(HWND window);
void SelectSaver(HWND window, int n);
void ConfigureCurrentSaver(HWND window);
// A saver of the catalogue (not empty) picked at random, started after the
// configured wait; FALSE when it could not be started.
BOOL RunRandomSaver();
void RandomStartSaver(HWND window, WPARAM wParam, LPARAM lParam);
void RefreshCatalogue(HWND window);
