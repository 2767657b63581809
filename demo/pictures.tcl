# Shows the demo scene in the shell and saves each picture as a GIF file:
# an RGB composite of bands 4, 3 and 2, each band stretched to its range,
# the first three principal components as red, green and blue, the
# classification as a palette image with a legend of its classes, and the
# scatter plot of bands 3 and 4 with its axes. Run it in the scene folder,
# which holds classes.cof and scatter.plot:
#
#   morvel pictures.tcl "<band paths>" "<band numbers>" <rows> <cols> "<PCI paths>" <classes>
lassign $argv bandPaths bandNumbers rows cols pciPaths classes
set written {}

# One canvas shows each picture in turn at the top left of the screen; a
# picture is saved from what the canvas shows.
wm geometry . +0+0
pack [canvas .c -bd 0 -highlightthickness 0]

# Saves what the canvas shows, w x h from its top-left corner.
proc capture {gif w h} {
  global written
  update
  CreateGif .c $gif $h $w 0 {} {} {} {set progress %d}
  lappend written "$gif ($w x $h)"
}

proc save {photo gif} {
  set w [image width $photo]
  set h [image height $photo]
  .c configure -width $w -height $h
  .c delete all
  .c create image 0 0 -anchor nw -image $photo
  capture $gif $w $h
}

set image "x|$bandPaths|x|$bandNumbers|x|$pciPaths|1 $rows $cols 0 0 $rows $cols $rows $cols"

# A band holds its classes within a narrow part of 0..255, so shown as it
# is the composite is dull and greyish. Each band is stretched linearly:
# its 2nd percentile becomes 0 and its 98th 255 (values beyond are clipped
# by the byte conversion), within the expression: "(B4-90)*3.269" for
# band 4 of the demo scene.
proc stretched {band path} {
  set f [open $path rb]
  binary scan [read $f] cu* samples
  close $f
  set sorted [lsort -integer $samples]
  set n [llength $sorted]
  set low [lindex $sorted [expr {$n * 2 / 100}]]
  set high [lindex $sorted [expr {$n * 98 / 100}]]
  if {$high <= $low} { return "B$band" }
  return "(B$band-$low)*[format %.4g [expr {255.0 / ($high - $low)}]]"
}
set channels {}
foreach band {4 3 2} {
  lappend channels [stretched $band [lindex $bandPaths [lsearch -exact $bandNumbers $band]]]
}
image create photo rgb -format RawImage -data "$image 2|[join $channels ||]|"
save rgb rgb.gif

image create photo pcs -format RawImage -data "$image 2|PC1||PC2||PC3|"
save pcs pcs.gif

# The classification file is a raster of one byte per pixel: shown as band
# 1 of an 8-bit image, its class numbers pick palette entries. Class k gets
# colour k of this list (the list starts again after its last colour);
# entry 0, no class, is black.
set colours {{230 25 75 red} {60 180 75 green} {255 225 25 yellow}
             {0 130 200 blue} {245 130 48 orange} {145 30 180 purple}
             {70 240 240 cyan} {240 50 230 magenta} {210 245 60 lime}
             {250 190 190 pink}}
proc class_colour {k} {
  global colours
  return [lindex $colours [expr {($k - 1) % [llength $colours]}]]
}
set palette {0 0 0}
for {set k 1} {$k <= $classes} {incr k} {
  lappend palette {*}[lrange [class_colour $k] 0 2]
}
while {[llength $palette] < 768} { lappend palette 0 }
image create photo classes -format RawImage \
  -data "x|classes.cof|x|1|x|NO-PCI|1 $rows $cols 0 0 $rows $cols $rows $cols 3|B1||$palette"
save classes classes.gif

# The legend: one line per class of the scene, a block of its colour and
# its number, drawn on the canvas and saved as it shows.
.c delete all
set lineHeight 22
set w 140
set h [expr {$classes * $lineHeight + 4}]
.c configure -width $w -height $h -background white
set legend {}
for {set k 1} {$k <= $classes} {incr k} {
  lassign [class_colour $k] r g b name
  set y [expr {($k - 1) * $lineHeight + 4}]
  .c create rectangle 4 $y 44 [expr {$y + $lineHeight - 4}] \
    -fill [format "#%02x%02x%02x" $r $g $b] -outline black
  .c create text 52 [expr {$y + ($lineHeight - 4) / 2}] -anchor w \
    -text "class $k" -fill black
  lappend legend "class $k: $name ($r $g $b)"
}
capture legend.gif $w $h

# The scatter plot with its axes: band 3 (the plot file's first value)
# upwards, band 4 to the right, two pixels per value, ticks every 50 values.
image create photo scatter -format Scatter2 -data "scatter.plot 0 0 256 plot 20 50 512 512"
set left 64
set top 34
set w [expr {$left + 512 + 34}]
set h [expr {$top + 512 + 56}]
.c delete all
.c configure -width $w -height $h -background white
.c create image $left $top -anchor nw -image scatter
set x0 [expr {$left - 1}]
set y0 [expr {$top + 512}]
.c create line $x0 $y0 $x0 [expr {$top - 18}] -arrow last -fill black
.c create line $x0 $y0 [expr {$left + 512 + 18}] $y0 -arrow last -fill black
for {set v 0} {$v <= 250} {incr v 50} {
  # Value v is the cell of two pixels at 2v from the origin.
  set x [expr {$left + 2 * $v + 1}]
  set y [expr {$top + 2 * (255 - $v) + 1}]
  .c create line [expr {$x0 - 6}] $y $x0 $y -fill black
  .c create text [expr {$x0 - 9}] $y -anchor e -text $v -fill black
  .c create line $x $y0 $x [expr {$y0 + 6}] -fill black
  .c create text $x [expr {$y0 + 9}] -anchor n -text $v -fill black
}
.c create text [expr {$x0 + 8}] [expr {$top - 18}] -anchor w -text "band 3" -fill black
.c create text [expr {$left + 256}] [expr {$y0 + 34}] -anchor n -text "band 4" -fill black
capture scatter.gif $w $h

puts "band 4 at row 10, column 20: [PointValue [lindex $bandPaths 3] 4 1 10 20 $rows $cols 0]"
puts "rgb.gif: red [lindex $channels 0], green [lindex $channels 1], blue [lindex $channels 2]"
puts "files written:"
foreach f $written { puts "  $f" }
puts "classes.gif colours, as legend.gif shows them:"
foreach line $legend { puts "  $line" }
exit 0
