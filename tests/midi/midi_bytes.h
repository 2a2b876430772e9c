// Builds MIDI file bytes by hand for the tests: a header and chunks around
// raw track bytes, so any malformation can be written exactly.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void PutBig(Bytes& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline Bytes Chunk(const std::string& type, const Bytes& body, std::uint32_t declared = UINT32_MAX) {
    Bytes out(type.begin(), type.end());
    PutBig(out, declared == UINT32_MAX ? static_cast<std::uint32_t>(body.size()) : declared, 4);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes Header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division = 96) {
    Bytes body;
    PutBig(body, format, 2);
    PutBig(body, tracks, 2);
    PutBig(body, division, 2);
    return Chunk("MThd", body);
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A format 1 file with one track of these raw bytes.
inline Bytes OneTrackFile(const Bytes& track) { return Concat({Header(1, 1), Chunk("MTrk", track)}); }

inline const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};
