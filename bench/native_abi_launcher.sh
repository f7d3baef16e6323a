#!/bin/sh
# Runs a compiler or linker command without -m32, for a benchmark build in the machine's own ABI.
for arg do
  shift
  [ "$arg" = -m32 ] && continue
  set -- "$@" "$arg"
done
exec "$@"
