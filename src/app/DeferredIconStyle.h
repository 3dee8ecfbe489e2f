#pragma once

#include <QProxyStyle>

// The platform's own style, with the extension arrows of menu and tool bars read from their picture files when first
// drawn instead of when the bar is made: reading the first picture file makes Qt load every image format plugin,
// and the arrows show only on a bar too narrow for its items.
class DeferredIconStyle final : public QProxyStyle {
    Q_OBJECT
public:
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;
};
