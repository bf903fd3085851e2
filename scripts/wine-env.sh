# Sourced: the environment of a build's Wine bench (see wine-bench.sh).
#   . wine-env.sh <build>
_fwu_build=$(cd "$1" && pwd)
export WINEPREFIX=$_fwu_build/wineprefix
export WINEDEBUG=-all
# No debugger: Wine would attach winedbg to a program that faults, and hold it
# there until the test's time-out; without it the program ends at once, and
# the fault's first line stays in the test's output.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64
export FWU_PORTS=$_fwu_build/bench/ports
if [ -f "$_fwu_build/bench/display" ]; then
  DISPLAY=$(cat "$_fwu_build/bench/display")
  export DISPLAY
fi
unset _fwu_build
