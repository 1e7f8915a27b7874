#pragma once

#include "model/model.h"

namespace kiv {

// "串口打开": opens the port; on any error closes again and reports.
void Optionopen_Click(Model& w);
// "串口关闭": closes the port if open and shows the closed state.
void Optionclose_Click(Model& w);
// "关闭程序": closes the port and ends the program.
void Command5_Click(Model& w);

}  // namespace kiv
