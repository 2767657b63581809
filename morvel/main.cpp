// morvel: the toolkit's interactive shell.
#include "shell.h"

int main(int argc, char **argv) {
  Tk_Main(argc, argv, AppInit);
  return 0;
}
