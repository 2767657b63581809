# Shows the demo scene in the shell and saves each picture as a GIF file:
# an RGB composite of bands 4, 3 and 2, the first three principal
# components as red, green and blue, the classification as a palette image
# with its colour bar, and the scatter plot of bands 3 and 4. Run it in the
# scene folder:
#
#   morvel pictures.tcl "<band paths>" "<band numbers>" <rows> <cols> "<PCI paths>"
lassign $argv bandPaths bandNumbers rows cols pciPaths
set written {}

# One canvas shows each picture in turn at the top left of the screen; a
# picture is saved from what the canvas shows.
wm geometry . +0+0
pack [canvas .c -bd 0 -highlightthickness 0]

proc save {photo gif} {
  global written
  set w [image width $photo]
  set h [image height $photo]
  .c configure -width $w -height $h
  .c delete all
  .c create image 0 0 -anchor nw -image $photo
  update
  CreateGif .c $gif $h $w 0 {} {} {} {set progress %d}
  lappend written "$gif ($w x $h)"
}

set image "x|$bandPaths|x|$bandNumbers|x|$pciPaths|1 $rows $cols 0 0 $rows $cols $rows $cols"

image create photo rgb -format RawImage -data "$image 2|B4||B3||B2|"
save rgb rgb.gif

image create photo pcs -format RawImage -data "$image 2|PC1||PC2||PC3|"
save pcs pcs.gif

# The classification file is a raster of one byte per pixel: shown as band
# 1 of an 8-bit image, its class numbers pick palette entries.
set palette {0 0 0  230 25 75  60 180 75  255 225 25  0 130 200  245 130 48
             145 30 180  70 240 240  240 50 230  210 245 60  250 190 190}
while {[llength $palette] < 768} { lappend palette 0 }
image create photo classes -format RawImage \
  -data "x|classes.cof|x|1|x|NO-PCI|1 $rows $cols 0 0 $rows $cols $rows $cols 3|B1||$palette"
save classes classes.gif
image create photo legend -format PaletteImage -data "20 256 |$palette"
save legend legend.gif

image create photo scatter -format Scatter2 -data "scatter.plot 0 0 256 plot 20 50 512 512"
save scatter scatter.gif

puts "band 4 at row 10, column 20: [PointValue [lindex $bandPaths 3] 4 1 10 20 $rows $cols 0]"
puts "files written:"
foreach f $written { puts "  $f" }
exit 0
