#include "ui/ApplicationIcon.h"

#include <QString>

// The resources live in the static ui library; registering them here keeps the
// linker from dropping them from a program that never names them.
static void RegisterUiResources()
{
    Q_INIT_RESOURCE(ui);
}

namespace Ui {

QIcon ApplicationIcon()
{
    static const QIcon icon = [] {
        RegisterUiResources();
        QIcon drawn;
        for (const int size : {16, 24, 32, 48, 64, 128, 256})
            drawn.addFile(QStringLiteral(":/128/AppIcon-%1.png").arg(size), QSize(size, size));
        return drawn;
    }();
    return icon;
}

}  // namespace Ui
