#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <optional>

class QPainter;
class QVariantAnimation;

// Draws `image` scaled to fill `target`: the aspect kept, the centre cropped. Nothing for an empty picture or target.
void paintFilled(QPainter& painter, const QRectF& target, const QImage& image);

// A round button of a picture tile: a symbol on a filled circle with a soft shadow.
class TileRoundButton final : public QAbstractButton {
    Q_OBJECT
public:
    // material: the regular material, primary symbol; dark: black at 0.6, white symbol.
    enum class Look { material, dark };

    TileRoundButton(const QString& symbol, Look look, double diameter, double symbolSize, QWidget* parent);

    double diameter() const { return diameter_; }
    Look look() const { return look_; }
    // How far the button has come in (0 gone, 1 there); drawn as opacity, and as size when it scales.
    void setReveal(double reveal, bool scales);
    double drawnScale() const { return scales_ ? 0.8 + 0.2 * reveal_ : 1.0; }
    // Room around the circle for the shadow.
    int shadowMargin() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString symbol_;
    Look look_;
    double diameter_;
    double symbolSize_;
    double reveal_ = 1;
    bool scales_ = false;
};

// A picture that reveals a remove button (top-right) and a download button (centre) while the pointer is
// over it, or, when reachable by keyboard, while one of them has the focus; both fade in and out over 0.15 s.
// The tile changes nothing itself: it reports the clicks.
class ImageTile : public QWidget {
    Q_OBJECT
public:
    struct Metrics {
        double maxHeight = 200; // fitted pictures
        double side = 0;        // > 0: a square of this side, the picture filled and cropped
        double cornerRadius = 12;
        double removePadding = 8;
        double removeDiameter = 24;
        double removeSymbolSize = 12;
        double downloadDiameter = 36;
        double downloadSymbolSize = 20;
        bool expanding = false; // takes all the width it is offered
        TileRoundButton::Look removeLook = TileRoundButton::Look::material;
        bool removeScales = false; // the remove button grows from 80 % as it fades in
    };

    static constexpr int fadeMilliseconds = 150;

    ImageTile(const QImage& image, const Metrics& metrics, QWidget* parent = nullptr);

    QImage image() const { return image_; }
    const Metrics& metrics() const { return metrics_; }

    bool isHovered() const { return hovered_; }
    // Tab reaches the tile, which hands the focus to its buttons: Tab and Shift+Tab then walk them.
    void setKeyboardReachable(bool reachable);
    // The buttons exist (and can be clicked) only while the tile is hovered or one of them has the focus; they
    // keep fading out after.
    TileRoundButton* removeButton() const { return remove_; }
    TileRoundButton* downloadButton() const { return download_; }
    double revealProgress() const { return reveal_; }
    // Where the picture is drawn inside the tile.
    QRectF pictureRect() const;
    // Width over height of the picture; 1 for an empty or degenerate image.
    double aspectRatio() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

signals:
    void removeRequested();
    void downloadRequested(const QImage& image);

protected:
    void setMetrics(const Metrics& metrics);
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setHovered(bool hovered);
    void updateShown();
    void updateFocusPolicy();
    void makeButtonsReachable();
    void setReveal(double reveal);
    void createButtons();
    void dropButtons();
    void placeButtons();

    QImage image_;
    Metrics metrics_;
    QPixmap cache_;
    QSize cacheSize_;
    bool hovered_ = false;
    bool keyboardReachable_ = false;
    bool focusInside_ = false;
    bool shown_ = false;
    double reveal_ = 0;
    QPointer<TileRoundButton> remove_;
    QPointer<TileRoundButton> download_;
    QVariantAnimation* fade_;
};

// The image studio's reference strip shows its pictures in one of three tiles, by how many there are.

// The one picture of the strip: fitted, at most 200 high.
class SingleImageView final : public ImageTile {
    Q_OBJECT
public:
    explicit SingleImageView(const QImage& image, QWidget* parent = nullptr);
    static Metrics metricsFor();
};

// One of two pictures side by side: fitted, at most 150 high, taking the width the row offers.
class FlexibleImageView final : public ImageTile {
    Q_OBJECT
public:
    explicit FlexibleImageView(const QImage& image, QWidget* parent = nullptr);
    static Metrics metricsFor();
};

// One of three or more pictures in a grid: a square thumbnail, the picture filled and cropped, whose side and
// buttons follow the studio's scale.
class AdaptiveImageThumbnailView final : public ImageTile {
    Q_OBJECT
public:
    explicit AdaptiveImageThumbnailView(const QImage& image, double scale = 1.0, QWidget* parent = nullptr);
    void setScale(double scale);
    static Metrics metricsFor(double scale);

private:
    double scale_;
};

// The picture in the video studio's reference slot: fitted, at most `height` high (200 when none).
class ReferenceImageView final : public ImageTile {
    Q_OBJECT
public:
    explicit ReferenceImageView(const QImage& image, std::optional<double> height = std::nullopt,
                                QWidget* parent = nullptr);
    static Metrics metricsFor(std::optional<double> height);
};

// The picture in a first- or last-frame slot: fitted, at most 120 high, centred in the full width.
class VideoFrameImageView final : public ImageTile {
    Q_OBJECT
public:
    explicit VideoFrameImageView(const QImage& image, QWidget* parent = nullptr);
    static Metrics metricsFor();
};
