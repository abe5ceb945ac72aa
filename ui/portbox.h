#pragma once

#include "portlist.h"

#include <QComboBox>

#include <functional>
#include <vector>

namespace ui {

// The port-name box: every serial device present, each by its stable name with its description
// beside it in the list, then "COM1" ... "COM256". The devices are looked up afresh each time the
// list opens, so an adapter plugged in after start-up is there without a restart. The box shows
// its whole text as a tooltip, since a real device path is wider than the box.
class PortBox : public QComboBox
{
    Q_OBJECT

public:
    using Enumerator = std::function<std::vector<port::PortEntry>()>;

    explicit PortBox(QWidget *parent = nullptr);

    // Where the present devices come from; the machine's own by default.
    void setEnumerator(Enumerator enumerator);
    // Rebuilds the list, keeping the text in the box.
    void refresh();

    void showPopup() override;

private:
    Enumerator m_enumerator;
};

} // namespace ui
