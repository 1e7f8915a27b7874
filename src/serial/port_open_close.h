#pragma once

#include "model/model.h"
#include "model/outcome.h"

namespace kiv {

// Opens the port and shows the open look; on any error closes again, shows
// the message and gives the system's reason.
Outcome OpenPort(Model& w);
// "串口打开".
void Optionopen_Click(Model& w);
// "串口关闭": closes the port if open and shows the closed state.
void Optionclose_Click(Model& w);
// Before the program ends: discards the bytes still waiting for the line,
// so that closing the port does not wait for a slow line to send them.
void DropUnsentBytes(Model& w);
// "关闭程序": closes the port and ends the program.
void Command5_Click(Model& w);

}  // namespace kiv
