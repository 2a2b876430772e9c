'use strict';
// The MIDI controllers' usual names, shown beside a controller's number
// ("7 Volume"). Numbers without a common use have none.
window.VeltraceControllerNames = (() => {
  const names = {
    0: 'Bank Select', 1: 'Modulation', 2: 'Breath', 4: 'Foot', 5: 'Portamento Time', 6: 'Data Entry', 7: 'Volume', 8: 'Balance',
    10: 'Pan', 11: 'Expression', 12: 'Effect 1', 13: 'Effect 2', 16: 'General 1', 17: 'General 2', 18: 'General 3',
    19: 'General 4', 64: 'Sustain', 65: 'Portamento', 66: 'Sostenuto', 67: 'Soft Pedal', 68: 'Legato', 69: 'Hold 2',
    70: 'Variation', 71: 'Resonance', 72: 'Release', 73: 'Attack', 74: 'Brightness', 75: 'Decay', 76: 'Vibrato Rate',
    77: 'Vibrato Depth', 78: 'Vibrato Delay', 79: 'Sound 10', 80: 'General 5', 81: 'General 6', 82: 'General 7',
    83: 'General 8', 84: 'Portamento Control', 88: 'Velocity Prefix', 91: 'Reverb', 92: 'Tremolo', 93: 'Chorus',
    94: 'Detune', 95: 'Phaser', 96: 'Data Increment', 97: 'Data Decrement', 98: 'NRPN LSB', 99: 'NRPN MSB',
    100: 'RPN LSB', 101: 'RPN MSB', 120: 'All Sound Off', 121: 'Reset Controllers', 122: 'Local Control',
    123: 'All Notes Off', 124: 'Omni Off', 125: 'Omni On', 126: 'Mono', 127: 'Poly',
  };
  // 32..63 are the fine halves of 0..31.
  for (let coarse = 0; coarse < 32; coarse++) names[32 + coarse] = names[coarse] ? `${names[coarse]} LSB` : `LSB of ${coarse}`;
  // 0 is channel pressure in the settings, which its label says itself.
  return (number) => (number > 0 && names[number]) || '';
})();
