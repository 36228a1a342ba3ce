#pragma once
// The editor as a host shows it: opened through effEditOpen inside a window
// of ours on an X display, given idle time to draw, and saved as a PNG of
// what the X server then holds for the editor's window.

#include <cstdint>
#include <functional>
#include <string>

namespace vhtool {

// The plug-in's dispatcher: opcode, index, value, ptr, opt.
using Dispatch = std::function<intptr_t(int32_t, int32_t, intptr_t, void*, float)>;

// False with `error` set when there is no display, the editor does not open,
// or the picture cannot be read or written.
bool screenshotThroughWindow(const Dispatch& dispatch, const std::string& pngPath, std::string& error);

}  // namespace vhtool
