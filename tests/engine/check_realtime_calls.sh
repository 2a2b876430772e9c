#!/usr/bin/env bash
# check_realtime_calls.sh OBJECT...: the event paths run on the host's
# real-time threads, so everything they can call must be known not to
# allocate or block beyond the settings lock. Lists what the engine's object
# files call outside themselves and fails on anything not allowed here.
set -uo pipefail
allowed=(
  'ComputeModulatedValue(int, int, int, int, int, int)'  # pure
  'ModulationScale(int, int, int, int)'                   # pure: the rule's first stage
  'CFilterEngine::ReadSettings() const'                    # six cells under the settings lock
  'pthread_mutex_lock' 'pthread_mutex_unlock'              # the settings lock itself
  'std::__throw_system_error(int)'                          # only if the lock cannot be taken at all
)
status=0
for object in "$@"; do
  case "$object" in */event_paths.cpp.o | */filter_engine.cpp.o | */parameters.cpp.o) ;; *) continue ;; esac
  while read -r symbol; do
    [ -z "$symbol" ] && continue
    found=0
    for name in "${allowed[@]}"; do [ "$symbol" = "$name" ] && found=1; done
    if [ "$found" -eq 0 ]; then
      echo "FAILED: $(basename "$object") calls $symbol"
      status=1
    fi
  done < <(nm -u -C "$object" | sed 's/^ *U //')
done
[ "$status" -eq 0 ] && echo "the event paths call only the settings lock and the rule"
exit "$status"
