#include "portbox.h"

#include <QStyledItemDelegate>

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

void PortBox::setEnumerator(Enumerator enumerator)
{
    m_enumerator = std::move(enumerator);
    refresh();
}

void PortBox::refresh()
{
    const QString text = currentText();
    const QSignalBlocker quiet(this);
    clear();
    for (const port::PortEntry &entry : m_enumerator()) {
        const QString description = QString::fromStdString(entry.description);
        addItem(QString::fromStdString(entry.name));
        setItemData(count() - 1, description, descriptionRole);
        setItemData(count() - 1, description, Qt::ToolTipRole);
    }
    for (int n = 1; n <= 256; ++n)
        addItem(QStringLiteral("COM%1").arg(n));
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
    QComboBox::showPopup();
}

} // namespace ui
