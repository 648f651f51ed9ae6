// Every text the user sees, exactly as it is shown. UTF-8; half-width and full-width
// katakana are different characters.
#pragma once

inline constexpr const char* kTextAppName = "orbelle3";
inline constexpr const char* kTextFrameTitle = "Lumetta";
inline constexpr const char* kTextFileTypeId = "Orbelle3.Document";
inline constexpr const char* kTextFileTypeName = "Pell Document";
