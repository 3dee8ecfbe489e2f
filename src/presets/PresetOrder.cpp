#include "PresetOrder.h"

#include "Clock.h"

namespace PresetOrder {

QDateTime nextCreationTime() {
    static QDateTime last;
    QDateTime now = Clock::current().now();
    if (last.isValid() && now <= last)
        now = last.addMSecs(1);
    last = now;
    return now;
}

} // namespace PresetOrder
