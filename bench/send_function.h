#pragma once

#include <functional>
#include <string>

namespace kiv::bench {

// A sender under measurement: puts `frames` frames of 4 bytes on devicePath,
// one every periodMs, and returns when the last one is written. It runs on
// the harness's main thread, where a QCoreApplication exists.
using SendFunction = std::function<void(const std::string& devicePath, int periodMs, int frames)>;

}  // namespace kiv::bench
