#include "standin/files/json/json_strict.h"

#include <utility>
#include <vector>

#include "standin/files/json/scene_json.h"
#include "standin/files/json/scene_json_parts.h"

namespace standin {
namespace {

using nlohmann::json;

thread_local std::size_t valuesMade = 0;

// Builds the value as the events come, each in constant time (the callback parser of
// nlohmann re-examines the parent array after every element, which is quadratic).
class StrictBuilder : public nlohmann::json_sax<json> {
public:
  json result;

  bool null() override {
    put(json(nullptr));
    return true;
  }
  bool boolean(bool value) override {
    put(json(value));
    return true;
  }
  bool number_integer(number_integer_t value) override {
    put(json(value));
    return true;
  }
  bool number_unsigned(number_unsigned_t value) override {
    put(json(value));
    return true;
  }
  bool number_float(number_float_t value, const string_t&) override {
    put(json(value));
    return true;
  }
  bool string(string_t& value) override {
    put(json(std::move(value)));
    return true;
  }
  bool binary(binary_t& value) override {
    put(json::binary(std::move(value)));
    return true;
  }

  bool start_object(std::size_t) override {
    open_.push_back(put(json::object()));
    return true;
  }
  bool key(string_t& name) override {
    json& object = *open_.back();
    if (object.contains(name)) {
      scene_json::fail("invalid JSON: field " + scene_json::quote(name) + " appears twice");
    }
    key_ = std::move(name);
    return true;
  }
  bool end_object() override {
    open_.pop_back();
    return true;
  }
  bool start_array(std::size_t) override {
    open_.push_back(put(json::array()));
    return true;
  }
  bool end_array() override {
    open_.pop_back();
    return true;
  }
  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& error) override {
    // Drop the "[json.exception.parse_error.101] " prefix; keep the position.
    std::string what = error.what();
    const auto close = what.find("] ");
    if (what.rfind("[json.exception.", 0) == 0 && close != std::string::npos) {
      what.erase(0, close + 2);
    }
    scene_json::fail("invalid JSON: " + what);
  }

private:
  // Places `value` where the document is at; returns where it went (stable: arrays and
  // objects only grow at the innermost open value, whose address does not move).
  json* put(json value) {
    ++valuesMade;
    if (open_.empty()) {
      result = std::move(value);
      return &result;
    }
    json& parent = *open_.back();
    if (parent.is_array()) {
      parent.push_back(std::move(value));
      return &parent.back();
    }
    return &(parent[key_] = std::move(value));
  }

  std::vector<json*> open_;  // the open arrays and objects, innermost last; owned by result
  string_t key_;
};

}  // namespace

nlohmann::json parseStrictJson(const std::string& text) {
  valuesMade = 0;
  StrictBuilder builder;
  json::sax_parse(text, &builder);
  return std::move(builder.result);
}

std::size_t strictJsonValuesMade() { return valuesMade; }

}  // namespace standin
