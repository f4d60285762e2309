// The error every scene file reader and writer throws, whatever the file's form.
#pragma once

#include <stdexcept>

namespace standin {

// A scene file that cannot be used; what() is one line that says what is wrong and where
// ("items[3] (\"Forearm\"): unknown parent \"Elbow\"", "rig.lws:12: ...").
struct SceneFileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace standin
