// The viewer shell: application start-up and the procedures it registers
// with Tcl and Tk.
#pragma once

#include <tcl.h>
#include <tk.h>

// Tcl and Tk set up, then the photo formats and commands registered.
int AppInit(Tcl_Interp *interp);

// Photo formats, read from the -data string of a photo image only. A match
// procedure stores the photo's size and returns non-zero when the string
// is one of the format's configuration strings; a read procedure fills the
// width x height region at (destX, destY).

// "PaletteImage": "<height> <width> |" and 768 palette numbers.
int PaletteImageStringMatch(char *string, char *formatString, int *widthPtr,
                            int *heightPtr);
int PaletteImageStringRead(Tcl_Interp *interp, char *string, char *formatString,
                           Tk_PhotoHandle imageHandle, int destX, int destY,
                           int width, int height, int srcX, int srcY);

// "RawImage": band files, a window and band-arithmetic expressions.
int RawImageStringMatch(char *string, char *formatString, int *widthPtr,
                        int *heightPtr);
int RawImageStringRead(Tcl_Interp *interp, char *string, char *formatString,
                       Tk_PhotoHandle imageHandle, int destX, int destY,
                       int width, int height, int srcX, int srcY);

// A palette of 256 entries of red, green and blue from `text`: for each
// number every character but a digit is skipped, the number read, and the
// text skipped up to the next blank. False when the text runs short or a
// number does not fit an int.
constexpr int PALETTE_ENTRIES = 256;
bool read_palette(const char *text, int palette[PALETTE_ENTRIES][3]);
// "Scatter2" photo format: a scatter plot drawn from a plot file.
int Scatter2StringMatch(char *string, char *format, int *width, int *height);
int Scatter2StringRead(Tcl_Interp *interp, char *string, char *format,
                       Tk_PhotoHandle photo, int destX, int destY, int width,
                       int height, int srcX, int srcY);

// "PointValue": one sample of a band or PCI file as decimal text.
int PointValueCmd(ClientData clientData, Tcl_Interp *interp, int argc,
                  const char *argv[]);
// "ClearMatchingPoints": zeroes a rectangle of a matching points file.
int ClearMatchingPointsCmd(ClientData clientData, Tcl_Interp *interp, int argc,
                           const char *argv[]);
// "CreateGif": saves what a window shows as a GIF file.
int CreateGifCmd(ClientData clientData, Tcl_Interp *interp, int argc,
                 const char *argv[]);
