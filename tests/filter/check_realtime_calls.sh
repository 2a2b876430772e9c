#!/usr/bin/env bash
# check_realtime_calls.sh OBJECT...: the event paths, the LV2 plug-in's run and
# the CLAP and VST3 editions' cycles are called on the host's real-time
# threads, so everything they can call must be known not to allocate, lock or
# block. Lists what the core's, the Windows face's paths', the LV2 plug-in's
# and the DPF editions' cycle files call outside themselves and fails on
# anything not allowed here.
set -uo pipefail
allowed=(
  'ComputeModulatedValue(int, int, int, int, int, int)'  # pure
  'ModulationScale(int, int, int, int)'                   # pure: the rule's first stage
  'CFilterCore::ReadSettings() const'                      # six atomic loads
  'CFilterCore::ResetLastSent()' 'CFilterCore::ForgetHistory()'  # atomic stores
  'CFilterCore::SetParam(unsigned int, unsigned int, int)'       # one atomic store
  'CFilterCore::GetParam(unsigned int, unsigned int) const'      # one atomic load
  '_GLOBAL_OFFSET_TABLE_'                                  # no call: position-independent code finds the table so
  # DPF's own, within a cycle: the host's transport as DPF keeps it, and an
  # output event handed to the host's list.
  'DISTRHO::Plugin::getTimePosition() const' 'DISTRHO::Plugin::writeMidiEvent(DISTRHO::MidiEvent const&)'
  'CVeltraceDpfPlugin::ForgetHistory()'                   # atomic stores (reset, on the audio thread)
  'GetParamMin(unsigned int, unsigned int)' 'GetParamMax(unsigned int, unsigned int)'
  'memcpy' 'memset' 'memmove'                             # the rule cache's clearing, copies of records
  'RunFrom(Vst3MidiItem const*, unsigned long, unsigned long, unsigned long)'  # pure: where a VST3 call's MIDI is cut
  # Instantiation only (CVeltracePlugin::Create): the plug-in and its core
  # are made, the host's features looked up.
  'CFilterCore::CFilterCore()' 'DefaultSettingsCells()' 'operator new(unsigned long, std::nothrow_t const&)'
  'operator delete(void*, std::nothrow_t const&)' 'std::nothrow' 'strcmp' '_Unwind_Resume' '__gxx_personality_v0'
)
status=0
for object in "$@"; do
  case "$object" in
    */event_paths.cpp.o | */filter_core.cpp.o | */parameters.cpp.o | */veltrace_plugin.cpp.o) ;;
    */veltrace_dpf_run.cpp.o | */clap_events.cpp.o | */vst3_processor.cpp.o | */vst3_runs.cpp.o) ;;
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
[ "$status" -eq 0 ] && echo "the event paths, the LV2 plug-in's run and the DPF editions' cycles call only the rule, the core's atomic cells, memcpy and DPF's output"
exit "$status"
