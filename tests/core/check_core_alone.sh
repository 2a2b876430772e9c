#!/usr/bin/env bash
# check_core_alone.sh COMPILER CORE_DIR: the core stands on the standard
# library alone. Every include in its folder is either a standard C++ header
# or a file of the folder itself, and every source and header compiles with no
# include path at all (so no header of the COM face, a plug-in format or the
# platform can come back in unnoticed).
set -uo pipefail
compiler=$1
core=$2
standard=' algorithm array atomic cmath cstddef cstdint cstdlib cstring functional limits memory optional string type_traits utility vector '
status=0
for file in "$core"/*.h "$core"/*.cpp; do
  while read -r include; do
    case "$include" in
      '<'*'>') name=${include#<}; name=${name%>}
               [[ "$standard" == *" $name "* ]] || { echo "FAILED: $(basename "$file") includes <$name>"; status=1; } ;;
      '"'*'"') name=${include#\"}; name=${name%\"}
               [ -f "$core/$name" ] && [[ "$name" != */* ]] || { echo "FAILED: $(basename "$file") includes \"$name\""; status=1; } ;;
    esac
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*\([<"][^>"]*[>"]\).*/\1/p' "$file")
  # Included from an empty file, as a user of the core includes it.
  echo "#include \"$(cd "$core" && pwd)/$(basename "$file")\"" |
    "$compiler" -std=c++17 -fsyntax-only -Wall -Wextra -Werror -x c++ - ||
    { echo "FAILED: $(basename "$file") does not compile alone"; status=1; }
done
[ "$status" -eq 0 ] && echo "core: $(ls "$core"/*.h "$core"/*.cpp | wc -l) files, standard headers and each other only"
exit "$status"
