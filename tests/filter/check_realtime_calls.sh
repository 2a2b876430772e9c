#!/usr/bin/env bash
# check_realtime_calls.sh OBJECT...: the event paths and the LV2 plug-in's run
# are called on the host's real-time threads, so everything they can call must
# be known not to allocate, lock or block. Lists what the core's, the Windows
# face's paths' and the LV2 plug-in's object files call outside themselves and
# fails on anything not allowed here.
set -uo pipefail
allowed=(
  'ComputeModulatedValue(int, int, int, int, int, int)'  # pure
  'ModulationScale(int, int, int, int)'                   # pure: the rule's first stage
  'CFilterCore::ReadSettings() const'                      # six atomic loads
  'CFilterCore::ResetLastSent()' 'CFilterCore::ForgetHistory()'  # atomic stores
  'CFilterCore::SetParam(unsigned int, unsigned int, int)'       # one atomic store
  'CFilterCore::GetParam(unsigned int, unsigned int) const'       # one atomic load
  'SettingFromHostValue(unsigned int, double, int)'              # pure: a control's value into its bounds
  '_GLOBAL_OFFSET_TABLE_'                                        # no call: the settings table's address
  'GetParamMin(unsigned int, unsigned int)' 'GetParamMax(unsigned int, unsigned int)'
  'memcpy' 'memset'                                       # the rule cache's clearing
  # Instantiation only (CVeltracePlugin::Create): the plug-in and its core
  # are made, the host's features looked up.
  'CFilterCore::CFilterCore()' 'DefaultSettingsCells()' 'operator new(unsigned long, std::nothrow_t const&)'
  'operator delete(void*, std::nothrow_t const&)' 'std::nothrow' 'strcmp' '_Unwind_Resume' '__gxx_personality_v0'
)
status=0
for object in "$@"; do
  case "$object" in
    */event_paths.cpp.o | */filter_core.cpp.o | */parameters.cpp.o | */veltrace_plugin.cpp.o) ;;
    *) continue ;;
  esac
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
[ "$status" -eq 0 ] && echo "the event paths and the LV2 plug-in's run call only the rule, the core's atomic cells and memcpy"
exit "$status"
