// What every face tells a host about the plug-in besides its settings.
#pragma once

inline constexpr char kProductName[] = "Veltrace";
inline constexpr char kProductMaker[] = "Quorvane";
inline constexpr char kProductHomePage[] = "https://quorvane.example/veltrace";
// The short name of the licence (installer/LICENSE.txt), as the packages give it.
inline constexpr char kProductLicense[] = "Quorvane-proprietary";
inline constexpr char kProductDescription[] =
    "Watches a master and a modifier controller stream and sends the master controller modulated by the modifier "
    "(Add, Sub or Rel64). The modifier stream is consumed, repeated master values are dropped, everything else "
    "passes unchanged.";
