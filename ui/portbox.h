#pragma once

#include "portlist.h"

#include <QComboBox>

#include <functional>
#include <vector>

namespace ui {

// The port-name box: every serial device present, each by its stable name with its description
// beside it in the list, then "COM1" ... "COM256". The devices are looked up only when the list
// opens, afresh each time, so an adapter plugged in after start-up is there without a restart and
// start-up never waits for a look through every tty the system has. The open list is as wide as
// its entries, each with its whole text as a tooltip; the box shows its text as a tooltip too,
// since a real device path is wider than the box.
class PortBox : public QComboBox
{
    Q_OBJECT

public:
    using Enumerator = std::function<std::vector<port::PortEntry>()>;

    explicit PortBox(QWidget *parent = nullptr);

    // Where the present devices come from; the machine's own by default. Asked only when the
    // list opens.
    void setEnumerator(Enumerator enumerator) { m_enumerator = std::move(enumerator); }
    // Rebuilds the list with the devices present now, keeping the text in the box.
    void refresh();
    // The list without devices, "COM1" ... "COM256", as the box starts.
    void fillNamesOnly();

    void showPopup() override;

private:
    void fill(const std::vector<port::PortEntry> &devices);

    Enumerator m_enumerator;
};

} // namespace ui
