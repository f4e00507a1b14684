/* Shared by the test screen savers: record how the saver was started.
 *
 * The tests set NAPKIT_SAVER_LOG to a file name; each saver run then appends
 * its full command line to that file, so a test can check which saver was
 * started and with which arguments. */
#ifndef NAPKIT_TEST_SAVER_LOG_H
#define NAPKIT_TEST_SAVER_LOG_H

/* Appends GetCommandLineA() and CR LF to the file named by NAPKIT_SAVER_LOG.
 * Does nothing when the variable is absent or empty, or the file cannot be
 * opened. */
void append_command_line_to_log(void);

#endif
