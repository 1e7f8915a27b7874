#pragma once

#include <string>

#include "model/frame_format.h"
#include "model/model.h"
#include "model/outcome.h"

namespace kiv {

// Reads the frame format page's boxes: the header and trailer as byte lists,
// each choice as one of its entries (or the entry's name, as kiv-cli and
// setup files give it). On success fills `format`; otherwise says which box
// and why, and `format` is untouched.
Outcome ReadFrameFormat(const Model& w, FrameFormat& format);

// The frame format page's apply: every box is checked first and nothing is
// stored on a failure, which shows the page's one message with the cause in
// its details. On success the format is in force from the next frame
// written, the port's output buffer holds a whole frame (an open port is
// closed and opened again for it, as the send page's apply does) and the
// page's layout line is new.
Outcome ApplyFrameFormat(Model& w);
void Command9_Click(Model& w);
// A checksum picked: the byte order box takes the kind's usual order.
void frameChecksum_Click(Model& w);

// The boxes showing `format` (the entries picked, the byte lists in hex).
void PutFrameFormatInBoxes(Model& w, const FrameFormat& format);

// The page's live line for the applied slots and format: the layout
// ("AA 55 | 计数 8 位 | 长度 | 4 个槽 | crc16-modbus 低字节在前 | 0D 0A") and,
// after it, the bytes of the next frame in hex. Takes no random draw from
// the sending and changes no field: a noised slot shows its value without
// noise.
std::string FrameLayoutLine(const Model& w);

// frameLayout.Caption := FrameLayoutLine(w).
void RefreshFrameLayout(Model& w);

}  // namespace kiv
