// Application start-up: Tcl and Tk first, then the toolkit's photo formats
// and commands.
#include "shell.h"

int AppInit(Tcl_Interp *interp) {
  if (Tcl_Init(interp) == TCL_ERROR) return TCL_ERROR;
  if (Tk_Init(interp) == TCL_ERROR) return TCL_ERROR;

  // Formats: read-only, from the -data string of a photo image.
  static const Tk_PhotoImageFormat paletteImage = {"PaletteImage",
                                                   nullptr,
                                                   PaletteImageStringMatch,
                                                   nullptr,
                                                   PaletteImageStringRead,
                                                   nullptr,
                                                   nullptr,
                                                   nullptr};
  Tk_CreatePhotoImageFormat(&paletteImage);
  static const Tk_PhotoImageFormat rawImage = {"RawImage",
                                               nullptr,
                                               RawImageStringMatch,
                                               nullptr,
                                               RawImageStringRead,
                                               nullptr,
                                               nullptr,
                                               nullptr};
  Tk_CreatePhotoImageFormat(&rawImage);

  // Commands: no client data, no delete procedure.

  return TCL_OK;
}
