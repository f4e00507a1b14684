// Program settings: NAPKIT.INI in the current directory at start, and the
// location of SYSTEM.INI. Every read goes to the file; a path that could not
// be built reads as an absent file and is never written.
#pragma once
#include <windows.h>

constexpr char SECTION_ACTION[] = "Action";
constexpr char SECTION_MESSAGE[] = "Message";
constexpr char SECTION_HOTKEYS[] = "HotKeys";

constexpr char KEY_APP_MODE[] = "AppMode";
constexpr char KEY_DBLCLICK[] = "IconDubbleClick";
constexpr char KEY_COMMAND_WAIT[] = "ScreenSaveCommandWait";
constexpr char KEY_RANDOM_SET[] = "ScreenSaver_RandomSet";
constexpr char KEY_USE_SAVER_NAME[] = "UseSaverName";
constexpr char KEY_OPEN_MESSAGE_BOX[] = "OpenMessageBox";
constexpr char KEY_ENABLE_HOTKEYS[] = "EnableHotKeys";
constexpr char KEY_COMBINATION[] = "CombinationKeys";
constexpr char KEY_PAUSE_UNTIL[] = "PauseUntil";   // only while a pause runs: its end
constexpr char KEY_PAUSE_MINUTES[] = "PauseMinutes";   // and its length, for its check mark
constexpr char KEY_FULL_SCREEN_OFF[] = "FullScreenOff";
constexpr char KEY_FULL_SCREEN_HOLD[] = "FullScreenHold";   // 1 only while a hold runs

constexpr int DEFAULT_APP_MODE = 0;
constexpr int DEFAULT_DBLCLICK = 1;
constexpr int DEFAULT_COMMAND_WAIT_MS = 500;
constexpr int DEFAULT_RANDOM_SET = 0;
constexpr int DEFAULT_USE_SAVER_NAME = 1;
constexpr int DEFAULT_MESSAGE_FLAGS = 3;
constexpr int DEFAULT_ENABLE_HOTKEYS = 0;
constexpr int DEFAULT_COMBINATION = 3;
constexpr int DEFAULT_FULL_SCREEN_OFF = 0;

constexpr int PATHS_READY = 4;

// The double-click group owns the ids 40100-40199. A value of
// [Action] IconDubbleClick beyond that block would name an item of another
// group (100 the custom time-out, 901 the first saver) and move that group's
// check mark; it reads as 2 instead, an action no item has: the double-click
// toggles and no item of the group is checked until the user chooses one.
constexpr int DBLCLICK_VALUE_LIMIT = 99;
constexpr int DBLCLICK_UNKNOWN_VALUE = 2;
// A wait longer than a minute only comes from editing the file (eleven digits
// even wrap round to some two weeks); it would freeze the program.
constexpr int MAX_COMMAND_WAIT_MS = 60000;

void InitPaths();
int ReadAppMode();
void LoadDblClickAction(UINT* item);
void SaveDblClickAction(const UINT* item);
void LoadCommandWait(int* waitMs);
void SaveCommandWait(const int* waitMs);

int ReadSettingInt(const char* section, const char* key, int defaultValue);
void ReadSettingText(const char* section, const char* key, const char* defaultText,
                     char* out, int outSize);
// FALSE when the file was not written.
BOOL WriteSettingInt(const char* section, const char* key, int value);
BOOL WriteSettingText(const char* section, const char* key, const char* text);   // NULL removes the key

// Joins dir, a backslash (unless dir ends in one, as a drive root does) and
// name into out (MAX_PATH bytes). Returns FALSE,
// leaving out empty, when the result would exceed MAX_PATH - 1 characters.
BOOL JoinPath(char* out, const char* dir, const char* name);
// The name after the path's last backslash; the path itself when it has none.
const char* FileNameOf(const char* path);

// bits of [Message] OpenMessageBox (messageFlags)
constexpr UINT MESSAGE_ON_STATE = 1;    // box when the enabled state is toggled
constexpr UINT MESSAGE_ON_CHANGE = 2;   // box when the saver is changed from the menu
