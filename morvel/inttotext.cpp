// Decimal text of an integer for the shell's results and messages.
#include <cstdio>

#include "shell.h"

const char *IntToText(int value) {
  static char text[16];  // "-2147483648" and its terminator fit
  snprintf(text, sizeof text, "%d", value);
  return text;
}
