#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEnterEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QUrl>
#include <QWindow>

namespace gui {
namespace {
QPoint pointIn(QWidget* widget, QPoint at) {
    return at == QPoint(-1, -1) ? widget->rect().center() : at;
}

bool isControl(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QComboBox*>(widget) || qobject_cast<const QAbstractSlider*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget);
}

QString shownName(const QWidget* widget) {
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    return {};
}
} // namespace

QList<QWidget*> findAllByAccessibleName(QWidget* root, const QString& name) {
    QList<QWidget*> found;
    if (!root)
        return found;
    QList<QWidget*> all{root};
    all << root->findChildren<QWidget*>();
    for (QWidget* widget : all) {
        if (shownName(widget) == name)
            found << widget;
    }
    return found;
}

QWidget* findByAccessibleName(QWidget* root, const QString& name) {
    const QList<QWidget*> found = findAllByAccessibleName(root, name);
    return found.isEmpty() ? nullptr : found.constFirst();
}

namespace {
// Fails the current test for a missing `name`: what type was wanted below which root, what carries that name
// instead, and which names are there (of type T: widgets or any object).
template <typename T>
void failMissing(QObject* root, const QString& name, const QMetaObject& type, const QList<T*>& candidates,
                 const char* what, const char* file, int line) {
    QStringList seen;
    if (root) {
        QList<T*> all;
        if (auto* self = qobject_cast<T*>(root))
            all << self;
        all << root->findChildren<T*>();
        for (T* object : std::as_const(all)) {
            const QString objectName = object->objectName();
            if (!objectName.isEmpty() && !objectName.startsWith("qt_") && !seen.contains(objectName))
                seen << objectName;
        }
    }
    QString message =
        QStringLiteral("missing %1\"%2\" (%3) below %4")
            .arg(std::is_same_v<T, QWidget> ? QStringLiteral("control ") : QString(), name,
                 QString::fromLatin1(type.className()),
                 root ? root->objectName() + " (" + root->metaObject()->className() + ")" : QStringLiteral("nothing"));
    for (T* object : candidates)
        message += QStringLiteral("; \"%1\" is a %2").arg(name, object->metaObject()->className());
    constexpr qsizetype kListed = 60;
    message += QStringLiteral("; named %1 there: ").arg(QLatin1String(what)) + seen.mid(0, kListed).join(", ");
    if (seen.size() > kListed)
        message += QStringLiteral(", … (%1 more)").arg(seen.size() - kListed);
    QTest::qFail(qPrintable(message), file, line);
}
} // namespace

QWidget* requireWidget(QWidget* root, const QString& name, const QMetaObject& type, const char* file, int line) {
    QList<QWidget*> candidates;
    if (root) {
        if (root->objectName() == name)
            candidates << root;
        candidates << root->findChildren<QWidget*>(name);
        if (candidates.isEmpty())
            candidates = findAllByAccessibleName(root, name);
    }
    QWidget* hidden = nullptr;
    for (QWidget* widget : std::as_const(candidates)) {
        if (!widget->metaObject()->inherits(&type))
            continue;
        if (widget->isVisible())
            return widget;
        if (!hidden)
            hidden = widget;
    }
    if (hidden)
        return hidden;
    failMissing(root, name, type, candidates, "widgets", file, line);
    return nullptr;
}

QObject* requireObject(QObject* root, const QString& name, const QMetaObject& type, const char* file, int line) {
    QList<QObject*> candidates;
    if (root) {
        if (root->objectName() == name)
            candidates << root;
        candidates << root->findChildren<QObject*>(name);
    }
    for (QObject* object : std::as_const(candidates)) {
        if (object->metaObject()->inherits(&type))
            return object;
    }
    failMissing(root, name, type, candidates, "objects", file, line);
    return nullptr;
}

QStringList unnamedControls(QWidget* root) {
    QStringList missing;
    if (!root)
        return missing;
    QList<QWidget*> all{root};
    all << root->findChildren<QWidget*>();
    for (QWidget* widget : all) {
        if (!isControl(widget))
            continue;
        // Inner parts of a composite control (the line edit of a combo box or spin box) are named by it.
        if (widget->parentWidget() && (qobject_cast<QComboBox*>(widget->parentWidget()) ||
                                       qobject_cast<QAbstractSpinBox*>(widget->parentWidget())))
            continue;
        if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_") || shownName(widget).isEmpty())
            missing << QStringLiteral("%1 '%2' ('%3')")
                           .arg(widget->metaObject()->className(), widget->objectName(), shownName(widget));
    }
    return missing;
}

bool showActive(QWidget* widget) {
    QWidget* window = widget->window();
    window->show();
    window->raise();
    window->activateWindow();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window, 2000);
}

bool deactivate(QWidget* widget) {
    static QWidget* other = nullptr;
    if (!other) {
        other = new QWidget;
        other->setObjectName(QStringLiteral("otherWindow"));
        other->resize(10, 10);
    }
    other->show();
    other->activateWindow();
    QApplication::setActiveWindow(other);
    return waitFor([widget] { return !widget->window()->isActiveWindow(); });
}

void hover(QWidget* widget, QPoint at) {
    const QPoint local = pointIn(widget, at);
    QEnterEvent enter(local, widget->mapTo(widget->window(), local), widget->mapToGlobal(local));
    QApplication::sendEvent(widget, &enter);
    QTest::mouseMove(widget, local);
    QApplication::processEvents();
}

void unhover(QWidget* widget) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
    QApplication::processEvents();
}

bool click(QWidget* widget, QPoint at) {
    if (!widget || !widget->isVisible() || !widget->isEnabled())
        return false;
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, pointIn(widget, at));
    QApplication::processEvents();
    return true;
}

void type(QWidget* widget, const QString& text) {
    widget->setFocus();
    QTest::keyClicks(widget, text);
}

void key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(widget, key, modifiers);
}

void keyToFocus(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget* target = QApplication::focusWidget();
    if (!target)
        target = QApplication::activeWindow();
    if (target)
        QTest::keyClick(target, key, modifiers);
}

std::unique_ptr<QMimeData> mimeWithFiles(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    data->setUrls(urls);
    return data;
}

std::unique_ptr<QMimeData> mimeWithImage(const QImage& image) {
    auto data = std::make_unique<QMimeData>();
    data->setImageData(image);
    return data;
}

DropResult drop(QWidget* target, const QMimeData& data, QPoint at, Qt::DropActions actions) {
    DropResult result;
    const QPoint local = pointIn(target, at);
    const QPointF pos(local);
    QDragEnterEvent enter(local, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    result.enterAccepted = enter.isAccepted();
    if (!result.enterAccepted)
        return result;
    QDragMoveEvent move(local, actions, &data, Qt::LeftButton, Qt::NoModifier);
    move.setDropAction(enter.dropAction());
    QApplication::sendEvent(target, &move);
    QDropEvent dropEvent(pos, actions, &data, Qt::LeftButton, Qt::NoModifier);
    dropEvent.setDropAction(move.dropAction());
    QApplication::sendEvent(target, &dropEvent);
    result.dropAccepted = dropEvent.isAccepted();
    result.action = dropEvent.dropAction();
    QApplication::processEvents();
    return result;
}

bool dragOverAndLeave(QWidget* target, const QMimeData& data, QPoint at) {
    const QPoint local = pointIn(target, at);
    QDragEnterEvent enter(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragLeaveEvent leave;
    QApplication::sendEvent(target, &leave);
    QApplication::processEvents();
    return enter.isAccepted();
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

bool writeImage(const QString& path, QSize size, QColor color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return image.save(path);
}

QString shownText(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && !button->text().isEmpty())
        return button->text();
    if (auto* field = qobject_cast<QLineEdit*>(widget))
        return field->placeholderText();
    if (auto* editor = qobject_cast<QPlainTextEdit*>(widget))
        return editor->placeholderText();
    if (auto* editor = qobject_cast<QTextEdit*>(widget))
        return editor->toPlainText();
    return widget->accessibleName().isEmpty() ? widget->toolTip() : widget->accessibleName();
}

bool settled(QWidget* widget) {
    QPoint last = widget->mapToGlobal(QPoint(0, 0));
    for (int round = 0; round < 50; ++round) {
        QTest::qWait(20);
        const QPoint now = widget->mapToGlobal(QPoint(0, 0));
        if (now == last && round > 2)
            return true;
        last = now;
    }
    return false;
}

int pixelSizeOf(const QFont& font) {
    return font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF());
}

QString near(const QString& what, double have, double want, double tolerance) {
    if (std::abs(have - want) <= tolerance + 1e-9)
        return {};
    return QStringLiteral("%1 %2, not %3").arg(what, QString::number(have, 'f', 1), QString::number(want, 'f', 1));
}

QRect rectIn(const QWidget* widget, const QWidget* root) {
    return QRect(widget->mapTo(root, QPoint()), widget->size());
}

bool useLargeScreen() {
    static QTemporaryDir folder;
    QFile file(folder.filePath("screen.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("{\"screens\": [{\"name\": \"studio\", \"x\": 0, \"y\": 0, \"width\": 2200, \"height\": 1400, "
               "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1.0}]}");
    file.close();
    return qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(file.fileName()));
}

} // namespace gui
