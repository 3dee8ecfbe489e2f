#include "SymbolIcon.h"

#include "Theme.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QMutex>
#include <QPainter>
#include <QPixmapCache>
#include <QStandardPaths>
#include <QSvgRenderer>

#include <memory>

namespace {
const char* const kPlaceholder = ":/symbols/questionmark.square.dashed.svg";

// Names that the icon theme draws well enough; the rest are ours.
const QHash<QString, QString>& themeNames() {
    static const QHash<QString, QString> names{
        {"xmark", "window-close-symbolic"},
        {"photo", "image-x-generic-symbolic"},
        {"ellipsis", "view-more-horizontal-symbolic"},
        {"video", "camera-video-symbolic"},
        {"camera.viewfinder", "camera-photo-symbolic"},
        {"square.and.arrow.down", "document-save-symbolic"},
        {"plus", "list-add-symbolic"},
        {"square.grid.3x3", "view-app-grid-symbolic"},
        {"square.and.pencil", "document-edit-symbolic"},
        {"pencil", "document-edit-symbolic"},
        {"rectangle.split.2x1", "view-dual-symbolic"},
        {"list.bullet.rectangle", "view-list-bullet-symbolic"},
        {"gearshape", "emblem-system-symbolic"},
        {"folder", "folder-symbolic"},
        {"folder.badge.plus", "folder-new-symbolic"},
        {"eye.slash", "view-conceal-symbolic"},
        {"eye", "view-reveal-symbolic"},
        {"network", "network-workgroup-symbolic"},
        {"chevron.right", "go-next-symbolic"},
        {"chevron.left", "go-previous-symbolic"},
        {"checkmark", "object-select-symbolic"},
        {"arrow.clockwise", "view-refresh-symbolic"},
        {"person.crop.circle", "avatar-default-symbolic"},
        {"trash", "user-trash-symbolic"},
        {"play.fill", "media-playback-start-symbolic"},
        {"stop.fill", "media-playback-stop-symbolic"},
    };
    return names;
}

const QStringList& ownNames() {
    static const QStringList names{
        "sparkles",
        "plus.circle.fill",
        "circle.fill",
        "plus.circle",
        "arrow.down.circle",
        "bolt.fill",
        "text.bubble",
        "text.cursor",
        "message.badge.waveform",
        "play.circle",
        "stop.circle",
        "xmark.circle.fill",
        "checkmark.circle.fill",
        "checkmark.circle",
        "exclamationmark.circle.fill",
        "exclamationmark.triangle",
        "photo.badge.checkmark",
        "photo.badge.plus",
        "play.rectangle.on.rectangle",
        "plus.square",
        "photo.on.rectangle",
        // The theme's link carries an arrow under it: at caption size it reads as a funnel.
        "link",
    };
    return names;
}

// The theme's folders of drawings, listed once: a screen looks up many names.
const QStringList& themeFolders() {
    static const QStringList folders = [] {
        QStringList roots = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, "icons/Adwaita/scalable",
                                                      QStandardPaths::LocateDirectory);
        roots << "/usr/share/icons/Adwaita/scalable";
        roots.removeDuplicates();
        QStringList found;
        for (const QString& root : roots) {
            const QDir dir(root);
            for (const QString& context : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
                found << dir.filePath(context);
        }
        return found;
    }();
    return folders;
}

QString findThemeFile(const QString& iconName) {
    for (const QString& folder : themeFolders()) {
        const QString file = folder + "/" + iconName + ".svg";
        if (QFile::exists(file))
            return file;
    }
    return {};
}

QString lookUp(const QString& name) {
    if (ownNames().contains(name))
        return ":/symbols/" + name + ".svg";
    const auto theme = themeNames().constFind(name);
    if (theme != themeNames().cend()) {
        const QString file = findThemeFile(*theme);
        if (!file.isEmpty())
            return file;
    }
    return kPlaceholder;
}

QColor disabledColor(QColor color) {
    return withOpacity(color, 0.5);
}

class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(QString name, QColor fixed) : name_(std::move(name)), fixed_(std::move(fixed)) {}
    QIconEngine* clone() const override { return new SymbolEngine(name_, fixed_); }
    QString key() const override { return "OrvaneSymbol"; }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const int side = std::min(rect.width(), rect.height());
        const double dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        const QImage image = symbolImage(name_, QSize(side, side) * dpr, colorFor(mode));
        QRect target(0, 0, side, side);
        target.moveCenter(rect.center());
        painter->drawImage(target, image);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        return QPixmap::fromImage(symbolImage(name_, size, colorFor(mode)));
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
        QPixmap pixmap = QPixmap::fromImage(symbolImage(name_, size * scale, colorFor(mode)));
        pixmap.setDevicePixelRatio(scale);
        Q_UNUSED(state);
        return pixmap;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    bool isNull() override { return false; }

private:
    QColor colorFor(QIcon::Mode mode) const {
        if (fixed_.isValid())
            return mode == QIcon::Disabled ? disabledColor(fixed_) : fixed_;
        switch (mode) {
        case QIcon::Disabled:
            return Theme::instance().color(ColorRole::tertiary);
        case QIcon::Selected:
            return QApplication::palette().color(QPalette::HighlightedText);
        default:
            return Theme::instance().color(ColorRole::primary);
        }
    }

    QString name_;
    QColor fixed_;
};
} // namespace

namespace {
QMutex sourcesMutex;
QStringList placeholderNames;
} // namespace

namespace {
// Looked up once per name. A name drawn as the placeholder is reported once it is asked for by a view, not when it
// was only read ahead.
QString cachedSource(const QString& name, bool asked) {
    static QHash<QString, QString> cache;
    QMutexLocker lock(&sourcesMutex);
    auto found = cache.constFind(name);
    const QString source = found != cache.cend() ? *found : *cache.insert(name, lookUp(name));
    if (asked && source == QLatin1String(kPlaceholder) && !placeholderNames.contains(name))
        placeholderNames << name;
    return source;
}
} // namespace

QString symbolSource(const QString& name) {
    return cachedSource(name, true);
}

QStringList placeholderSymbols() {
    QMutexLocker lock(&sourcesMutex);
    return placeholderNames;
}

bool isKnownSymbol(const QString& name) {
    return ownNames().contains(name) || themeNames().contains(name);
}

QStringList knownSymbols() {
    QStringList names = ownNames();
    names << themeNames().keys();
    names.sort();
    return names;
}

namespace {
// Each drawing is parsed once: a screen draws the same few symbols at many sizes and colours.
QMutex renderersMutex;
QHash<QString, std::shared_ptr<QSvgRenderer>>& renderers() {
    // Never destroyed: a drawing may still be read on a worker while the process ends.
    static auto* parsed = new QHash<QString, std::shared_ptr<QSvgRenderer>>;
    return *parsed;
}

std::shared_ptr<QSvgRenderer> rendererFor(const QString& source) {
    {
        QMutexLocker lock(&renderersMutex);
        if (const auto found = renderers().constFind(source); found != renderers().cend())
            return *found;
    }
    // Parsed outside the lock, so a drawing parsed ahead of time never holds up one being drawn.
    auto parsed = std::make_shared<QSvgRenderer>(source);
    QMutexLocker lock(&renderersMutex);
    std::shared_ptr<QSvgRenderer>& slot = renderers()[source];
    if (!slot)
        slot = std::move(parsed);
    return slot;
}
} // namespace

void prepareSymbolDrawings() {
    for (const QString& name : knownSymbols()) {
        // A theme drawing missing on this machine is left for its first use to report.
        const QString source = cachedSource(name, false);
        if (source != QLatin1String(kPlaceholder))
            rendererFor(source);
    }
}

QImage symbolImage(const QString& name, QSize pixelSize, const QColor& color) {
    if (pixelSize.isEmpty())
        return {};
    QImage image(pixelSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const std::shared_ptr<QSvgRenderer> shared = rendererFor(symbolSource(name));
    QSvgRenderer& renderer = *shared;
    if (!renderer.isValid())
        return image;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Keep the drawing's own aspect, centred.
    QSizeF drawn = renderer.defaultSize();
    if (drawn.isEmpty())
        drawn = QSizeF(16, 16);
    drawn.scale(QSizeF(pixelSize), Qt::KeepAspectRatio);
    const QRectF target((pixelSize.width() - drawn.width()) / 2, (pixelSize.height() - drawn.height()) / 2,
                        drawn.width(), drawn.height());
    {
        // Drawing walks the parsed document with state of its own: one drawing at a time.
        static QMutex drawingMutex;
        QMutexLocker lock(&drawingMutex);
        renderer.render(&painter, target);
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

QPixmap symbolPixmap(const QString& name, double pointSize, const QColor& color, double devicePixelRatio) {
    const int side = std::max(1, int(std::lround(pointSize * devicePixelRatio)));
    // Buttons draw their symbol on every paint: parse each drawing once per size and colour.
    const QString key = QStringLiteral("orvane-symbol:%1:%2:%3").arg(name).arg(side).arg(color.rgba(), 8, 16);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap::fromImage(symbolImage(name, QSize(side, side), color));
        QPixmapCache::insert(key, pixmap);
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon symbolIcon(const QString& name) {
    return QIcon(new SymbolEngine(name, QColor()));
}

QIcon symbolIcon(const QString& name, const QColor& color) {
    return QIcon(new SymbolEngine(name, color));
}
