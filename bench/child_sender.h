#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clocks.h"

namespace kiv::bench {

// A sender that runs as a program of its own, the way a user runs it: puts
// `frames` frames of 4 bytes on devicePath, one every periodMs, and returns
// what the whole process used (getrusage of the child, start-up included).
using ChildSendFunction =
    std::function<Usage(const std::string& devicePath, int periodMs, int frames)>;

// Runs program with args, its output thrown away, and waits for it; throws
// std::runtime_error when it cannot be started or does not exit with 0.
Usage RunChild(const std::string& program, const std::vector<std::string>& args);

// kiv-cli sending the start-up frame (4 bytes) to devicePath.
ChildSendFunction KivCliSender(std::string program);
// The window, offscreen, sending to devicePath through its own buttons
// (bench/window_sender.cpp) with `page` ("send" or "monitor") in front: the
// start-up frame when slotCount is 0, else that many signal slots, with noise
// if asked.
ChildSendFunction WindowSender(std::string program, std::string page = "send", int slotCount = 0,
                               bool noise = false);

}  // namespace kiv::bench
