#pragma once

#include <cstdint>
#include <string>

#include "model/platform.h"

// The program's message boxes: each action's one fixed message, with its
// style and title. Every box the program shows is one of these.
namespace kiv {

struct Model;

// Stop icon with the buttons Cancel, Try Again, Continue: style 22.
constexpr std::int32_t kStyleCriticalCancelRetryContinue =
    message_style::kIconCritical | message_style::kCancelTryAgainContinue;

struct Message {
    const char* text;
    std::int32_t style;
    const char* title;
};

inline constexpr Message kSendSettingsMessage = {"发送内容设置错误，请修改！",
                                                 kStyleCriticalCancelRetryContinue, "发送内容信息"};
inline constexpr Message kSignalSettingsMessage = {
    "信号设置错误，请修改！", kStyleCriticalCancelRetryContinue, "信号设置信息"};
inline constexpr Message kPortSettingsMessage = {"串口设置有误或者已被占用!",
                                                 kStyleCriticalCancelRetryContinue, "串口设置信息"};
inline constexpr Message kPortNotOpenMessage = {"串口未打开!", kStyleCriticalCancelRetryContinue,
                                                "串口发送信息"};
inline constexpr Message kFrameFormatMessage = {
    "帧格式设置错误，请修改！", kStyleCriticalCancelRetryContinue, "帧格式设置信息"};

// Setup files: a load refused while the port is in use, and a file that
// could not be read or written (the file's problem follows as a detail).
inline constexpr char kSetupMessageTitle[] = "设置文件信息";
inline constexpr Message kSetupBusyMessage = {
    "正在发送或串口已打开：请先暂停发送并关闭串口，再载入设置。", kStyleCriticalCancelRetryContinue,
    kSetupMessageTitle};
inline constexpr Message kSetupNotLoadedMessage = {
    "设置文件未载入：", kStyleCriticalCancelRetryContinue, kSetupMessageTitle};
inline constexpr Message kSetupNotSavedMessage = {
    "设置文件未保存：", kStyleCriticalCancelRetryContinue, kSetupMessageTitle};

// Puts the message into msgText, msgStyle and msgTitle and shows it.
void ShowMessage(Model& w, const Message& message);
// The same with `detail` on a line of its own under the message's text.
void ShowMessage(Model& w, const Message& message, const std::string& detail);

}  // namespace kiv
