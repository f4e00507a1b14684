/* Resource identifiers shared by demosaver.c and demosaver.rc. */
#ifndef NAPKIT_TEST_DEMOSAVER_H
#define NAPKIT_TEST_DEMOSAVER_H

#define IDS_DISPLAY_NAME 1      /* a saver's display name is string 1 */
#define IDD_SETTINGS     100    /* the settings dialog (/c or no argument) */

#endif
