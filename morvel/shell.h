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

// "Scatter2" photo format: a scatter plot drawn from a plot file.
int Scatter2StringMatch(char *string, char *format, int *width, int *height);
int Scatter2StringRead(Tcl_Interp *interp, char *string, char *format,
                       Tk_PhotoHandle photo, int destX, int destY, int width,
                       int height, int srcX, int srcY);

// "PointValue": one sample of a band or PCI file as decimal text.
int PointValueCmd(ClientData clientData, Tcl_Interp *interp, int argc,
                  const char *argv[]);
// "ClearMatchingPoints": zeroes a rectangle of a matching points file.
int ClearMatchingPointsCmd(ClientData clientData, Tcl_Interp *interp,
                           int argc, const char *argv[]);
// "CreateGif": saves what a window shows as a GIF file.
int CreateGifCmd(ClientData clientData, Tcl_Interp *interp, int argc,
                 const char *argv[]);
