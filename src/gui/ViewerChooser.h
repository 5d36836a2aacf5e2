#pragma once

#include "gui/WindowContext.h"

#include <QObject>
#include <QString>

namespace ostrel {

// Which VNC viewer View opens: the user's choice from the menu, stored for
// later runs, and the way back to the automatic order.
class ViewerChooser : public QObject {
    Q_OBJECT

public:
    explicit ViewerChooser(WindowContext context, QObject* parent = nullptr);

    // The viewer the user chose; empty for the automatic order.
    QString chosenViewer() const;

    void onChooseViewerMenu();

private:
    WindowContext context_;
};

} // namespace ostrel
