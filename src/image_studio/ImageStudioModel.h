#pragma once

#include "AppEnvironment.h"
#include "AppViewModel.h"
#include "ImageServiceFactory.h"
#include "ReferenceLoader.h"
#include "StudioRules.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class ImageGenerationService;
class PhotoSaver;
class SwiftDataImagePresetsManager;
class QMimeData;

// The image studio's state and actions, without widgets: the composer (prompt and reference pictures), the
// flags both panels share, the generation, the result actions and new chat. The widgets only show it and
// forward input.
class ImageStudioModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString prompt READ prompt WRITE setPrompt NOTIFY promptChanged)
    Q_PROPERTY(qsizetype promptLength READ promptLength NOTIFY promptChanged)
    Q_PROPERTY(bool isPromptOverWarning READ isPromptOverWarning NOTIFY promptChanged)
    Q_PROPERTY(QString counterText READ counterText NOTIFY promptChanged)
    Q_PROPERTY(QList<QImage> referenceImages READ referenceImages NOTIFY referenceImagesChanged)
    Q_PROPERTY(bool isGenerateDisabled READ isGenerateDisabled NOTIFY generateStateChanged)
    Q_PROPERTY(bool isDragOver READ isDragOver WRITE setDragOver NOTIFY isDragOverChanged)
    Q_PROPERTY(bool showUserImagePresets READ showUserImagePresets WRITE setShowUserImagePresets NOTIFY
                   showUserImagePresetsChanged)
    Q_PROPERTY(bool showTextPopup READ showTextPopup WRITE setShowTextPopup NOTIFY showTextPopupChanged)
    Q_PROPERTY(QString popupText READ popupText WRITE setPopupText NOTIFY popupTextChanged)
    Q_PROPERTY(bool isSessionEmpty READ isSessionEmpty NOTIFY serviceStateChanged)
    Q_PROPERTY(double usagePercent READ usagePercent NOTIFY serviceStateChanged)
    Q_PROPERTY(QString contextHelp READ contextHelp NOTIFY serviceStateChanged)
    Q_PROPERTY(QString folderLabel READ folderLabel NOTIFY folderChanged)
    Q_PROPERTY(QString folderHelp READ folderHelp NOTIFY folderChanged)
    Q_PROPERTY(bool isPhotoTaskActive READ isPhotoTaskActive NOTIFY photoTaskChanged)
    Q_PROPERTY(QString loadingText READ loadingText NOTIFY photoTaskChanged)

public:
    static constexpr qsizetype promptLimit = 2500;
    static constexpr qsizetype promptWarningThreshold = 2300;
    static constexpr int maxReferenceImages = 9;

    explicit ImageStudioModel(const AppEnvironment& environment, QObject* parent = nullptr);
    ~ImageStudioModel() override;

    // The studio's image options and its image service: made with the model, lives as long as it. The views read
    // them through the model.
    ImageServiceFactory* factory() const { return factory_; }
    ImageGenerationService* service() const;
    // The user's image presets; none in a studio without a store.
    SwiftDataImagePresetsManager* imagePresetsManager() const { return environment_.imagePresetsManager; }

    // --- composer ---
    QString prompt() const { return prompt_; }
    // Longer texts are cut to the limit as they arrive.
    void setPrompt(const QString& text);
    qsizetype promptLength() const { return promptLength_; }
    bool isPromptOverWarning() const { return promptLength_ > promptWarningThreshold; }
    QString counterText() const;
    QList<QImage> referenceImages() const { return referenceImages_; }
    bool isGenerateDisabled() const;

    // Return in the prompt editor: generates under the rule that enables the button.
    void handleReturnKey();
    // A paid request of this studio is on its way or waiting for its answer: a quit now loses the answer.
    bool isRequestInFlight() const;
    // The generate action; the request runs on its own, its outcome is published by the service.
    void generate();
    void addToComposer(const QString& text, const QImage& image, bool append);

    // Reference pictures from an open panel: decoded off this thread, added in the panel's order while there is
    // room; unreadable files are skipped silently.
    void addReferenceFiles(const QStringList& paths);
    // A drop on the reference area; false refuses it (the video studio is showing).
    bool handleDrop(const QMimeData& data);
    void removeReferenceImage(int index);
    int pendingReferenceLoads() const { return loader_->pendingCount(); }
    // A small copy of a listed picture made while it was decoded; null when there is none.
    QImage referenceThumbnail(const QImage& image) const { return thumbnails_.value(image.cacheKey()); }
    static QStringList openPanelFilters();

    // --- flags shared by the panels ---
    bool isDragOver() const { return isDragOver_; }
    void setDragOver(bool value);
    bool showUserImagePresets() const { return showUserImagePresets_; }
    void setShowUserImagePresets(bool value);
    bool showTextPopup() const { return showTextPopup_; }
    void setShowTextPopup(bool value);
    QString popupText() const { return popupText_; }
    void setPopupText(const QString& value);

    // --- image settings (the gear's popover) ---
    ImageModel selectedImageModel() const { return factory_->selectedImageModel(); }
    // Choosing the model or the creativity in use again changes nothing.
    void setSelectedImageModel(ImageModel model);
    double temperature() const { return factory_->temperature(); }
    void setTemperature(double temperature);

    // --- header ---
    static double scaleForWidth(double width);
    bool isSessionEmpty() const;
    // The context meter, 0...100.
    double usagePercent() const;
    QString contextHelp() const;
    QString folderLabel() const;
    bool hasFolderName() const;
    QString folderHelp() const;
    void chooseFolder();

    // --- result panel ---
    // What the result panel shows of the image service.
    struct Result {
        StudioRules::ResultState state = StudioRules::ResultState::ready;
        QImage image; // only once completed
        StudioRules::TextButtonTone textTone = StudioRules::TextButtonTone::none;
        bool textButtonEnabled = false;
        QString error;
        QString text;
    };
    // None while no service is chosen.
    std::optional<Result> result() const;
    bool showsBubble() const;
    // The service works on a request: the generate button says so.
    bool isGenerating() const;
    // The queue runs a photo job; the studio's own requests go straight to the service and never do.
    bool isPhotoTaskActive() const { return photoTaskActive_; }
    QString loadingText() const { return StudioRules::loadingText(isPhotoTaskActive()); }
    // The buttons offered under the result now.
    StudioRules::ResultActions resultActions() const;

    // --- result actions ---
    void imageToImage();
    void imageToVideo();
    void imageToFrame(ImageType type);
    void showImageInFinder();
    // A reference picture's download button.
    void saveImageAsPNG(const QImage& image);
    // Writes the picture into the photo folder unless a file of its name is there; silent.
    void saveImageToFolder(const QImage& image);
    void startNewChat();
    // Pending file work (encoding, writing); for the tests and the screenshots.
    int pendingFileWork() const;

    // --- presets ---
    // A preset picked in the presets panel: its text goes into the prompt, the panel closes.
    void applyPreset(const QString& text, const QImage& image, bool append);
    // The create-preset sheet's save; false (nothing saved) for a blank title.
    bool saveNewPreset(const QString& title, const QImage& image);

    // --- lifecycle ---
    void appear();
    void disappear();

signals:
    void promptChanged();
    void referenceImagesChanged();
    void generateStateChanged();
    void isDragOverChanged();
    void showUserImagePresetsChanged();
    void showTextPopupChanged();
    void popupTextChanged();
    void serviceStateChanged();
    void folderChanged();
    void photoTaskChanged();
    void resultActionsChanged();
    // A file was written or found and was shown in the file manager.
    void revealRequested(const QString& path);
    // File work finished (written or not).
    void fileWorkFinished();

private:
    void setReferenceImages(const QList<QImage>& images);
    void saveReferencesToAppViewModel();
    void onPendingTextChanged();
    void handOver(std::optional<ImageType> frame);

    AppEnvironment environment_;
    ImageServiceFactory* factory_; // a child
    ReferenceLoader* loader_ = nullptr;
    PhotoSaver* photos_ = nullptr;

    QString prompt_;
    qsizetype promptLength_ = 0;
    QList<QImage> referenceImages_;
    bool isDragOver_ = false;
    bool showUserImagePresets_ = false;
    bool showTextPopup_ = false;
    QString popupText_;
    bool generatePending_ = false; // generate() ran, the request starts on the next turn
    bool photoTaskActive_ = false;
    QHash<qint64, QImage> thumbnails_;
};
