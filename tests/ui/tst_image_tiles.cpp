#include "GuiTestSupport.h"
#include "ImageTiles.h"

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <limits>

namespace {
QImage picture(int width, int height, QColor color = Qt::darkCyan) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// The circle of a round button, in its tile's coordinates.
QRectF circleOf(TileRoundButton* button) {
    const QPointF centre = QRectF(button->geometry()).center();
    const double d = button->diameter();
    return QRectF(centre.x() - d / 2, centre.y() - d / 2, d, d);
}

bool near(double a, double b) {
    return std::abs(a - b) <= 1.0;
}
} // namespace

class ImageTileTests : public QObject {
    Q_OBJECT
private slots:
    void thumbnailFollowsTheScale_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("side");
        QTest::addColumn<double>("removeDiameter");
        QTest::addColumn<double>("downloadDiameter");
        QTest::addColumn<double>("removeSymbol");
        QTest::addColumn<double>("downloadSymbol");
        // Sides are kept between 50 and 100, buttons between their bounds; symbol sizes keep growing.
        QTest::newRow("0.5") << 0.5 << 50.0 << 16.0 << 22.0 << 5.0 << 8.0;
        QTest::newRow("1") << 1.0 << 70.0 << 18.0 << 25.0 << 10.0 << 16.0;
        QTest::newRow("2") << 2.0 << 100.0 << 22.0 << 28.0 << 20.0 << 32.0;
        QTest::newRow("nonsense scale counts as 1")
            << std::numeric_limits<double>::quiet_NaN() << 70.0 << 18.0 << 25.0 << 10.0 << 16.0;
    }
    void thumbnailFollowsTheScale() {
        QFETCH(double, scale);
        QFETCH(double, side);
        QFETCH(double, removeDiameter);
        QFETCH(double, downloadDiameter);
        QFETCH(double, removeSymbol);
        QFETCH(double, downloadSymbol);
        const auto m = AdaptiveImageThumbnailView::metricsFor(scale);
        QCOMPARE(m.side, side);
        QCOMPARE(m.removeDiameter, removeDiameter);
        QCOMPARE(m.downloadDiameter, downloadDiameter);
        QCOMPARE(m.removeSymbolSize, removeSymbol);
        QCOMPARE(m.downloadSymbolSize, downloadSymbol);
        QCOMPARE(m.removePadding, 4.0);
        // A wide picture is cropped into the square, never letterboxed.
        AdaptiveImageThumbnailView tile(picture(300, 100), 1.0);
        tile.setScale(scale);
        QCOMPARE(tile.size(), QSize(int(side), int(side)));
        QCOMPARE(tile.pictureRect(), QRectF(0, 0, side, side));
    }

    void measurementsOfEachTile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("maxHeight");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("padding");
        QTest::addColumn<double>("removeDiameter");
        QTest::addColumn<double>("downloadDiameter");
        QTest::addColumn<bool>("expanding");
        QTest::addColumn<bool>("darkRemove");
        QTest::newRow("single") << "single" << 200.0 << 12.0 << 8.0 << 24.0 << 36.0 << false << false;
        QTest::newRow("flexible") << "flexible" << 150.0 << 8.0 << 6.0 << 22.0 << 32.0 << true << false;
        QTest::newRow("reference") << "reference" << 200.0 << 12.0 << 6.0 << 24.0 << 36.0 << false << true;
        QTest::newRow("reference 300") << "reference300" << 300.0 << 12.0 << 6.0 << 24.0 << 36.0 << false << true;
        QTest::newRow("frame") << "frame" << 120.0 << 8.0 << 6.0 << 22.0 << 32.0 << true << true;
    }
    void measurementsOfEachTile() {
        QFETCH(QString, kind);
        QFETCH(double, maxHeight);
        QFETCH(double, radius);
        QFETCH(double, padding);
        QFETCH(double, removeDiameter);
        QFETCH(double, downloadDiameter);
        QFETCH(bool, expanding);
        QFETCH(bool, darkRemove);
        const ImageTile::Metrics m = kind == "single"         ? SingleImageView::metricsFor()
                                     : kind == "flexible"     ? FlexibleImageView::metricsFor()
                                     : kind == "reference"    ? ReferenceImageView::metricsFor(std::nullopt)
                                     : kind == "reference300" ? ReferenceImageView::metricsFor(300.0)
                                                              : VideoFrameImageView::metricsFor();
        QCOMPARE(m.maxHeight, maxHeight);
        QCOMPARE(m.cornerRadius, radius);
        QCOMPARE(m.removePadding, padding);
        QCOMPARE(m.removeDiameter, removeDiameter);
        QCOMPARE(m.downloadDiameter, downloadDiameter);
        QCOMPARE(m.expanding, expanding);
        QCOMPARE(m.removeLook == TileRoundButton::Look::dark, darkRemove);
        QCOMPARE(m.removeScales, darkRemove);
        QCOMPARE(m.side, 0.0);
    }

    void picturesAreFittedWhole() {
        // A tall picture stops at 200 high and narrows in proportion.
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* single = new SingleImageView(picture(400, 1600));
        layout->addWidget(single);
        window.resize(600, 400);
        QVERIFY(gui::showActive(&window));
        QCOMPARE(single->pictureRect().height(), 200.0);
        QVERIFY(near(single->pictureRect().width(), 50));
        // An explicit height lets a reference picture grow past 200.
        ReferenceImageView tall(picture(400, 1600), 300.0);
        tall.resize(tall.sizeHint());
        QCOMPARE(tall.pictureRect().height(), 300.0);
        ReferenceImageView plain(picture(400, 1600));
        plain.resize(plain.sizeHint());
        QCOMPARE(plain.pictureRect().height(), 200.0);
        // A very wide frame is shown whole, centred in the full width, at most 120 high.
        VideoFrameImageView frame(picture(4000, 400));
        frame.resize(500, frame.heightForWidth(500));
        QCOMPARE(frame.height(), 50);
        QCOMPARE(frame.pictureRect(), QRectF(0, 0, 500, 50));
        VideoFrameImageView square(picture(400, 400));
        square.resize(500, square.heightForWidth(500));
        QCOMPARE(square.height(), 120);
        QCOMPARE(square.pictureRect(), QRectF(190, 0, 120, 120));
        // A degenerate picture divides by nothing: it is treated as square.
        VideoFrameImageView empty{QImage()};
        QCOMPARE(empty.aspectRatio(), 1.0);
        QCOMPARE(empty.heightForWidth(90), 90);
        AdaptiveImageThumbnailView zero(QImage(0, 10, QImage::Format_RGB32), 0);
        QCOMPARE(zero.size(), QSize(70, 70));
        zero.repaint();
    }

    void buttonsAppearOnlyWhileHovered_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("single") << "single";
        QTest::newRow("thumbnail") << "thumbnail";
        QTest::newRow("reference") << "reference";
        QTest::newRow("frame") << "frame";
    }
    void buttonsAppearOnlyWhileHovered() {
        QFETCH(QString, kind);
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        const QImage image = picture(300, 200, Qt::magenta);
        ImageTile* tile = kind == "single"      ? static_cast<ImageTile*>(new SingleImageView(image))
                          : kind == "thumbnail" ? new AdaptiveImageThumbnailView(image, 1.0)
                          : kind == "reference" ? static_cast<ImageTile*>(new ReferenceImageView(image))
                                                : new VideoFrameImageView(image);
        layout->addWidget(tile);
        window.resize(400, 260);
        QVERIFY(gui::showActive(&window));
        // The pointer of an earlier row may rest where the tile opens.
        gui::unhover(tile);
        QTRY_VERIFY_WITH_TIMEOUT(!tile->removeButton(), 1000);
        QSignalSpy removed(tile, &ImageTile::removeRequested);
        QSignalSpy downloaded(tile, &ImageTile::downloadRequested);

        // Without hovering there is nothing to click.
        QVERIFY(!tile->removeButton());
        QVERIFY(!tile->downloadButton());
        QVERIFY(tile->findChildren<QAbstractButton*>().isEmpty());

        gui::hover(tile);
        QVERIFY(tile->isHovered());
        TileRoundButton* remove = tile->removeButton();
        TileRoundButton* download = tile->downloadButton();
        QVERIFY(remove && download);
        QCOMPARE(remove->accessibleName(), QString("Remove"));
        QCOMPARE(download->accessibleName(), QString("Download"));
        // They fade in over 0.15 s rather than popping up.
        QVERIFY(tile->revealProgress() < 0.5);
        QTRY_COMPARE_WITH_TIMEOUT(tile->revealProgress(), 1.0, 1000);
        QCOMPARE(remove->drawnScale(), 1.0);

        // Placement: remove inside the picture's top-right corner, inset by the padding; download centred.
        const QRectF picture = tile->pictureRect();
        const double padding = tile->metrics().removePadding;
        const QRectF removeCircle = circleOf(remove);
        QVERIFY2(near(removeCircle.right(), picture.right() - padding),
                 qPrintable(QString::number(removeCircle.right())));
        QVERIFY(near(removeCircle.top(), picture.top() + padding));
        QVERIFY(near(circleOf(download).center().x(), picture.center().x()));
        QVERIFY(near(circleOf(download).center().y(), picture.center().y()));

        QVERIFY(gui::click(download, download->rect().center()));
        QCOMPARE(downloaded.count(), 1);
        QCOMPARE(downloaded.at(0).at(0).value<QImage>(), image);
        QCOMPARE(removed.count(), 0);
        QVERIFY(gui::click(remove, remove->rect().center()));
        QCOMPARE(removed.count(), 1);
        QCOMPARE(downloaded.count(), 1);

        // Leaving: the buttons stop taking clicks at once, fade out, then go.
        gui::unhover(tile);
        QVERIFY(!tile->isHovered());
        QTest::mouseClick(remove, Qt::LeftButton, Qt::NoModifier, remove->rect().center());
        QCOMPARE(removed.count(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!tile->removeButton() && !tile->downloadButton(), 1000);
        QCOMPARE(tile->revealProgress(), 0.0);
    }

    void frameRemoveButtonGrowsWhileFading() {
        VideoFrameImageView tile(picture(320, 180));
        tile.resize(400, 120);
        QVERIFY(gui::showActive(&tile));
        gui::unhover(&tile);
        gui::hover(&tile);
        TileRoundButton* remove = tile.removeButton();
        QVERIFY(remove);
        QVERIFY(remove->drawnScale() < 0.9);
        QVERIFY(remove->drawnScale() >= 0.8);
        // The download button only fades.
        QCOMPARE(tile.downloadButton()->drawnScale(), 1.0);
        QTRY_COMPARE_WITH_TIMEOUT(remove->drawnScale(), 1.0, 1000);
        QCOMPARE(remove->look(), TileRoundButton::Look::dark);
        QCOMPARE(tile.downloadButton()->look(), TileRoundButton::Look::material);
    }

    // Without a pointer: Tab reveals the buttons and walks them, Return, Space and the accessible action press
    // them, and leaving with the keyboard takes them away again.
    void aReachableTileIsWalkedAndPressedWithTheKeyboard() {
        QWidget window;
        auto* layout = new QHBoxLayout(&window);
        auto* before = new QPushButton("Before");
        auto* tile = new VideoFrameImageView(picture(300, 200));
        tile->setAccessibleName("Start frame");
        tile->setKeyboardReachable(true);
        auto* after = new QPushButton("After");
        layout->addWidget(before);
        layout->addWidget(tile);
        layout->addWidget(after);
        window.resize(600, 200);
        QVERIFY(gui::showActive(&window));
        gui::unhover(tile);
        QTRY_VERIFY_WITH_TIMEOUT(!tile->removeButton(), 1000);
        QSignalSpy removed(tile, &ImageTile::removeRequested);
        QSignalSpy downloaded(tile, &ImageTile::downloadRequested);

        before->setFocus(Qt::TabFocusReason);
        gui::keyToFocus(Qt::Key_Tab);
        TileRoundButton* remove = tile->removeButton();
        QVERIFY(remove);
        QCOMPARE(QApplication::focusWidget(), remove);
        QTRY_COMPARE_WITH_TIMEOUT(tile->revealProgress(), 1.0, 1000);
        QTest::keyClick(remove, Qt::Key_Return);
        QCOMPARE(removed.count(), 1);
        QTest::keyClick(remove, Qt::Key_Space);
        QCOMPARE(removed.count(), 2);

        gui::keyToFocus(Qt::Key_Tab);
        TileRoundButton* download = tile->downloadButton();
        QCOMPARE(QApplication::focusWidget(), download);
        // A screen reader lists them in the order Tab walks them.
        QAccessibleInterface* tileAccessible = QAccessible::queryAccessibleInterface(tile);
        QVERIFY(tileAccessible->indexOfChild(QAccessible::queryAccessibleInterface(remove)) <
                tileAccessible->indexOfChild(QAccessible::queryAccessibleInterface(download)));
        QTest::keyClick(download, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(downloaded.count(), 1);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(download);
        QCOMPARE(accessible->text(QAccessible::Name), QString("Download"));
        QVERIFY(accessible->state().focused);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_COMPARE_WITH_TIMEOUT(downloaded.count(), 2, 1000);
        QCOMPARE(removed.count(), 2);

        // Past the last button the focus moves on and the buttons fade away; Shift+Tab brings back the last one.
        gui::keyToFocus(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), after);
        QTRY_VERIFY_WITH_TIMEOUT(!tile->removeButton() && !tile->downloadButton(), 1000);
        gui::keyToFocus(Qt::Key_Backtab);
        QVERIFY(tile->downloadButton());
        QCOMPARE(QApplication::focusWidget(), tile->downloadButton());
        gui::keyToFocus(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), tile->removeButton());
        // The tile is no stop of its own while its buttons are there.
        gui::keyToFocus(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), before);
        QTRY_VERIFY_WITH_TIMEOUT(!tile->removeButton(), 1000);
    }

    void hoverReturningDuringFadeKeepsTheButtons() {
        SingleImageView tile(picture(200, 200));
        tile.resize(tile.sizeHint());
        QVERIFY(gui::showActive(&tile));
        gui::unhover(&tile);
        gui::hover(&tile);
        QTRY_COMPARE_WITH_TIMEOUT(tile.revealProgress(), 1.0, 1000);
        QPointer<TileRoundButton> remove = tile.removeButton();
        gui::unhover(&tile);
        gui::hover(&tile);
        QTest::qWait(tile.fadeMilliseconds * 2);
        QVERIFY(remove);
        QCOMPARE(tile.removeButton(), remove.data());
        QCOMPARE(tile.revealProgress(), 1.0);
    }
};

QTEST_MAIN(ImageTileTests)
#include "tst_image_tiles.moc"
