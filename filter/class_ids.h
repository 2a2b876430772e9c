// The module's two class ids. The settings stream's magic is the first 32
// bits of the filter's id.
#pragma once

#include "platform/com_base.h"

// {B825E09A-8C89-BEAF-909D-943841C6A565}
inline constexpr CLSID CLSID_VeltraceFilter = {
    0xB825E09A, 0x8C89, 0xBEAF, {0x90, 0x9D, 0x94, 0x38, 0x41, 0xC6, 0xA5, 0x65}};

// {4E8CB489-170B-BEAF-8E69-5A0C5D01924C}
inline constexpr CLSID CLSID_VeltracePropPage = {
    0x4E8CB489, 0x170B, 0xBEAF, {0x8E, 0x69, 0x5A, 0x0C, 0x5D, 0x01, 0x92, 0x4C}};
