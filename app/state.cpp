#include "app/app.h"

AppState appState;
