#include "model/model.h"

#include <algorithm>

#include "model/messages.h"
#include "model/signal_table.h"

namespace kiv {
namespace {

const char* const kTabCaptions[kProgramPageCount] = {
    "发送", "串口设置", "正弦波设置", "矩形波设置", "锯齿波设置", "噪声设置", "使用说明", "帧格式"};

struct ParamRow {
    const char *t1, *t2, *t3, *am, *a0;
};
const ParamRow kInitialParams[kSignalEntryCount] = {
    {"100", "0", "0", "60", "100"},      {"500", "0", "0", "80", "100"},
    {"1000", "0", "0", "100", "100"},    {"50", "50", "0", "255", "0"},
    {"250", "250", "0", "255", "0"},     {"500", "500", "0", "255", "0"},
    {"50", "50", "50", "60", "100"},     {"100", "100", "100", "80", "100"},
    {"300", "300", "400", "100", "100"}, {"0", "0", "0", "10", "0"},
};

const char* const kManualParagraphs[] = {
    "正常启动KIV(Ver1.0)程序后，请按以下步骤使用：",
    "第一步：设置串口参数并打开串口。选择端口、设置参数、点击“设置完毕！”、点击“串口打开！”",
    "第二步：设置发送内容及自动发送周期时间。发送内容以字节为单位,"
    "按发送的先后次序依此添入相应空格（最多10个，"
    "内容不足10个时，后面的空格允许为空）。发送常量，则填写数值（十进制）；发送信号变量，如正弦波变"
    "量，"
    "则在空格填写相应信号的名称。例如：sinx*（*"
    "为1，2，3）。各信号变量的特征参数在各信号设置页面里根据需要进行设置,"
    "每次设置完毕后必须点击该页面“设置完毕！”以更新信号变量的特征。自动发送周期时间以毫秒为单位，"
    "须填写数值（十进制）。",
    "第三步：确定发送设置。当发送内容及发送周期设置完毕，点击“发送”页面的“设置完毕！”，"
    "以更新发送内容及发送周期的设置状态。",
    "第四步：开始发送。点击“发送”页面的“开始发送！”即可进行数字信号的发送。发送过程中如果更改发送周"
    "期、"
    "常量数值、信号变量名称或者增减了发送字节数量,"
    "则必须再次点击“发送”页面的“设置完毕！”，以更新相关内容。"
    "如果只是更改信号变量的特征参数（名称和发送次序未改变）,则在相应信号设置页面里点击“设置完毕！”"
    "即可同步更新信号变量。",
    "第五步：如果需要在某发送字节上叠加随机噪声，则选择发送内容格右边的核取方块（CheckBox）。"
    "核取方块里“打勾”表示“选中”，随机噪声将叠加到对应的发送内容。随机噪声的强弱及叠加对象，"
    "在“噪声设置”页面里设置(叠加对象的控制作用与“发送”页面同)。",
};

// Length in bytes of the UTF-8 sequence starting with c.
std::size_t Utf8Length(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c >> 5) == 0x6) return 2;
    if ((c >> 4) == 0xE) return 3;
    return 4;
}

// The manual is stored hard-wrapped at 64 bytes per line in the legacy
// double-byte encoding, where an ASCII character takes one byte and every
// other character two.
std::string WrapParagraph(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t lineBytes = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = Utf8Length(static_cast<unsigned char>(text[i]));
        std::size_t cost = n == 1 ? 1 : 2;
        if (lineBytes + cost > width) {
            out += "\r\n";
            lineBytes = 0;
        }
        out.append(text, i, n);
        lineBytes += cost;
        i += n;
    }
    return out;
}

}  // namespace

const std::string& ManualText() {
    static const std::string text = [] {
        std::string t = "\r\n";
        bool first = true;
        for (const char* p : kManualParagraphs) {
            if (!first) t += "\r\n\r\n";
            first = false;
            t += WrapParagraph(p, 64);
        }
        t += "\r\n";
        return t;
    }();
    return text;
}

Model::Model() {
    for (const char* c : kTabCaptions) Tabmain.Tabs.emplace_back(c);
    for (int i = 0; i < kProgramPageCount; ++i) {
        tabpage(i).Caption = kTabCaptions[i];
        tabpage(i).ZOrder = kProgramPageCount - i;  // as laid out: the first page on top
    }
    Command5.Caption = "关闭程序";

    for (int i = 0; i < kSlotCount; ++i)
        Label1(i).Caption = "第" + std::to_string(i + 1) + "个字节";
    sendText1(1).Text = "5";
    sendText1(2).Text = "6";
    sendText1(3).Text = "sinx1";
    sendText1(4).Text = "sinx2";
    Label53.Caption = Label54.Caption = "噪声叠加";
    Label2.Caption = "自动发送周期时间(ms)";
    autosendtext1.Text = "10";
    Command7.Caption = "设置完毕!";
    starsend.Caption = "开始发送!";
    pausesend.Caption = "暂停发送!";
    Command8.Caption = "清零发送计数";
    Label49.Caption = "当前串口状态：";
    Label50.Caption = "COM1,9600,无,8,1,CLOSE!";

    const char* const portLabels[kPortBoxCount] = {"串口", "波特率", "校验位", "数据位", "停止位"};
    for (int i = 0; i < kPortBoxCount; ++i) Label3(i).Caption = portLabels[i];
    for (int n = 1; n <= kPortCount; ++n)
        Combo1(kPortBoxPort).List.push_back("COM" + std::to_string(n));
    Combo1(kPortBoxBaud).List = {"300",   "600",   "1200",  "2400",  "4800",  "9600",
                                 "19200", "38400", "43000", "56000", "57600", "115200"};
    for (const ParityName& p : kParityNames) Combo1(kPortBoxParity).List.emplace_back(p.word);
    Combo1(kPortBoxDataBits).List = {"6", "7", "8"};
    Combo1(kPortBoxStopBits).List = {"1", "2"};
    Command1.Caption = "设置完毕!";
    Optionopen.Caption = "串口打开";
    Optionclose.Caption = "串口关闭";
    Optionclose.Value = true;

    for (int i = 1; i <= kSignalEntryCount; ++i) {
        const ParamRow& r = kInitialParams[i - 1];
        fuction_t1(i).Text = r.t1;
        fuction_t2(i).Text = r.t2;
        fuction_t3(i).Text = r.t3;
        fuction_am(i).Text = r.am;
        fuction_a0(i).Text = r.a0;
    }
    // Boxes a kind of wave does not use are read-only.
    for (const SignalVariable& v : kSignalVariables)
        for (int box = 0; box < kParamBoxCount; ++box)
            ParamBoxColumn(*this, box)(v.entry).Locked = !v.Editable(box);
    Command2.Caption = Command3.Caption = Command4.Caption = Command6.Caption = "设置完毕!";
    const std::string amNote = "am: 峰峰A/D值（0～255）";
    const std::string a0Note = "a0: 偏移A/D值（0～255-am）";
    sineNotes = {"t1: 周期，时间单位：ms", amNote, a0Note, "0<=am+a0<=255"};
    squareNotes = {"t1: 高电平时间,单位：ms", "t2: 低电平时间,单位：ms", amNote, a0Note,
                   "0<=am+a0<=255"};
    sawtoothNotes = {"t1: 上升段时间,单位：ms",
                     "t2: 下降段时间,单位：ms",
                     "t3: 休止段时间,单位：ms",
                     amNote,
                     a0Note,
                     "0<=am+a0<=255"};
    noiseNotes = {amNote, "（等概率分布，白噪声）"};
    noiseTargetsLabel.Caption = "叠加对象：";
    for (int i = 1; i <= kSlotCount; ++i) Check1(i).Caption = std::to_string(i);

    instructionLabels = {{"使用说明"}, {"数字信号发生器"}, {"V1.0"}};
    Text2.Text = ManualText();
    Text2.Locked = true;
    contactLabel.Caption = "KIV 数字信号发生器";
    rightsLabel.Caption = "版权所有，保留一切权利";

    // Frame format page: off, every list read from the format's tables.
    for (const CounterKind& k : kCounterKinds) frameCounter.List.emplace_back(k.label);
    for (const ChecksumKind& k : kChecksumKinds)
        frameChecksum.List.emplace_back(k.checksum == Checksum::None ? "无" : k.name);
    for (const ByteOrderKind& k : kByteOrders) frameChecksumOrder.List.emplace_back(k.label);
    for (const ChecksumFromKind& k : kChecksumFroms) frameChecksumFrom.List.emplace_back(k.label);
    frameCounter.Pick(0);
    frameChecksum.Pick(0);
    frameChecksumOrder.Pick(0);
    frameChecksumFrom.Pick(0);
    frameLengthByte.Caption = "长度字节";
    Command9.Caption = "设置完毕!";
}

int FrameLength(const Model& w) {
    return PartsOf(w.frameFormat, std::clamp(w.slotCount, 0, kSlotCount)).Total();
}

void ShowInfo(Model& w) {
    // Without a message box (a headless run) the message still has to reach
    // the user somewhere; the front end decides where by providing one.
    if (w.messageBox == nullptr) {
        w.msgDetail.clear();
        return;
    }
    const std::string detail = std::move(w.msgDetail);
    w.msgDetail.clear();
    w.messageBox->ShowWithDetail(w.msgText, w.msgStyle, w.msgTitle, "DEMO.HLP", 1000, detail);
}

void ShowMessage(Model& w, const Message& message) {
    w.msgText = message.text;
    w.msgStyle = message.style;
    w.msgTitle = message.title;
    ShowInfo(w);
}

void ShowMessage(Model& w, const Message& message, const std::string& detail) {
    w.msgText = std::string(message.text) + "\n" + detail;
    w.msgStyle = message.style;
    w.msgTitle = message.title;
    ShowInfo(w);
}

ControlArray<TextBox, 1, kSignalEntryCount>& ParamBoxColumn(Model& w, int box) {
    ControlArray<TextBox, 1, kSignalEntryCount>* const columns[kParamBoxCount] = {
        &w.fuction_t1, &w.fuction_t2, &w.fuction_t3, &w.fuction_am, &w.fuction_a0};
    return *columns[box];
}

void SetLamps(Model& w, std::uint32_t colour) {
    w.Shape1(0).BackColor = colour;
    w.Shape1(1).BackColor = colour;
}

int FrontPage(const Model& w) {
    int front = 0;
    for (int i = 1; i < kProgramPageCount; ++i)
        if (w.tabpage(i).ZOrder > w.tabpage(front).ZOrder) front = i;
    return front;
}

void BringToFront(Model& w, int page) {
    int top = 0;
    for (int i = 0; i < kProgramPageCount; ++i) top = std::max(top, w.tabpage(i).ZOrder);
    if (w.tabpage(page).ZOrder != top || page != FrontPage(w)) w.tabpage(page).ZOrder = top + 1;
}

std::string IndexedName(const std::string& name, int index) {
    return name + "(" + std::to_string(index) + ")";
}

}  // namespace kiv
