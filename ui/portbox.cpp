#include "portbox.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace ui {

namespace {

constexpr int descriptionRole = Qt::UserRole + 1;

// Shows a device's description after its name in the open list; picking the entry puts only the
// name in the box.
class EntryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString description = index.data(descriptionRole).toString();
        if (!description.isEmpty())
            option->text += QStringLiteral("   ") + description;
    }
};

} // namespace

PortBox::PortBox(QWidget *parent) : QComboBox(parent), m_enumerator(port::presentPorts)
{
    setItemDelegate(new EntryDelegate(this));
    connect(this, &QComboBox::currentTextChanged, this,
            [this](const QString &text) { setToolTip(text); });
}

void PortBox::refresh()
{
    fill(m_enumerator());
}

void PortBox::fillNamesOnly()
{
    fill({});
}

void PortBox::fill(const std::vector<port::PortEntry> &devices)
{
    const QString text = currentText();
    const QSignalBlocker quiet(this);
    clear();
    // The system console is refused when picked: it comes last, and says why.
    std::vector<port::PortEntry> ordered = devices;
    std::stable_partition(ordered.begin(), ordered.end(),
                          [](const port::PortEntry &entry) { return !entry.systemConsole; });
    for (const port::PortEntry &entry : ordered) {
        const QString name = QString::fromStdString(entry.name);
        QString description = QString::fromStdString(entry.description);
        if (entry.systemConsole)
            description = QString(QStringLiteral("(system console) ") + description).trimmed();
        addItem(name);
        setItemData(count() - 1, description, descriptionRole);
        setItemData(count() - 1,
                    description.isEmpty() ? name : name + QStringLiteral("   ") + description,
                    Qt::ToolTipRole);
    }
    for (int n = 1; n <= 256; ++n) {
        addItem(QStringLiteral("COM%1").arg(n));
        setItemData(count() - 1, itemText(count() - 1), Qt::ToolTipRole);
    }
    const int index = findText(text.isEmpty() ? QStringLiteral("COM1") : text);
    if (index >= 0)
        setCurrentIndex(index);
    if (isEditable())
        setEditText(text.isEmpty() ? QStringLiteral("COM1") : text);
    setToolTip(currentText());
}

void PortBox::showPopup()
{
    refresh();
    // As wide as the widest entry, name and description, so that no path is cut in the middle.
    const QFontMetrics metrics = view()->fontMetrics();
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest =
            std::max(widest, metrics.horizontalAdvance(itemData(i, Qt::ToolTipRole).toString()));
    const int frame = 2 * view()->frameWidth() + 4 * metrics.averageCharWidth();
    const int scrollBar = view()->verticalScrollBar()->sizeHint().width();
    view()->setMinimumWidth(std::max(width(), widest + frame + scrollBar));
    QComboBox::showPopup();
}

} // namespace ui
