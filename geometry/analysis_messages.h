// Messages of the geometry analysis and of the set-up checks built on it
// (console only). The set-up prints the errors and ends the run.
#pragma once

inline constexpr const char* kMsgPrecisionIncreased = "Warning: distance precision increased to %.15g.\n";
inline constexpr const char* kMsgRegionsDoNotIntersect =
    "Geometry error in the definition of cell %d: Regions %s and %s do not intersect.\n";
inline constexpr const char* kMsgCellVolumeZero = "Geometry error: The volume of cell %d is zero.\n";
inline constexpr const char* kMsgCellNotInside = "Geometry error: Cell %d is not completely inside cell %d.\n";
inline constexpr const char* kMsgCellsIntersect = "Geometry error: Cells %d and %d intersect.\n";
inline constexpr const char* kMsgSideNoInteriorPoint =
    "Warning: Position of cell %d relative to some coordinate planes could not be determined, because no point "
    "inside the cell has been found.\n";
inline constexpr const char* kMsgSideTestPointOnPlane =
    "Warning: Position of cell %d relative to some coordinate planes could not be determined, because the test "
    "point belongs to the coordinate plane.\n";
inline constexpr const char* kMsgPairsNotChecked =
    "Warning: Some pairs of cells could not be checked for intersection, because some edges of the possible "
    "intersection region could not be parameterized.\n";
