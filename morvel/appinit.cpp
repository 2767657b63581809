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
  static const Tk_PhotoImageFormat scatter2 = {"Scatter2",
                                               nullptr,
                                               Scatter2StringMatch,
                                               nullptr,
                                               Scatter2StringRead,
                                               nullptr,
                                               nullptr,
                                               nullptr};
  Tk_CreatePhotoImageFormat(&scatter2);

  // Commands: no client data, no delete procedure.
  Tcl_CreateCommand(interp, "PointValue", PointValueCmd, nullptr, nullptr);
  Tcl_CreateCommand(interp, "CreateGif", CreateGifCmd, nullptr, nullptr);
  Tcl_CreateCommand(interp, "ClearMatchingPoints", ClearMatchingPointsCmd,
                    nullptr, nullptr);

  return TCL_OK;
}
