#!/usr/bin/env bash
# check_realtime_calls.sh OBJECT...: the event paths and the LV2 plug-in's run
# are called on the host's real-time threads, so everything they can call must
# be known not to allocate or block beyond the settings lock. Lists what the
# engine's and the LV2 adapter's object files call outside themselves and
# fails on anything not allowed here.
set -uo pipefail
allowed=(
  'ComputeModulatedValue(int, int, int, int, int, int)'  # pure
  'ModulationScale(int, int, int, int)'                   # pure: the rule's first stage
  'CFilterEngine::ReadSettings() const'                    # six cells under the settings lock
  'pthread_mutex_lock' 'pthread_mutex_unlock'              # the settings lock itself
  'std::__throw_system_error(int)'                          # only if the lock cannot be taken at all
  # The LV2 plug-in: the engine's entry points above, its bounds, and its
  # queues over the atom buffers.
  'memcpy' 'GetParamMin(unsigned int, unsigned int)' 'GetParamMax(unsigned int, unsigned int)'
  'CFilterEngine::OnEvents(IMfxEventQueue*, IMfxEventQueue*)' 'CFilterEngine::ResetLastSent()'
  'CFilterEngine::SetParam(unsigned int, unsigned int, int)'
  'CAtomInputQueue::CAtomInputQueue(LV2_Atom_Sequence const&, LV2_Atom_Event const*, LV2_Atom_Event const*, int, unsigned int)'
  'CAtomOutputQueue::CAtomOutputQueue(LV2_Atom_Sequence&, unsigned int, LV2_Atom_Sequence const&, unsigned char const*, unsigned int)'
  'vtable for __cxxabiv1::__class_type_info' 'vtable for __cxxabiv1::__si_class_type_info'
  # Instantiation only (CVeltracePlugin::Create): the plug-in and its engine
  # are made, the host's features looked up.
  'CFilterEngine::CFilterEngine()' 'operator new(unsigned long, std::nothrow_t const&)'
  'operator delete(void*, std::nothrow_t const&)' 'std::nothrow' 'strcmp' '_Unwind_Resume' '__gxx_personality_v0'
)
status=0
for object in "$@"; do
  case "$object" in
    */event_paths.cpp.o | */filter_engine.cpp.o | */parameters.cpp.o | */atom_queues.cpp.o | */veltrace_plugin.cpp.o) ;;
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
[ "$status" -eq 0 ] && echo "the event paths and the LV2 plug-in's run call only the settings lock, the rule and the atom queues"
exit "$status"
