#include "support/tool_harness.h"

#include <stdexcept>
#include <thread>

#if !defined(_WIN32)
#include <pthread.h>
#endif

#include "standin/files/json/scene_json.h"

namespace testing_support {

const char* modulePath() { return VORRIK_MODULE_PATH; }

void runOnSmallStack(const std::function<void()>& body) {
#if defined(_WIN32)
  std::thread(body).join();  // a Windows thread's default stack is 1 MiB already
#else
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) throw std::runtime_error("pthread_attr_init");
  if (pthread_attr_setstacksize(&attributes, std::size_t{1} << 20) != 0) {
    pthread_attr_destroy(&attributes);
    throw std::runtime_error("pthread_attr_setstacksize");
  }
  pthread_t thread;
  const auto start = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  const int created =
      pthread_create(&thread, &attributes, start, const_cast<std::function<void()>*>(&body));
  pthread_attr_destroy(&attributes);
  if (created != 0) throw std::runtime_error("pthread_create");
  pthread_join(thread, nullptr);
#endif
}

ToolHarness::ToolHarness(standin::Scene scene) : standIn_(std::move(scene)) {
  standIn_.loadModule(modulePath());
  remember();
}

ToolHarness::ToolHarness(const std::string& sceneJson)
    : ToolHarness(standin::sceneFromJson(sceneJson)) {}

void ToolHarness::remember() {
  for (standin::ItemId item : scene().allItems()) {
    known_.emplace(scene().find(item)->name, item);
  }
}

void ToolHarness::select(const std::vector<std::string>& names) {
  scene().clearSelection();
  for (const std::string& name : names) scene().addToSelection(id(name));
}

standin::RunRecord ToolHarness::run(const std::string& tool, const standin::Answers& answers) {
  remember();
  standin::RunRecord record = standIn_.activate("Vorrik:" + tool, answers);
  remember();
  return record;
}

standin::ItemId ToolHarness::id(const std::string& name) const {
  const standin::ItemId live = standIn_.scene().findByName(name);
  if (live != 0) return live;
  const auto found = known_.find(name);
  if (found != known_.end()) return found->second;
  throw std::invalid_argument("no item named " + name);
}

std::string ToolHarness::expand(const std::string& pattern) const {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '{') {
      out += pattern[i];
      continue;
    }
    const std::size_t close = pattern.find('}', i);
    if (close == std::string::npos) throw std::invalid_argument("unclosed { in " + pattern);
    out += standin::idText(id(pattern.substr(i + 1, close - i - 1)));
    i = close;
  }
  return out;
}

std::vector<std::string> ToolHarness::expand(const std::vector<std::string>& patterns) const {
  std::vector<std::string> out;
  for (const std::string& pattern : patterns) out.push_back(expand(pattern));
  return out;
}

}  // namespace testing_support
