// The viewer shell: application start-up and the procedures it registers
// with Tcl and Tk.
#pragma once

#include <tcl.h>
#include <tk.h>

// Tcl and Tk set up, then the photo formats and commands registered.
int AppInit(Tcl_Interp *interp);

// The decimal text of `value`, in one process-wide buffer that each call
// overwrites.
const char *IntToText(int value);
