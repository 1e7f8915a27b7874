#include "gui/port_devices.h"

#include <QAbstractItemView>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QToolButton>

#include "model/form.h"
#include "platform/port_directory.h"
#include "platform/port_naming.h"

namespace kiv {
namespace {

// A port box entry in the open list: the number, and under it in smaller,
// paler type what the number opens.
class TwoLineDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem top = option;
        initStyleOption(&top, index);
        const QString detail = index.data(kPortDescriptionRole).toString();
        top.text.clear();
        QStyle* style = top.widget != nullptr ? top.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &top, painter, top.widget);

        const QRect area = option.rect.adjusted(6, 1, -4, -1);
        const int lineHeight = option.fontMetrics.height();
        painter->save();
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(QRect(area.left(), area.top(), area.width(), lineHeight),
                          Qt::AlignLeft | Qt::AlignVCenter, index.data(Qt::DisplayRole).toString());
        QFont small = option.font;
        small.setPointSizeF(small.pointSizeF() * 0.85);
        painter->setFont(small);
        QColor pale = painter->pen().color();
        pale.setAlphaF(0.7f);
        painter->setPen(pale);
        const QRect second(area.left() + 8, area.top() + lineHeight, area.width() - 8,
                           area.height() - lineHeight);
        painter->drawText(second, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(small).elidedText(detail, Qt::ElideMiddle, second.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QSize one = QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics fm(option.font);
        const int width = fm.horizontalAdvance(index.data(kPortDescriptionRole).toString()) + 24;
        return {qMax(one.width(), qMin(width, 480)), one.height() + fm.height()};
    }
};

}  // namespace

QString PortDevicesBinding::VirtualText() {
    return QStringLiteral("虚拟端口");
}

QString PortDevicesBinding::OtherPathText() {
    return QStringLiteral("其他路径...");
}

PortDevicesBinding::PortDevicesBinding(Model& model, PortDirectory& directory, QComboBox* portBox,
                                       QToolButton* button)
    : m_model(model), m_directory(directory), m_box(portBox), m_button(button) {
    m_box->setItemDelegate(new TwoLineDelegate(m_box));
    // The list is read afresh each time it opens: adapters come and go.
    m_box->view()->installEventFilter(this);

    auto* menu = new QMenu(m_button);
    menu->setObjectName(QStringLiteral("portDevicesMenu"));
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { fillMenu(menu); });
    m_button->setMenu(menu);
    m_button->setPopupMode(QToolButton::InstantPopup);
    m_button->setText(QStringLiteral("…"));
    m_button->setToolTip(QStringLiteral("为串口框中的 COM 号选择设备"));

    // The box's own context menu carries the same choices above the usual
    // editing entries.
    QLineEdit* edit = m_box->lineEdit();
    if (edit != nullptr) {
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(edit, &QLineEdit::customContextMenuRequested, this, [this, edit](QPoint at) {
            if (!m_box->isEnabled()) return;
            QMenu* context = edit->createStandardContextMenu();
            context->setObjectName(QStringLiteral("portBoxContextMenu"));
            context->setAttribute(Qt::WA_DeleteOnClose);
            QAction* first = context->actions().isEmpty() ? nullptr : context->actions().first();
            QMenu devices;
            fillMenu(&devices);
            for (QAction* action : devices.actions()) {
                action->setParent(context);
                context->insertAction(first, action);
            }
            context->insertSeparator(first);
            context->popup(edit->mapToGlobal(at));
        });
    }
    m_directory.Refresh();
    showDescriptions();
}

int PortDevicesBinding::chosenPort() const {
    const int index = m_model.Combo1(kPortBoxPort).ListIndex;
    return index >= 0 && index < kPortCount ? index + 1 : 0;
}

void PortDevicesBinding::push() {
    const bool enabled = m_model.Combo1(kPortBoxPort).Enabled;
    if (m_enabled != enabled) {
        m_button->setEnabled(enabled);
        m_enabled = enabled;
    }
    if (m_shownGeneration != m_directory.generation()) showDescriptions();
}

void PortDevicesBinding::showDescriptions() {
    m_shownGeneration = m_directory.generation();
    QStringList lines;
    int widest = 0;
    for (int i = 0; i < m_box->count() && i < kPortCount; ++i) {
        const QString text = QString::fromStdString(m_directory.Describe(i + 1));
        const QString line = QStringLiteral("COM%1: %2").arg(i + 1).arg(text);
        widest = qMax(widest, m_box->fontMetrics().horizontalAdvance(text));
        m_box->setItemData(i, text, kPortDescriptionRole);
        m_box->setItemData(i, line, Qt::ToolTipRole);
        lines << line;
    }
    // The whole map on the box itself, which also shows while the port is
    // open and the list cannot be opened.
    m_box->setToolTip(lines.join(QLatin1Char('\n')));
    // The open list is as wide as its longest line, within reason; the box
    // itself keeps its size.
    m_box->view()->setMinimumWidth(qMin(widest + 40, 520));
}

bool PortDevicesBinding::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched == m_box->view()) {
        m_directory.Refresh();
        showDescriptions();
    }
    return QObject::eventFilter(watched, event);
}

void PortDevicesBinding::fillMenu(QMenu* menu) {
    menu->clear();
    m_directory.Refresh();
    showDescriptions();
    const int port = chosenPort();
    if (port == 0) {
        menu->addAction(QStringLiteral("请先在串口框中选择 COM1..COM%1").arg(kPortCount))
            ->setEnabled(false);
        return;
    }
    menu->addSection(QStringLiteral("COM%1 使用：").arg(port));
    const PortMap current = m_directory.CurrentMap();
    const PortAssignments& ports = m_directory.assignments();
    auto* group = new QActionGroup(menu);
    for (const SerialDevice& device : m_directory.devices()) {
        QString text = QString::fromStdString(device.Summary());
        for (int other = 1; other <= kPortCount; ++other) {
            const PortAssignment& a = ports[static_cast<std::size_t>(other - 1)];
            if (other != port && a.kind == PortAssignment::Kind::Device &&
                a.identity == device.Identity())
                text += QStringLiteral("  (COM%1)").arg(other);
        }
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(!current.isVirtual(port) && current.device(port) == device.path);
        action->setActionGroup(group);
        const std::string identity = device.Identity();
        connect(action, &QAction::triggered, this, [this, port, identity] {
            m_directory.ChooseDevice(port, identity);
            showDescriptions();
        });
    }
    if (m_directory.devices().empty())
        menu->addAction(QStringLiteral("(没有找到串口设备)"))->setEnabled(false);
    menu->addSeparator();
    if (VirtualPortOffered()) {
        QAction* virtualPort = menu->addAction(VirtualText());
        virtualPort->setCheckable(true);
        virtualPort->setChecked(current.isVirtual(port));
        virtualPort->setActionGroup(group);
        connect(virtualPort, &QAction::triggered, this, [this, port] {
            m_directory.ChooseVirtual(port);
            showDescriptions();
        });
    }
    connect(menu->addAction(OtherPathText()), &QAction::triggered, this,
            [this, port] { askForPath(port); });
}

void PortDevicesBinding::askForPath(int port) {
    const PortMap current = m_directory.CurrentMap();
    bool ok = false;
    QString path = QInputDialog::getText(
        m_button->window(), QStringLiteral("COM%1").arg(port),
        QStringLiteral("COM%1 的设备路径：").arg(port), QLineEdit::Normal,
        QString::fromStdString(current.isVirtual(port) ? std::string() : current.device(port)),
        &ok);
    path = path.trimmed();
    if (!ok || path.isEmpty()) return;
    // A bare name is the system's: a device under /dev, or a COM port.
    const std::string device = TypedDeviceName(path.toStdString());
    if (!IsAssignablePath(device)) return;
    m_directory.ChooseDevice(port, device);
    showDescriptions();
}

}  // namespace kiv
