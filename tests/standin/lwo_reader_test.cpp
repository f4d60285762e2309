// Object files in: layers, points, polygons and weight maps of LWO2 and LWO3 files made by
// the tests, and every kind of bad file refused with its name and the byte where it breaks.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "standin/files/lwo/lwo_reader.h"
#include "support/lwo_writer.h"

namespace {

using namespace lwo_test;
using standin::LwoFile;
using standin::Mesh;
using standin::ObjectFileError;
using standin::PolygonKind;
using standin::readLwo;

std::vector<std::uint32_t> corners(const Mesh& mesh, std::size_t polygon) {
  return {mesh.polygonPoints.begin() + mesh.polygonStart[polygon],
          mesh.polygonPoints.begin() + mesh.polygonStart[polygon + 1]};
}

struct GoodCase {
  const char* what;
  std::string bytes;
  std::function<void(const LwoFile&)> expect;
};

TEST(LwoReader, ReadsEveryChunkAndIndexForm) {
  std::vector<P> many(0xff10);
  for (std::size_t i = 0; i < many.size(); ++i) many[i] = {static_cast<float>(i), 0, 0};
  std::vector<P> long_curve(1100, P{0, 0, 0});
  std::vector<std::uint32_t> curve(1100);
  for (std::uint32_t i = 0; i < 1100; ++i) curve[i] = i;

  const std::vector<GoodCase> cases = {
      {"one layer: a face and a weight map", form("LWO2", squareLayer()),
       [](const LwoFile& f) {
         ASSERT_EQ(f.form, "LWO2");
         ASSERT_EQ(f.layers.size(), 1u);
         const Mesh& m = f.layers[0];
         EXPECT_EQ(m.layer, 0);
         EXPECT_EQ(m.parentLayer, -1);
         ASSERT_EQ(m.points.size(), 4u);
         EXPECT_EQ(m.points[2], (standin::Vec3{1, 1, 0}));
         ASSERT_EQ(m.polygonCount(), 1u);
         EXPECT_EQ(corners(m, 0), (std::vector<std::uint32_t>{0, 1, 2, 3}));
         EXPECT_EQ(m.polygonKinds[0], PolygonKind::Face);
         const standin::WeightMap* arm = m.weightMap("Arm");
         ASSERT_NE(arm, nullptr);
         ASSERT_EQ(arm->weights.size(), 2u);
         EXPECT_EQ(arm->weights[1].point, 2u);
         EXPECT_FLOAT_EQ(arm->weights[1].weight, 0.5f);
       }},
      {"LWO3: nested surface forms and OTAG skipped, same geometry",
       form("LWO3", chunk("TAGS", s0("Default")) + chunk("OTAG", u4(7)) + squareLayer() +
                        chunk("FORM", "SURF" + s0("Default") + chunk("COLR", vec(1, 1, 1)))),
       [](const LwoFile& f) {
         EXPECT_EQ(f.form, "LWO3");
         ASSERT_EQ(f.layers.size(), 1u);
         EXPECT_EQ(f.layers[0].points.size(), 4u);
         EXPECT_EQ(f.layers[0].polygonCount(), 1u);
         EXPECT_NE(f.layers[0].weightMap("Arm"), nullptr);
       }},
      {"layer number, hidden flag, pivot, name, parent; layers out of order",
       form("LWO2", layr(3, 1, vec(1, 2, 3), "Arm", 4) + pnts({{0, 0, 0}}) +
                        layr(4, 0, vec(0, 0, 0), "Body", -1) + layr(2, 0, vec(0, 0, 0), "odd") +
                        layr(1)),
       [](const LwoFile& f) {
         ASSERT_EQ(f.layers.size(), 4u);
         const Mesh* arm = f.layer(3);
         ASSERT_NE(arm, nullptr);
         EXPECT_TRUE(arm->hidden);
         EXPECT_EQ(arm->pivot, (standin::Vec3{1, 2, 3}));
         EXPECT_EQ(arm->layerName, "Arm");
         EXPECT_EQ(arm->parentLayer, 4);
         EXPECT_EQ(arm->points.size(), 1u);
         EXPECT_EQ(f.layer(4)->parentLayer, -1);  // 0xFFFF: none
         EXPECT_EQ(f.layer(2)->layerName, "odd");
         EXPECT_EQ(f.layer(2)->parentLayer, -1);  // parent left out
         EXPECT_FALSE(f.layer(1)->hidden);
         EXPECT_EQ(f.layer(0), nullptr);
         EXPECT_EQ(f.layers[2].layer, 2);  // file order kept
       }},
      {"geometry before any layer chunk goes to layer 0",
       form("LWO2",
            pnts({{0, 0, 0}, {1, 0, 0}}) + pols("FACE", {{0, 1}}) + layr(1) + pnts({{5, 5, 5}})),
       [](const LwoFile& f) {
         ASSERT_EQ(f.layers.size(), 2u);
         EXPECT_EQ(f.layer(0)->points.size(), 2u);
         EXPECT_EQ(f.layer(0)->polygonCount(), 1u);
         EXPECT_EQ(f.layer(1)->points.size(), 1u);
       }},
      {"4-byte indices past 0xFF00 in polygons and weight maps, 4-byte small index too",
       form("LWO2", layr(0) + pnts(many) + pols("FACE", {{0xff05, 0xff0f, 3}}, true) +
                        vmap("WGHT", "Far", {{0xff0e, 0.25f}, {2, 1}}, 1, true)),
       [](const LwoFile& f) {
         const Mesh& m = f.layers[0];
         EXPECT_EQ(corners(m, 0), (std::vector<std::uint32_t>{0xff05, 0xff0f, 3}));
         EXPECT_EQ(m.points[0xff0f][0], static_cast<double>(0xff0f));
         const standin::WeightMap* far = m.weightMap("Far");
         ASSERT_NE(far, nullptr);
         EXPECT_EQ(far->weights[0].point, 0xff0eu);
         EXPECT_EQ(far->weights[1].point, 2u);
       }},
      {"odd chunks padded, names of odd and even length, unknown chunks skipped",
       form("LWO2", chunk("ZZZZ", "abc") + layr(0, 0, vec(0, 0, 0), "ab") + chunk("DESC", s0("x")) +
                        pnts({{1, 2, 3}}) + chunk("BBOX", vec(0, 0, 0) + vec(1, 1, 1)) +
                        vmap("WGHT", "abc", {{0, 2}}) + vmap("WGHT", "abcd", {{0, 3}})),
       [](const LwoFile& f) {
         const Mesh& m = f.layers[0];
         EXPECT_EQ(m.layerName, "ab");
         EXPECT_EQ(m.points.size(), 1u);
         ASSERT_EQ(m.weightMaps.size(), 2u);
         EXPECT_FLOAT_EQ(m.weightMap("abc")->weights[0].weight, 2);
         EXPECT_FLOAT_EQ(m.weightMap("abcd")->weights[0].weight, 3);
       }},
      {"patches kept as cages, curves, metaballs and skelegons as points, flags masked",
       form("LWO2", layr(0) + pnts(long_curve) + pols("PTCH", {{0, 1, 2, 3}}) +
                        pols("FACE", {{0, 1, 2}}, false, 0xfc00) + pols("CURV", {curve}) +
                        pols("MBAL", {{5}}) + pols("BONE", {{6, 7}})),
       [](const LwoFile& f) {
         const Mesh& m = f.layers[0];
         ASSERT_EQ(m.polygonCount(), 5u);
         EXPECT_EQ(m.polygonKinds[0], PolygonKind::Patch);
         EXPECT_EQ(corners(m, 0).size(), 4u);
         EXPECT_EQ(m.polygonKinds[1], PolygonKind::Face);
         EXPECT_EQ(corners(m, 1).size(), 3u);
         EXPECT_EQ(m.polygonKinds[2], PolygonKind::Other);
         EXPECT_EQ(corners(m, 2).size(), 1100u);
         EXPECT_EQ(m.polygonKinds[3], PolygonKind::Other);
         EXPECT_EQ(corners(m, 4), (std::vector<std::uint32_t>{6, 7}));
       }},
      {"weight maps: negative weights, other map types skipped, extra values ignored",
       form("LWO2", layr(0) + pnts({{0, 0, 0}, {1, 0, 0}}) + vmap("TXUV", "UV", {{0, 0.5f}}, 2) +
                        vmap("PICK", "Sel", {{1, 0}}, 0) + vmap("WGHT", "Neg", {{1, -0.75f}}, 3)),
       [](const LwoFile& f) {
         const Mesh& m = f.layers[0];
         ASSERT_EQ(m.weightMaps.size(), 1u);
         EXPECT_EQ(m.weightMaps[0].name, "Neg");
         EXPECT_FLOAT_EQ(m.weightMaps[0].weights[0].weight, -0.75f);
       }},
      {"per-polygon weights kept apart; a VMAD without a VMAP still makes the map",
       form("LWO2", layr(0) + pnts({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}) +
                        pols("FACE", {{0, 1, 2}, {2, 1, 0}}) + vmap("WGHT", "A", {{0, 1}}) +
                        vmad("WGHT", "A", {{0, 1, 0.5f}}) +
                        vmad("WGHT", "B", {{2, 0, 0.25f}}, true)),
       [](const LwoFile& f) {
         const Mesh& m = f.layers[0];
         ASSERT_EQ(m.weightMaps.size(), 2u);
         const standin::WeightMap* a = m.weightMap("A");
         ASSERT_EQ(a->weights.size(), 1u);
         ASSERT_EQ(a->cornerWeights.size(), 1u);
         EXPECT_EQ(a->cornerWeights[0].polygon, 1u);
         EXPECT_FLOAT_EQ(a->cornerWeights[0].weight, 0.5f);
         const standin::WeightMap* b = m.weightMap("B");
         EXPECT_TRUE(b->weights.empty());
         EXPECT_EQ(b->cornerWeights[0].point, 2u);
       }},
      {"a second points chunk: indices count from its start",
       form("LWO2", layr(0) + pnts({{0, 0, 0}, {1, 0, 0}}) + pols("FACE", {{0, 1}}) +
                        pnts({{7, 0, 0}, {8, 0, 0}, {9, 0, 0}}) + pols("FACE", {{2, 0}}) +
                        vmap("WGHT", "W", {{1, 1}}) + vmad("WGHT", "W", {{0, 0, 1}})),
       [](const LwoFile& f) {
         const Mesh& m = f.layers[0];
         ASSERT_EQ(m.points.size(), 5u);
         EXPECT_EQ(corners(m, 1), (std::vector<std::uint32_t>{4, 2}));
         EXPECT_EQ(m.weightMap("W")->weights[0].point, 3u);
         EXPECT_EQ(m.weightMap("W")->cornerWeights[0].polygon, 1u);
       }},
      {"bytes after the FORM and a last odd chunk without its pad",
       form("LWO2", squareLayer() + chunk("ZZZZ", "x", false)) + "trailing junk",
       [](const LwoFile& f) { EXPECT_EQ(f.layers[0].points.size(), 4u); }},
      {"a file with no geometry has no layers", form("LWO2", chunk("TAGS", s0("a"))),
       [](const LwoFile& f) { EXPECT_TRUE(f.layers.empty()); }},
  };
  for (const GoodCase& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.expect(readLwo(c.bytes, "good.lwo"));
    } catch (const ObjectFileError& error) {
      ADD_FAILURE() << error.what();
    }
  }
}

struct BadCase {
  const char* what;
  std::string bytes;
  std::size_t offset;
  const char* says;
};

// The byte where the first chunk of a FORM starts.
constexpr std::size_t kFirstChunk = 12;

TEST(LwoReader, RefusesBadFilesWithNameAndOffset) {
  const std::string square = squareLayer();
  const std::string layer0 = layr(0);
  const std::size_t afterLayer = kFirstChunk + layer0.size();
  const std::vector<BadCase> cases = {
      {"empty", "", 0, "not a LightWave object file"},
      {"a scene, not an object", "LWSC\n3\n\nLoadObjectLayer 1 a.lwo\n", 0, "begins with 'LWSC'"},
      {"a FORM too short for its type", "FORM" + u4(0), 0, "not a LightWave object file"},
      {"the old LWOB format", form("LWOB", chunk("PNTS", vec(0, 0, 0))), 8, "LWOB"},
      {"the old layered LWLO format", form("LWLO", ""), 8, "LWLO"},
      {"another IFF form", form("ILBM", ""), 8, "'ILBM'"},
      {"FORM longer than the file", "FORM" + u4(400) + "LWO2" + square, 4, "400 bytes"},
      {"FORM length too small to hold its type", "FORM" + u4(2) + "LWO2" + square, 4, "2 bytes"},
      {"chunk longer than what remains", form("LWO2", "PNTS" + u4(0xfffffff0u) + vec(0, 0, 0)),
       kFirstChunk, "PNTS says it holds 4294967280 bytes"},
      {"chunk header cut off", form("LWO2", square + "PN"), kFirstChunk + square.size(),
       "chunk header"},
      {"points not a multiple of 12", form("LWO2", layer0 + chunk("PNTS", vec(0, 0, 0) + "ab")),
       afterLayer, "12-byte points"},
      {"point that is not a number",
       form("LWO2", layer0 + chunk("PNTS", f4(0) + u4(0x7fc00000) + f4(0))), afterLayer + 12,
       "not a finite number"},
      {"pivot that is infinite",
       form("LWO2", chunk("LAYR", u2(0) + u2(0) + f4(0) + f4(0) + u4(0x7f800000) + s0(""))),
       kFirstChunk + 8 + 12, "pivot"},
      {"layer name without its NUL",
       form("LWO2", chunk("LAYR", u2(0) + u2(0) + vec(0, 0, 0) + "ab")), kFirstChunk + 8 + 16,
       "NUL"},
      {"layer chunk too short", form("LWO2", chunk("LAYR", u2(0) + u2(0))), kFirstChunk + 12,
       "pivot"},
      {"layer number twice", form("LWO2", square + layr(0)), kFirstChunk + square.size(),
       "layer 0 appears twice"},
      {"geometry before a layer 0 chunk", form("LWO2", pnts({{0, 0, 0}}) + layr(0)),
       kFirstChunk + 20, "layer 0 appears twice"},
      {"polygon corner past the points",
       form("LWO2", layer0 + pnts({{0, 0, 0}, {1, 1, 1}}) + pols("FACE", {{0, 1, 2}})),
       afterLayer + 32 + 8 + 4 + 2 + 4, "point 2, but the points chunk before it holds 2"},
      {"polygon before any points", form("LWO2", layer0 + pols("FACE", {{0}})),
       afterLayer + 8 + 4 + 2, "holds 0"},
      {"polygon count runs past its chunk",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) + chunk("POLS", "FACE" + u2(3) + u2(0))),
       afterLayer + 20 + 8 + 8, "polygon corner runs past the end of its chunk"},
      {"4-byte index cut by the chunk end",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) + chunk("POLS", "FACE" + u2(1) + "\xff\x00")),
       afterLayer + 20 + 8 + 6, "runs past the end"},
      {"polygon count cut in half",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) + chunk("POLS", "FACE" + std::string(1, '\0'))),
       afterLayer + 20 + 8 + 4, "point count runs past"},
      {"weight map point past the points",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) + vmap("WGHT", "W", {{1, 1}})),
       afterLayer + 20 + 8 + 4 + 2 + 2, "point 1"},
      {"weight map without values",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) + vmap("WGHT", "W", {}, 0)), afterLayer + 20,
       "dimension 0"},
      {"weight that is not a number",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) +
                        chunk("VMAP", "WGHT" + u2(1) + s0("W") + u2(0) + u4(0xff800000))),
       afterLayer + 20 + 8 + 4 + 2 + 2 + 2, "weight is not a finite number"},
      {"weight map entry cut short",
       form("LWO2",
            layer0 + pnts({{0, 0, 0}}) + chunk("VMAP", "WGHT" + u2(1) + s0("W") + u2(0) + u2(0))),
       afterLayer + 20 + 8 + 4 + 2 + 2 + 2, "weight runs past"},
      {"extra values of a weight cut short",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) +
                        chunk("VMAP", "WGHT" + u2(2) + s0("W") + u2(0) + f4(1) + u2(0))),
       afterLayer + 20 + 8 + 4 + 2 + 2 + 2 + 4, "entry runs past"},
      {"per-polygon weight on a polygon that is not there",
       form("LWO2",
            layer0 + pnts({{0, 0, 0}}) + pols("FACE", {{0}}) + vmad("WGHT", "W", {{0, 1, 1}})),
       afterLayer + 20 + 16 + 8 + 4 + 2 + 2 + 2, "polygon 1"},
      {"vertex map name without its NUL",
       form("LWO2", layer0 + pnts({{0, 0, 0}}) + chunk("VMAP", "WGHT" + u2(1) + "Wxyz")),
       afterLayer + 20 + 8 + 6, "NUL"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      readLwo(c.bytes, "bad.lwo");
      ADD_FAILURE() << "read without complaint";
    } catch (const ObjectFileError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("bad.lwo: byte " + std::to_string(c.offset) + ": ", 0), 0u)
          << message;
      EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
  }
}

// Every cut of a good file, with the FORM length made to fit, is read up to the cut or
// refused at or before it: never read past the end.
TEST(LwoReader, EveryTruncationIsReadOrRefusedInsideTheFile) {
  const std::string chunks =
      squareLayer() + pols("PTCH", {{0, 1, 2}}, true) + vmad("WGHT", "Arm", {{0, 0, 1}}) +
      layr(1, 0, vec(1, 2, 3), "Second", 0) + pnts({{0, 0, 0}}) + chunk("ZZZZ", "abc");
  std::size_t refused = 0;
  for (std::size_t cut = 0; cut <= chunks.size(); ++cut) {
    const std::string part = chunks.substr(0, cut);
    const std::string bytes = form("LWO2", part);
    try {
      const LwoFile file = readLwo(bytes, "cut.lwo");
      for (const Mesh& mesh : file.layers) {
        EXPECT_EQ(mesh.polygonStart.size(), mesh.polygonCount() + 1) << cut;
        for (std::uint32_t index : mesh.polygonPoints) EXPECT_LT(index, mesh.points.size()) << cut;
      }
    } catch (const ObjectFileError& error) {
      ++refused;
      const std::string message = error.what();
      const std::size_t at = message.find("byte ");
      ASSERT_NE(at, std::string::npos) << message;
      EXPECT_LE(std::stoul(message.substr(at + 5)), bytes.size()) << message;
    }
  }
  EXPECT_GT(refused, chunks.size() / 2);
}

}  // namespace
