#pragma once

#include <string>

namespace kiv {

// A box as its user sees it, for messages of the front ends: the page's tab
// caption and the box's own label, e.g. "sendText1(2)" gives "发送 page,
// slot 2", "Combo1(1)" gives "串口设置 page, 波特率 box" and "fuction_a0(4)"
// gives "矩形波设置 page, squx1 a0". A name the table does not know is
// returned as it is.
std::string BoxLabel(const std::string& box);

}  // namespace kiv
