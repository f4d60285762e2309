// Writing a scene over the .lws file it was read from: every line stays where it was, and
// only what the scene models is brought up to date (motion, hierarchy, pivots, bone values,
// bones removed and added, the time), as edits to the file's lines.
#include "standin/files/lws/lws_writer.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/files/lws/lws_kept_text.h"
#include "standin/files/lws/lws_text.h"
#include "standin/files/lws/lws_writer_parts.h"
#include "standin/scene/bone_settings.h"

namespace standin {
namespace lws {

FileUpdate::FileUpdate(const Scene& s, const LwsDocument& d)
    : scene(s), doc(d), cx(s), digits(writerDigits(d)) {
  cx.version = d.version;
  cx.upperHex = d.upperHex;
}

std::size_t FileUpdate::regionEnd(std::size_t k) const {
  std::size_t next = k + 1;
  if (doc.items[k].type == ItemType::Object) {
    while (next < doc.items.size() && doc.items[next].type == ItemType::Bone) ++next;
  }
  return next;
}

std::size_t FileUpdate::motionEnd(const LwsItem& d) const {
  std::size_t end = d.numChannelsLine != kNoLine ? d.numChannelsLine : d.motionLine;
  for (const LwsChannel& ch : d.channels) end = std::max(end, ch.closeLine);
  return end;
}

namespace {

bool sameKeys(const std::vector<Key>& a, const std::vector<Key>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].time != b[i].time || a[i].value != b[i].value || a[i].span != b[i].span ||
        a[i].params != b[i].params) {
      return false;
    }
  }
  return true;
}

std::string leadingBlanks(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return std::string(line.substr(0, i));
}

class Writer {
public:
  Writer(const Scene& scene, const LwsDocument& doc)
      : u_(scene, doc), scene_(scene), doc_(doc), cx_(u_.cx) {}

  LwsSaved write() {
    checkStructure();
    orderBones(u_);
    numberItems();
    for (std::size_t k = 0; k < doc_.items.size(); ++k) {
      const LwsItem& d = doc_.items[k];
      const Item* item = scene_.find(d.id);
      if (item) {
        update(d, *item);
      } else {
        removeSection(k);
      }
    }
    placeNewBones(u_);
    sceneLines();
    LwsSaved saved;
    saved.lostSetup = std::move(lost_);
    saved.references = rewritePluginIds(u_);
    saved.nameReferences = followNameReferences(u_);
    for (const auto& [sceneId, fileId] : cx_.ids.all()) {
      if (sceneId != fileId) saved.fileIds.emplace(sceneId, fileId);
    }
    saved.text = u_.edits.apply(doc_);
    return saved;
  }

private:
  void replace(std::size_t line, Lines with) { u_.edits.replace(line, std::move(with)); }
  void replace(std::size_t line, std::string with) { u_.edits.replace(line, std::move(with)); }
  void remove(std::size_t line) { u_.edits.remove(line); }
  void insertAfter(std::size_t line, Lines lines) { u_.edits.insertAfter(line, std::move(lines)); }
  void insertBefore(std::size_t line, Lines lines) {
    u_.edits.insertBefore(line, std::move(lines));
  }

  bool isLastBoneOfObject(std::size_t k) const {
    return doc_.items[k].type == ItemType::Bone &&
           (k + 1 == doc_.items.size() || doc_.items[k + 1].type != ItemType::Bone);
  }

  void checkStructure() {
    for (std::size_t k = 0; k < doc_.items.size(); ++k) {
      const LwsItem& d = doc_.items[k];
      if (d.type == ItemType::Bone || scene_.find(d.id)) continue;
      // Between items of one kind there are no scene settings, so the section is plain.
      const std::size_t next = u_.regionEnd(k);
      if (next == doc_.items.size() || doc_.items[next].type != d.type) {
        refuse("removing the last " + std::string(itemTypeWord(d.type)) +
               " of a scene read from a file is not "
               "supported (where its settings end is not known)");
      }
    }
    for (ItemId id : scene_.allItems()) {
      const Item& item = *scene_.find(id);
      if (doc_.byId.count(id)) continue;
      if (item.type != ItemType::Bone) {
        refuse(std::string("the ") + itemTypeWord(item.type) + " \"" + item.name +
               "\" is new; only new bones can "
               "be added to a scene read from a file");
      }
    }
  }

  void numberItems() {
    long long objects = 0, lights = 0, cameras = 0;
    for (const LwsItem& d : doc_.items) {
      if (!scene_.find(d.id)) continue;
      if (d.type == ItemType::Object) {
        const long long o = objects++;
        cx_.objectOrdinal[d.id] = o;
        if (doc_.version < 4) cx_.ids.add(d.id, 0x10000000u | static_cast<ItemId>(o));
        std::uint32_t b = 0;
        for (ItemId bone : u_.boneOrder[d.id]) {
          if (doc_.version >= 4) break;
          if (b >= 0x1000 || o >= 0x10000) refuse("more bones than Layout's ids can number");
          cx_.ids.add(bone, 0x40000000u | (b << 16) | static_cast<ItemId>(o));
          ++b;
        }
      } else if (d.type == ItemType::Light) {
        const long long l = lights++;
        cx_.lightOrdinal[d.id] = l;
        if (doc_.version < 4) cx_.ids.add(d.id, 0x20000000u | static_cast<ItemId>(l));
      } else if (d.type == ItemType::Camera) {
        const long long c = cameras++;
        cx_.cameraOrdinal[d.id] = c;
        if (doc_.version < 4) cx_.ids.add(d.id, 0x30000000u | static_cast<ItemId>(c));
      }
    }
  }

  void removeSection(std::size_t k) {
    const LwsItem& d = doc_.items[k];
    std::size_t last;
    if (d.type == ItemType::Bone) {
      // The lines after the last bone's own lines are its object's settings.
      last = isLastBoneOfObject(k) ? d.lastOwn : d.end - 1;
    } else {
      const std::size_t next = u_.regionEnd(k);
      last = (next < doc_.items.size() ? doc_.items[next].declLine : doc_.lines.size()) - 1;
    }
    // Its own section; its bones' are listed when they are removed in turn.
    const std::size_t own = k + 1 < doc_.items.size() && doc_.items[k + 1].declLine <= last
                                ? doc_.items[k + 1].declLine - 1
                                : last;
    listLostSetup(u_, k, d.declLine, own, lost_);
    std::size_t at = k;  // whose section line i is in: the item's, or one of its bones'
    for (std::size_t i = d.declLine; i <= last; ++i) {
      while (at + 1 < doc_.items.size() && doc_.items[at + 1].declLine <= i) ++at;
      const LwsItem& holder = doc_.items[at];
      const auto holds = [i](const std::vector<std::size_t>& lines) {
        return std::find(lines.begin(), lines.end(), i) != lines.end();
      };
      // A scene setting stays, and so does the object's when only a bone goes.
      if (holds(holder.sceneLines) || (d.type == ItemType::Bone && holds(holder.objectLines))) {
        continue;
      }
      remove(i);
    }
  }

  // --- an item the file has ---

  void update(const LwsItem& d, const Item& item) {
    name(d, item);
    motion(d, item);
    if (d.type == ItemType::Bone) {
      checkRestScale(item);
      boneValues(d, item);
    }
    placement(d, item);
  }

  // Objects take their names from their files; bones, lights and cameras are named by a
  // line of their own.
  void name(const LwsItem& d, const Item& item) {
    if (item.name == d.name || d.type == ItemType::Object) return;
    checkName(item.name);
    const char* keyword = d.type == ItemType::Bone    ? "BoneName "
                          : d.type == ItemType::Light ? "LightName "
                                                      : "CameraName ";
    if (d.nameLine != kNoLine) {
      replace(d.nameLine, keyword + item.name);
    } else {
      insertAfter(d.declLine, {keyword + item.name});
    }
  }

  void motion(const LwsItem& d, const Item& item) {
    if (d.motionLine == kNoLine) {
      // Hand-written files may leave it out; add one only when there is something to keep.
      bool needed = false;
      for (int c = 0; c < channelCount(d.type) && !needed; ++c) {
        needed = !keysToWrite(scene_, item, c, true).empty();
      }
      if (!needed) return;
      Lines lines;
      appendMotion(lines, scene_, item);
      std::size_t anchor = d.declLine;
      if (d.nameLine != kNoLine) anchor = std::max(anchor, d.nameLine);
      if (d.showLine != kNoLine) anchor = std::max(anchor, d.showLine);
      insertAfter(anchor, std::move(lines));
      return;
    }
    const int count =
        std::min(std::max(d.numChannels, channelCount(d.type)), static_cast<int>(kChannelCount));
    auto fileChannel = [&d](int c) {
      const auto found = std::find_if(d.channels.begin(), d.channels.end(),
                                      [c](const LwsChannel& ch) { return ch.index == c; });
      return found == d.channels.end() ? nullptr : &*found;
    };
    // A channel the file leaves out is added only when it now holds something; the file
    // then needs every channel below it too.
    int written = d.numChannels;
    for (int c = 0; c < count; ++c) {
      if (fileChannel(c)) continue;
      if (!keysToWrite(scene_, item, c, true).empty() ||
          item.behaviors[static_cast<std::size_t>(c)] != ChannelBehaviors{}) {
        written = std::max(written, c + 1);
      }
    }
    Lines added;
    for (int c = 0; c < std::max(count, written); ++c) {
      const ChannelBehaviors behaviors = item.behaviors[static_cast<std::size_t>(c)];
      const LwsChannel* found = fileChannel(c);
      if (!found) {
        if (c < written) appendEnvelope(added, c, keysToWrite(scene_, item, c, false), behaviors);
        continue;
      }
      const std::vector<Key> keys = keysToWrite(scene_, item, c, found->keys.empty());
      if (sameKeys(keys, found->keys) && behaviors == found->behaviors) continue;
      envelope(*found, keys, behaviors);
    }
    if (!added.empty()) {
      insertAfter(u_.motionEnd(d), std::move(added));
      replace(d.numChannelsLine, "NumChannels " + std::to_string(written));
    }
  }

  // Rewrites the key count, the keys and the behaviours; other lines of the block stay.
  void envelope(const LwsChannel& ch, const std::vector<Key>& keys, ChannelBehaviors behaviors) {
    const std::string indent = leadingBlanks(doc_.lines[ch.countLine]);
    if (keys.size() != ch.keys.size()) replace(ch.countLine, indent + std::to_string(keys.size()));
    Lines keyLines;
    // A key the file has at the same time keeps the text of every field it still holds.
    std::size_t old = 0;
    for (const Key& k : keys) {
      const std::string keyIndent =
          ch.keyLines.empty() ? indent : leadingBlanks(doc_.lines[ch.keyLines[0]]);
      while (old < ch.keys.size() && ch.keys[old].time < k.time && !sameTime(ch, old, k.time)) {
        ++old;
      }
      if (old < ch.keys.size() && sameTime(ch, old, k.time)) {
        keyLines.push_back(lws::keptKeyLine(doc_.lines[ch.keyLines[old]], k, u_.digits, keyIndent));
        ++old;
      } else {
        keyLines.push_back(keyIndent + keyText(k));
      }
    }
    if (ch.keyLines.empty()) {
      insertAfter(ch.countLine, std::move(keyLines));
    } else {
      replace(ch.keyLines[0], std::move(keyLines));
      for (std::size_t i = 1; i < ch.keyLines.size(); ++i) remove(ch.keyLines[i]);
    }
    const std::string text = indent + "Behaviors " + std::to_string(behaviors.pre) + " " +
                             std::to_string(behaviors.post);
    if (ch.behaviorsLine != kNoLine) {
      if (behaviors != ch.behaviors) replace(ch.behaviorsLine, text);
    } else if (behaviors != ChannelBehaviors{}) {
      insertAfter(ch.keyLines.empty() ? ch.countLine : ch.keyLines.back(), {text});
    }
  }

  // Whether the file's key `index` of `ch` was written for time `t`.
  bool sameTime(const LwsChannel& ch, std::size_t index, double t) const {
    const std::vector<std::string_view> fields =
        lws::words(lws::afterKeyword(lws::trim(doc_.lines[ch.keyLines[index]])));
    return fields.size() > 1 && lws::stillReads(fields[1], t, u_.digits);
  }

  void boneValues(const LwsItem& d, const Item& bone) {
    struct Value {
      std::size_t line;
      bool changed;
      std::string text;
    };
    // Activity is the one setting Layout writes before the rest lines.
    static const BoneSetting& active = *findBoneSetting(&BoneSetting::lws, "BoneActive");
    const Value values[] = {
        {d.settingLines[boneSettingIndex(active)], bone.active != d.active,
         std::string("BoneActive ") + (bone.active ? "1" : "0")},
        {d.restPositionLine, bone.restPosition != d.restPosition,
         "BoneRestPosition " + vec3Text(bone.restPosition)},
        {d.restDirectionLine, bone.restRotation != d.restRotation,
         "BoneRestDirection " + degreesText(bone.restRotation)},
        {d.restLengthLine, bone.restLength != d.restLength,
         "BoneRestLength " + lws::number(bone.restLength)},
    };
    // A missing line goes after the nearest one before it in Layout's order.
    std::size_t anchor = d.declLine;
    if (d.nameLine != kNoLine) anchor = std::max(anchor, d.nameLine);
    if (d.showLine != kNoLine) anchor = std::max(anchor, d.showLine);
    for (const Value& v : values) {
      if (v.line != kNoLine) {
        if (v.changed) replace(v.line, v.text);
        anchor = v.line;
      } else if (v.changed) {
        insertAfter(anchor, {v.text});
      }
    }
    deformationValues(d, bone, anchor);
  }

  // The lines after the rest length: a line whose setting is unchanged stays as written;
  // one the settings no longer call for goes, one they now call for is added in its place.
  void deformationValues(const LwsItem& d, const Item& bone, std::size_t anchor) {
    const std::vector<DeformationLine> before = deformationLines(d);
    const std::vector<DeformationLine> now = deformationLines(bone);
    for (std::size_t i = 0; i < now.size(); ++i) {
      const std::size_t line = d.settingLines[now[i].setting];
      const bool changed = now[i].written != before[i].written || now[i].text != before[i].text;
      if (line != kNoLine) {
        if (changed && now[i].written) {
          replace(line, now[i].text);
        } else if (changed) {
          remove(line);
        }
        anchor = line;
      } else if (now[i].written && changed) {
        insertAfter(anchor, {now[i].text});
      }
    }
  }

  // Pivots, parent, target and goal.
  void placement(const LwsItem& d, const Item& item) {
    std::size_t anchor = d.motionLine != kNoLine ? u_.motionEnd(d) : d.lastOwn;
    Lines pivots;
    if (d.pivotLine != kNoLine) {
      if (item.pivot != d.pivot) replace(d.pivotLine, "PivotPosition " + vec3Text(item.pivot));
      anchor = std::max(anchor, d.pivotLine);
    } else if (item.pivot != d.pivot) {
      pivots.push_back("PivotPosition " + vec3Text(item.pivot));
    }
    if (d.pivotRotationLine != kNoLine) {
      if (item.pivotRotation != d.pivotRotation) {
        replace(d.pivotRotationLine, "PivotRotation " + degreesText(item.pivotRotation));
      }
      anchor = std::max(anchor, d.pivotRotationLine);
    } else if (item.pivotRotation != d.pivotRotation) {
      pivots.push_back("PivotRotation " + degreesText(item.pivotRotation));
    }
    // New pivot lines go just before ParentItem, where Layout writes them.
    if (!pivots.empty()) {
      if (d.parentLine != kNoLine) {
        insertBefore(d.parentLine, std::move(pivots));
      } else {
        insertAfter(anchor, std::move(pivots));
      }
    }

    if (d.parentLine != kNoLine) {
      if (item.parent == 0) {
        remove(d.parentLine);
      } else if (cx_.ids(item.parent) != d.parent) {  // moved, or renumbered
        replace(d.parentLine, cx_.parentLine(item));
      }
    } else if (item.parent != d.parent) {
      insertAfter(anchor, {cx_.parentLine(item)});
    }

    if (d.targetLine != kNoLine && d.target != 0) {
      if (!scene_.find(d.target)) {
        remove(d.targetLine);  // it would name another item, or none
      } else if (cx_.ids(d.target) != d.target) {
        replace(d.targetLine, "TargetItem " + cx_.hex(d.target));
      }
    }
    if (d.goalLine != kNoLine && d.goal != 0) {
      if (!scene_.find(d.goal)) {
        remove(d.goalLine);
      } else if (doc_.version >= 4) {
        if (cx_.ids(d.goal) != d.goal) replace(d.goalLine, "GoalObject " + cx_.hex(d.goal));
      } else {
        const long long now = cx_.objectOrdinal.at(d.goal) + 1;
        if (cx_.ids(d.goal) != d.goal) replace(d.goalLine, "GoalObject " + std::to_string(now));
      }
    }
  }

  // --- scene-level lines ---

  void sceneLines() {
    if (scene_.time() != doc_.time) {
      std::string line =
          "CurrentFrame " + std::to_string(currentFrame(scene_.time(), doc_.framesPerSecond));
      if (doc_.currentFrameLine != kNoLine) {
        replace(doc_.currentFrameLine, std::move(line));
      } else {
        insertAfter(1, {std::move(line)});  // after the version: the time is not dropped
      }
    }
    const char* names[3] = {"CurrentObject", "CurrentLight", "CurrentCamera"};
    const std::unordered_map<ItemId, long long>* ordinals[3] = {
        &cx_.objectOrdinal, &cx_.lightOrdinal, &cx_.cameraOrdinal};
    for (int kind = 0; kind < 3; ++kind) {
      const std::size_t line = doc_.currentLines[kind];
      if (line == kNoLine) continue;
      // An ordinal: it moves when items before it go; 0 when the item itself went.
      const auto found = ordinals[kind]->find(doc_.currentItems[kind]);
      const long long now = found == ordinals[kind]->end() ? 0 : found->second;
      if (now != doc_.currentOrdinals[kind]) {
        replace(line, std::string(names[kind]) + " " + std::to_string(now));
      }
    }
  }

  FileUpdate u_;
  const Scene& scene_;
  const LwsDocument& doc_;
  Context& cx_;
  std::vector<LostSetup> lost_;  // what removed items took with them
};

}  // namespace
}  // namespace lws

LwsSaved saveLws(const Scene& scene) {
  if (!scene.source) {
    LwsSaved saved;
    saved.text = lws::freshFile(scene, saved.fileIds);
    return saved;
  }
  return lws::Writer(scene, *scene.source).write();
}

std::string sceneToLws(const Scene& scene) { return saveLws(scene).text; }

}  // namespace standin
