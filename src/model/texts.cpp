#include "model/texts.h"

#include <array>
#include <atomic>
#include <cstddef>

namespace kiv {
namespace {

struct TextForms {
    TextId id;
    const char* english;
    const char* chinese;
};

// In the order of TextId. The English forms are what kiv-cli prints and
// scripts match: they change only together with those scripts.
constexpr std::array<TextForms, static_cast<std::size_t>(TextId::Count)> kTexts = {{
    {TextId::SystemSaid, " (the system said: %1)", "（系统提示：%1）"},
    {TextId::OpenMissing,
     "%1: there is no such device. Plug the adapter in, or make sure the port number names the "
     "device you mean%2.",
     "%1：没有这个设备。请插上适配器，或确认串口号对应的是您要用的设备%2。"},
    {TextId::OpenHeldBy,
     "%1 is held by another program: %2. Close that program, then open the port again.",
     "%1 已被另一个程序占用：%2。请关闭该程序，然后重新打开串口。"},
    {TextId::OpenGroupOnly,
     "%1: permission denied. Only members of the group %2 may use %3. Add yourself with \"sudo "
     "usermod -aG %2 $USER\", then log out and back in.",
     "%1：没有权限。只有 %2 组的成员可以使用 %3。请用“sudo usermod -aG %2 "
     "$USER”把自己加入该组，然后注销并重新登录。"},
    {TextId::OpenOwnerOnly,
     "%1: permission denied. %2 is owned by %3:%4, mode %5, so no group you could join may use "
     "it. Ask the system's administrator for read and write access to it.",
     "%1：没有权限。%2 属于 %3:%4，权限为 %5，加入任何组都不能使用它。请向系统管理员申请它的读写"
     "权限。"},
    {TextId::OpenDenied,
     "%1: permission denied%2. Ask the system's administrator for read and write access to %3.",
     "%1：没有权限%2。请向系统管理员申请 %3 的读写权限。"},
    {TextId::OpenInUse,
     "%1 is in use by another program%2. Close that program, then open the port again.",
     "%1 正被另一个程序使用%2。请关闭该程序，然后重新打开串口。"},
    {TextId::OpenFolderDenied,
     "%1 cannot be reached: this user may not enter the folder %2%3. Ask the system's "
     "administrator for access, or name a device outside it.",
     "%1 无法访问：此用户不能进入文件夹 %2%3。请向系统管理员申请权限，或使用该文件夹以外的设备。"},
    {TextId::OpenUnreachable,
     "%1 cannot be reached%2. Make sure the path names the device you mean.",
     "%1 无法访问%2。请确认路径对应的是您要用的设备。"},
    {TextId::OpenRefused,
     "%1 refused the settings %2%3. Choose another baud rate, parity, data or stop bits.",
     "%1 不接受设置 %2%3。请选择其他的波特率、校验位、数据位或停止位。"},
    {TextId::OpenNotSerial, "%1 is not a serial port%2. Name the device of a serial port.",
     "%1 不是串口%2。请指定一个串口设备。"},
    {TextId::OpenOther, "%1 could not be opened%2.", "%1 无法打开%2。"},
    {TextId::SomeProgram, "a program", "某个程序"},
    {TextId::ProgramWithPid, "%1 (process %2)", "%1（进程 %2）"},
    {TextId::PortAlreadyOpen, "%1 is already open", "%1 已经打开"},
    {TextId::PortHasNoDevice, "COM%1 has no device: choose one with the button beside the port box",
     "COM%1 没有对应的设备：请用串口框旁边的按钮选择一个"},
    {TextId::TypedTextInBox,
     "The box \"%1\" holds the typed text \"%2\", which is not one of its entries; pick one from "
     "its list.",
     "“%1”框中的“%2”不是列表中的选项，请从列表中选择。"},
    {TextId::NoPseudoTerminal, "cannot create a pseudo-terminal: %1", "无法创建伪终端：%1"},
    {TextId::NoPseudoTerminals,
     "this system has no pseudo-terminals for a virtual port; choose a COM port (a null-modem "
     "emulator pair such as com0com gives two connected ones)",
     "本系统没有可作虚拟端口的伪终端；请选择一个 COM 口（com0com 之类的虚拟零调制解调器可提供"
     "两个相连的 COM 口）"},
    {TextId::PortNotOpen, "the port is not open", "串口未打开"},
    {TextId::PortLost, "%1 was lost: %2", "%1 已断开：%2"},
    {TextId::PortClosed, "port closed", "串口已关闭"},
    {TextId::PortClosedWhileWaiting, "port closed while waiting", "等待期间串口被关闭"},
    {TextId::WriteFailed, "write failed: %1", "写入失败：%1"},
    {TextId::WriteRefused, "%1: write refused: %2", "%1：写入被拒绝：%2"},
    {TextId::DeviceHungUp, "the device hung up or was removed", "设备已挂断或被拔出"},
    {TextId::DriverKeepsWrite, "the driver does not give up a write", "驱动程序一直不结束写入"},
    {TextId::CannotDiscardReceived, "%1: cannot discard received bytes: %2",
     "%1：无法丢弃已收到的字节：%2"},
    {TextId::CannotDiscardUnsent, "%1: cannot discard unsent bytes: %2",
     "%1：无法丢弃未发出的字节：%2"},
    {TextId::MemberNegative, "%1 %2 is negative", "%1 的值 %2 为负数"},
    {TextId::MemberNotZeroOrOne, "%1 %2 is not 0 or 1", "%1 的值 %2 不是 0 或 1"},
    {TextId::MemberOnlyZero, "%1 can only be set to 0, not %2", "%1 只能设为 0，不能设为 %2"},
    {TextId::MemberOutOfRange, "%1 %2 is not %3..%4", "%1 的值 %2 不在 %3..%4 之内"},
    {TextId::MemberNotLineSettings, "%1 \"%2\" are not baud,parity,data,stop",
     "%1 的值“%2”不是“波特率,校验,数据位,停止位”"},
    {TextId::SendingStopped, "Sending stopped at %1: %2", "%1 停止发送：%2"},
    {TextId::SetupLine, "line %1: %2", "第 %1 行：%2"},
    {TextId::SetupNoClosingQuote, "the quoted value has no closing \"", "带引号的值缺少结尾的 \""},
    {TextId::SetupUnknownEscape, "unknown escape \\%1 in a quoted value (use \\\", \\\\ or \\xHH)",
     "带引号的值中有未知的转义 \\%1（可用 \\\"、\\\\ 或 \\xHH）"},
    {TextId::SetupTextAfterQuote, "text after the closing \" of a quoted value",
     "带引号的值在结尾的 \" 之后还有文字"},
    {TextId::SetupBadNoiseSlot, "noise_slots: \"%1\" is not a slot number 1..10",
     "noise_slots：“%1”不是 1..10 之间的格号"},
    {TextId::SetupNotZeroOrOne, "%1: \"%2\" is neither 1 (ticked) nor 0",
     "%1：“%2”既不是 1（勾选）也不是 0"},
    {TextId::SetupNotUtf8, "not UTF-8 text", "不是 UTF-8 文本"},
    {TextId::SetupControlCharacter, "a control character (in a value, write it in quotes as \\xHH)",
     "有控制字符（值中的控制字符请写在引号内，写成 \\xHH）"},
    {TextId::SetupSectionEnd, "a section line must end with ]", "节的行必须以 ] 结尾"},
    {TextId::SetupUnknownSection,
     "unknown section [%1] (serial, send, sinx1..3, squx1..3, trix1..3, noise, frame)",
     "未知的节 [%1]（可用 serial、send、sinx1..3、squx1..3、trix1..3、noise、frame）"},
    {TextId::SetupSectionAgain, "section [%1] again (first on line %2)",
     "节 [%1] 重复出现（第一次在第 %2 行）"},
    {TextId::SetupNoKeyValue, "expected key=value, [section] or a # comment",
     "这里应是 键=值、[节] 或 # 注释"},
    {TextId::SetupKeyBeforeSection, "key \"%1\" before any [section]",
     "键“%1”出现在所有 [节] 之前"},
    {TextId::SetupReadOnlyKey, "\"%1\" of [%2] is a read-only box and is not stored",
     "[%2] 的“%1”是只读框，不保存"},
    {TextId::SetupUnknownKey, "unknown key \"%1\" in [%2]", "[%2] 中没有键“%1”"},
    {TextId::SetupKeyAgain, "\"%1\" of [%2] again (first on line %3)",
     "[%2] 的“%1”重复出现（第一次在第 %3 行）"},
    {TextId::SetupTooLarge, "too large for a setup file", "文件太大，不是设置文件"},
    {TextId::SetupReadError, "read error", "读取出错"},
    {TextId::SetupIsKind, "is %1; a setup is written only to a regular file",
     "是%1；设置只写入普通文件"},
    {TextId::SetupLinkNowhere, "is a link that leads nowhere (%1)", "是指向不存在目标的链接（%1）"},
    {TextId::SetupLinkTo, "is a link to %1, which is %2; a setup is written only to a regular file",
     "是指向 %1 的链接，而它是%2；设置只写入普通文件"},
    {TextId::SetupReadIsKind, "is %1; a setup is read only from a regular file or a pipe",
     "是%1；设置只从普通文件或管道读取"},
    {TextId::SetupReadLinkTo,
     "is a link to %1, which is %2; a setup is read only from a regular file or a pipe",
     "是指向 %1 的链接，而它是%2；设置只从普通文件或管道读取"},
    {TextId::LogPipeNoReader, "is a pipe that no program reads; nothing was sent",
     "是没有程序读取的管道；未发送任何内容"},
    {TextId::LogIsKind, "is %1; a log is written only to a regular file",
     "是%1；记录只写入普通文件"},
    {TextId::LogLeadsTo, "leads to %1, which is %2; a log is written only to a regular file",
     "指向 %1，而它是%2；记录只写入普通文件"},
    {TextId::LogTooManyLinks, "too many links in a row", "连续的链接太多"},
    {TextId::WriteError, "write error", "写入出错"},
    {TextId::DiskFull, "the disk is full", "磁盘已满"},
    {TextId::FileTooLarge, "the file has reached the largest size allowed",
     "文件已达到允许的最大大小"},
    {TextId::QuotaUsedUp, "the disk quota is used up", "磁盘配额已用完"},
    {TextId::DiskIoError, "the disk could not be written (an input/output error)",
     "磁盘写入出错（输入/输出错误）"},
    {TextId::LastRowCutOff,
     "; the row it could not take whole was removed, every row left is whole",
     "；未能完整写入的那一行已删去，其余各行都完整"},
    {TextId::LastRowLeftCut, "; its last row is incomplete and could not be removed",
     "；最后一行不完整，且无法删去"},
    {TextId::RowsNotTakenBack,
     "frames the port dropped unsent could not be taken back out of the file",
     "端口丢弃未发的帧无法从文件中删去"},
    {TextId::KindFolder, "a folder", "文件夹"},
    {TextId::KindDevice, "a device", "设备"},
    {TextId::KindPipe, "a pipe", "管道"},
    {TextId::KindSocket, "a socket", "套接字"},
    {TextId::KindNotRegular, "not a regular file", "非普通文件"},
    {TextId::NoChineseFont,
     "no installed font has Chinese glyphs, so the window's texts show as boxes; install "
     "fonts-wqy-microhei or fonts-noto-cjk",
     "没有装有中文字形的字体，窗口的文字会显示为方框；请安装 fonts-wqy-microhei 或 "
     "fonts-noto-cjk"},
    {TextId::RecordingCannotStart, "cannot record to %1", "不能记录到 %1"},
    {TextId::RecordingCannotWrite, "could not write to %1", "无法写入 %1"},
    {TextId::NotANumber, "not a number: \"%1\"", "不是数字：“%1”"},
    {TextId::NumberTooLarge, "number too large", "数值太大"},
    {TextId::NotFiniteFor, "not a finite value for %1", "不是可换算为 %1 的有限值"},
    {TextId::OutOfRangeFor, "value out of range for %1", "数值超出 %1 的范围"},
    {TextId::A32BitInteger, "a 32-bit integer", "32 位整数"},
    {TextId::A16BitInteger, "a 16-bit integer", "16 位整数"},
    {TextId::AByte, "a byte", "字节"},
    {TextId::AdditionOverflow, "integer overflow in addition", "整数加法溢出"},
    {TextId::SubtractionOverflow, "integer overflow in subtraction", "整数减法溢出"},
    {TextId::MultiplicationOverflow, "integer overflow in multiplication", "整数乘法溢出"},
    {TextId::RemainderByZero, "remainder by zero", "求余时除数为零"},
    {TextId::FloatingPointFault, "floating-point fault", "浮点运算错误"},
    {TextId::LevelSumOutsideByte, "am + a0 outside 0..255", "am + a0 超出 0..255"},
    {TextId::SlotNeitherConstantNorSignal, "holds neither a constant 0..255 nor a signal name",
     "既不是 0..255 的常数，也不是信号名称"},
    {TextId::UnknownPort, "unknown port %1", "未知串口 %1"},
    {TextId::UnknownParity, "unknown parity %1", "未知校验位 %1"},
}};

constexpr bool InOrder() {
    for (std::size_t i = 0; i < kTexts.size(); ++i)
        if (static_cast<std::size_t>(kTexts[i].id) != i) return false;
    return true;
}
static_assert(InOrder(), "kTexts lists the texts in the order of TextId");

std::atomic<TextLanguage> g_language{TextLanguage::English};

}  // namespace

void SetTextLanguage(TextLanguage language) {
    g_language.store(language, std::memory_order_relaxed);
}

TextLanguage CurrentTextLanguage() {
    return g_language.load(std::memory_order_relaxed);
}

std::string_view TextForm(TextId id, TextLanguage language) {
    const auto index = static_cast<std::size_t>(id);
    if (index >= kTexts.size()) return {};
    return language == TextLanguage::Chinese ? kTexts[index].chinese : kTexts[index].english;
}

std::string Say(TextId id, std::initializer_list<std::string_view> args) {
    const std::string_view form = TextForm(id, CurrentTextLanguage());
    std::string out;
    out.reserve(form.size() + 32);
    for (std::size_t i = 0; i < form.size(); ++i) {
        const char c = form[i];
        if (c == '%' && i + 1 < form.size() && form[i + 1] >= '1' && form[i + 1] <= '9') {
            const auto n = static_cast<std::size_t>(form[i + 1] - '1');
            if (n < args.size()) out += *(args.begin() + n);
            ++i;
            continue;
        }
        out += c;
    }
    return out;
}

std::string SayFileKind(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::directory:
            return Say(TextId::KindFolder);
        case std::filesystem::file_type::character:
        case std::filesystem::file_type::block:
            return Say(TextId::KindDevice);
        case std::filesystem::file_type::fifo:
            return Say(TextId::KindPipe);
        case std::filesystem::file_type::socket:
            return Say(TextId::KindSocket);
        default:
            return Say(TextId::KindNotRegular);
    }
}

}  // namespace kiv
