// Failure exit of the console tools. Only console programs include this:
// the shell's procedures report failures through the interpreter and never
// end the process.
#pragma once

// Prints the formatted message on standard error as it stands (no line end
// is added) and ends the process with exit status 1. Files already written
// keep what they hold.
[[noreturn]] void fail_with(const char *format, ...)
    __attribute__((format(printf, 1, 2)));

// The system's text for the last error (errno), for the " (%s)" of messages.
const char *error_text();
