# Timing helpers of the shell's benchmarks, sourced by the scripts that
# bench/morvel.sh and bench/morvel-gif.sh give to morvel.

# The median of a list of numbers.
proc median {values} {
  set v [lsort -real $values]
  set n [llength $v]
  if {$n % 2} { return [lindex $v [expr {$n / 2}]] }
  return [expr {([lindex $v [expr {$n / 2 - 1}]] + [lindex $v [expr {$n / 2}]]) / 2.0}]
}

# Runs `script` at the global level `runs` times, printing each time in
# seconds, then their median.
proc bench_runs {name runs script} {
  set times {}
  for {set i 1} {$i <= $runs} {incr i} {
    set s [expr {[lindex [uplevel #0 [list time $script]] 0] / 1e6}]
    puts [format "%s run %d: %.3f s" $name $i $s]
    lappend times $s
  }
  puts [format "%s median: %.3f s" $name [median $times]]
}
