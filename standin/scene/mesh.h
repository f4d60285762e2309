// The mesh an object loads from its object file: one layer's points, polygons and weight
// maps, in the object's own space as modeled. Meshes never change once loaded; objects
// share them through shared_ptr, so copying a scene copies no points.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "standin/scene/transform.h"

namespace standin {

enum class PolygonKind : std::uint8_t {
  Face,   // an ordinary polygon
  Patch,  // a subdivision patch, kept (and drawn) as its cage
  Other,  // curves, metaballs, skelegons and unknown kinds: only their points matter
};

// One value of a weight map: a point and its weight (weights may be negative).
struct PointWeight {
  std::uint32_t point = 0;
  float weight = 0;
};

// A weight that applies to one point only where it is a corner of one polygon.
struct CornerWeight {
  std::uint32_t point = 0;
  std::uint32_t polygon = 0;
  float weight = 0;
};

// A weight map. Points it does not list weigh 0.
struct WeightMap {
  std::string name;
  std::vector<PointWeight> weights;         // in file order; a later value for a point wins
  std::vector<CornerWeight> cornerWeights;  // per-polygon values, in file order
};

struct Mesh {
  int layer = 0;         // the layer's number in its file
  int parentLayer = -1;  // -1: none
  bool hidden = false;
  std::string layerName;
  Vec3 pivot{0, 0, 0};
  std::vector<Vec3> points;
  // Polygon i has the points polygonPoints[polygonStart[i] .. polygonStart[i + 1]).
  std::vector<std::uint32_t> polygonStart{0};
  std::vector<std::uint32_t> polygonPoints;
  std::vector<PolygonKind> polygonKinds;
  std::vector<WeightMap> weightMaps;

  std::size_t polygonCount() const { return polygonKinds.size(); }
  const WeightMap* weightMap(const std::string& name) const;
};

// What an object says about its object file, and what was found. `file` is empty for an
// object that names none (a null).
struct ObjectMesh {
  std::string file;                  // as the scene names it
  int layer = 1;                     // the scene's layer number (1 is the file's layer 0)
  bool layerGiven = true;            // false for a scene line that names no layer
  std::string foundPath;             // where the file was found; empty when it was not
  std::shared_ptr<const Mesh> mesh;  // null until loaded, or when it could not be
};

}  // namespace standin
