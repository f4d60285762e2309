// Every colour the pictures use, by what it shows, so that the drawing, the legend and the
// tests agree.
#pragma once

namespace runner {

namespace colour {

// Bones by what the run did to them: a fill, and a darker stroke of the same hue for the
// outline, the origin dot and the label.
constexpr const char* kBone = "#9fb1c7";
constexpr const char* kBoneStroke = "#3d4f66";
constexpr const char* kAdded = "#2ca02c";
constexpr const char* kAddedStroke = "#1b6e1b";
constexpr const char* kRemoved = "#d62728";
constexpr const char* kRemovedStroke = "#8b1a1a";
constexpr const char* kMoved = "#9b4dca";
constexpr const char* kMovedStroke = "#5e2a80";
constexpr const char* kReparented = "#17a2b8";
constexpr const char* kReparentedStroke = "#0e6674";
constexpr const char* kRest = "#b5651d";
constexpr const char* kRestStroke = "#6e3d11";
constexpr const char* kSelected = "#ffcc00";  // a halo behind the shape

// Marks for items that are not bones; lights and cameras have their own legend outline.
constexpr const char* kObject = "#7a7a7a";
constexpr const char* kLight = "#f2c200";
constexpr const char* kLightStroke = "#7a6200";
constexpr const char* kCamera = "#555555";
constexpr const char* kCameraStroke = "#333333";

// Meshes, under the bones.
constexpr const char* kMesh = "#a3adba";        // mesh edges
constexpr const char* kMeshFill = "#dce2ea";    // faces of small meshes
constexpr const char* kMeshPoint = "#8d96a3";   // points of polygons that are not faces
constexpr const char* kPointMoved = "#e0457b";  // mesh points a run moved

// The page and its cells.
constexpr const char* kPage = "#ffffff";  // the background; marks pinned off view
constexpr const char* kCell = "#f8f8f5";  // a view's background, and the halo of names
constexpr const char* kCellBorder = "#c8c8c8";
constexpr const char* kLink = "#b0b0b0";      // parent to child, where they do not touch
constexpr const char* kInk = "#222222";       // titles and names
constexpr const char* kQuietInk = "#555555";  // captions, the scale bar and the time

}  // namespace colour

}  // namespace runner
